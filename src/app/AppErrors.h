// The application's top-level error handler: every error that leaves an event
// handler shows its text, and the program goes on.
#pragma once

#include <QApplication>

#include <exception>
#include <functional>
#include <utility>

namespace quorix {

// Shows the text of the exception in flight (call from a catch block).
void ReportCurrentException();

// Runs a handler and reports its errors instead of letting them leave the event.
template <class F>
void GuardedCall(F&& handler) {
    try {
        handler();
    } catch (...) {
        ReportCurrentException();
    }
}

// A handler without arguments, guarded (the signal's arguments are dropped).
template <class F>
auto Guarded(F handler) {
    return [handler = std::move(handler)]() { GuardedCall(handler); };
}

class TQuorixApplication : public QApplication {
public:
    TQuorixApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quorix
