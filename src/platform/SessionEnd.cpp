#include "SessionEnd.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quorix {

namespace {

int SignalPipe[2] = {-1, -1};
std::atomic<int> Signals{0};
void (*AtOnce)() = nullptr;

extern "C" void OnSignal(int signal) {
    if (Signals.fetch_add(1) > 0) {
        if (AtOnce) AtOnce();
        _exit(128 + signal);
    }
    const char byte = 1;
    ssize_t ignored = ::write(SignalPipe[0], &byte, 1);
    (void)ignored;
}

}  // namespace

void WatchSessionEnd(std::function<void()> onEnd, void (*atOnce)()) {
    AtOnce = atOnce;
    auto shared = std::make_shared<std::function<void()>>(std::move(onEnd));
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, [shared](QSessionManager&) { (*shared)(); });
    if (SignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(SignalPipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [shared] {
        char byte;
        ssize_t ignored = ::read(SignalPipe[1], &byte, 1);
        (void)ignored;
        (*shared)();
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &action, nullptr);
}

}  // namespace quorix
