// A transfer on a thread of its own: the calling (user-interface) thread gets
// what arrives in order, through the sink, and between pieces runs idle (the
// window's events), so a silent server never freezes it.
#pragma once

#include "HttpTransfer.h"

#include <functional>

namespace quorix {

// Runs transport(request, ...) on a new thread and calls sink's callbacks on
// this one. stop is asked at every step (every 20 ms at most); when it says
// true the transfer is abandoned (Stopped) and its thread, which notices
// within 20 ms, is joined. An error the sink raises stops the transfer and is raised here.
THttpOutcome TransferInBackground(const THttpTransport& transport, THttpRequest request, const THttpSink& sink,
                                  const std::function<void()>& idle, const std::function<bool()>& stop);

}  // namespace quorix
