// One HTTP GET over libcurl, delivering the body in pieces of at most 2050
// bytes to a sink that can stop the transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quorix {

struct THttpRequest {
    std::string Url;  // http:// or https://, host, optional port, path
    std::string UserName;
    std::string Password;
    long TimeoutSeconds = 30;  // for connecting, and for a transfer that stalls
    // Only a final response of 2xx is delivered; any other ends as Failed.
    bool RequireSuccess = false;
    // Asked now and then, also while the server is silent; true stops the
    // transfer (Stopped). May be called on the transfer's own thread.
    std::function<bool()> Cancelled;
};

// What the transfer tells its owner. Returning false from a callback stops it.
struct THttpSink {
    // Once, when the response's headers are in (or the transfer ended without a
    // body): whether a length was announced, and the length.
    std::function<bool(bool hasLength, int64_t length)> Begin;
    std::function<bool(const char* data, size_t size)> Piece;
};

enum class THttpOutcome {
    Completed,  // the body ended (possibly short; the owner compares the lengths)
    Stopped,    // a callback stopped it
    Failed,     // no response, or the connection broke
};

constexpr size_t HttpChunkSize = 2050;

// Sends "GET" with HTTP/1.0, the user agent "Updater", no cache, the
// credentials when given; follows at most 5 HTTP redirections, over http and
// https only, and from https to https only. The status code is examined only
// with RequireSuccess. A malformed length, or an error from the sink, is
// thrown once the transfer has ended.
THttpOutcome HttpTransfer(const THttpRequest& request, const THttpSink& sink);

using THttpTransport = std::function<THttpOutcome(const THttpRequest&, const THttpSink&)>;

}  // namespace quorix
