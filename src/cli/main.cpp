#include "CliRun.h"
#include "OrvelGraphics.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

namespace {

// The first signal finishes the pictures in flight; a second one ends the
// run at once, with the temporary files of those pictures removed.
std::atomic<int> Signals{0};

extern "C" void OnStopSignal(int signal) {
    if (Signals.fetch_add(1) == 0) return quorix::StopCli(signal);
    quorix::RemoveTemporariesNow();
    _exit(128 + signal);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // An interrupted run finishes the pictures in flight (their temporary
    // files become outputs or go) and starts no more; interrupted again, it
    // ends at once.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, reported as such
    std::vector<std::string> args(argv + 1, argv + argc);
    return quorix::RunCli(args, std::cout, std::cerr);
}
