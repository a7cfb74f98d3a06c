// The end of the desktop session and the termination signals (SIGTERM, SIGHUP,
// SIGINT) each call onEnd once; after a signal the application quits. A
// second signal calls atOnce (from the signal handler: it must be safe
// there) and ends the process at once.
#pragma once

#include <functional>

namespace quorix {

void WatchSessionEnd(std::function<void()> onEnd, void (*atOnce)() = nullptr);

}  // namespace quorix
