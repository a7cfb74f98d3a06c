// Event handlers run guarded: an error that leaves one shows its text, and the
// program goes on.
#pragma once

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

}  // namespace quorix
