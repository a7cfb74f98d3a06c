// The end of the desktop session and the termination signals (SIGTERM, SIGHUP,
// SIGINT) each call onEnd once; after a signal the application quits.
#pragma once

#include <functional>

namespace quorix {

void WatchSessionEnd(std::function<void()> onEnd);

}  // namespace quorix
