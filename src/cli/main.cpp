#include "CliRun.h"

#include <csignal>
#include <iostream>

namespace {

extern "C" void OnStopSignal(int signal) {
    quorix::StopCli(signal);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // An interrupted run finishes the pictures in flight (their temporary
    // files become outputs or go) and starts no more.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, reported as such
    std::vector<std::string> args(argv + 1, argv + argc);
    return quorix::RunCli(args, std::cout, std::cerr);
}
