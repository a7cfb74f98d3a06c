#include "HttpTransfer.h"

#include "QuorixError.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <cctype>
#include <strings.h>
#include <memory>

namespace quorix {

namespace {

void InitCurlOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    if (!done) throw EQuorixError("The HTTP library could not be initialised");
}

// The state of one transfer, reached from libcurl's callbacks.
struct TTransfer {
    const THttpSink* Sink = nullptr;
    bool Responded = false;
    bool HasLength = false;
    bool BadLength = false;
    int64_t Length = 0;
    bool Begun = false;
    bool Stopped = false;
    long Status = 0;  // of the last response
    bool RequireSuccess = false;
    std::exception_ptr Error;  // raised in a callback, rethrown once libcurl has returned

    bool Refused() const { return RequireSuccess && (Status < 200 || Status > 299); }
    bool BeginOnce() {
        if (Begun) return !Stopped;
        Begun = true;
        if (Refused()) return !(Stopped = true);
        if (BadLength) throw EQuorixError("The announced length is not a number");
        if (Sink->Begin && !Sink->Begin(HasLength, Length)) Stopped = true;
        return !Stopped;
    }
};

std::string Trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    return text.substr(start);
}

// Every response's headers come here; a new status line starts a new response
// (after a redirection), so only the last response's length counts.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<TTransfer*>(user);
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        t->Responded = true;
        const size_t blank = line.find(' ');
        t->Status = blank == std::string::npos ? 0 : std::strtol(line.c_str() + blank + 1, nullptr, 10);
        t->HasLength = t->BadLength = false;
        t->Length = 0;
    } else if (line.size() > 15 && strncasecmp(line.c_str(), "Content-Length:", 15) == 0) {
        const std::string value = Trimmed(line.substr(15));
        const bool digits = !value.empty() && value.size() <= 18 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        t->HasLength = digits;
        t->BadLength = !digits;
        t->Length = digits ? std::stoll(value) : 0;
    }
    return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<TTransfer*>(user);
    const size_t total = size * count;
    try {
        if (!t->BeginOnce()) return 0;
        for (size_t done = 0; done < total; done += HttpChunkSize) {
            const size_t piece = std::min(HttpChunkSize, total - done);
            if (t->Sink->Piece && !t->Sink->Piece(data + done, piece)) {
                t->Stopped = true;
                return 0;
            }
        }
    } catch (...) {
        t->Error = std::current_exception();
        t->Stopped = true;
        return 0;
    }
    return total;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* request = static_cast<const THttpRequest*>(user);
    return request->Cancelled && request->Cancelled() ? 1 : 0;
}

struct TMultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// The transfer, asking Cancelled at least every 20 ms even while the server
// is silent (libcurl's own progress calls may be a second apart), so an
// abandoned transfer ends at once and its thread can be joined.
CURLcode Perform(CURL* c, const THttpRequest& request) {
    std::unique_ptr<CURLM, TMultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) return curl_easy_perform(c);
    CURLcode code = CURLE_OK;
    for (int running = 1; running;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (running && request.Cancelled && request.Cancelled()) {
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (running && curl_multi_poll(multi.get(), nullptr, 0, 20, nullptr) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE) code = message->data.result;
    curl_multi_remove_handle(multi.get(), c);
    return code;
}

struct TCurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct TListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

THttpOutcome HttpTransfer(const THttpRequest& request, const THttpSink& sink) {
    InitCurlOnce();
    std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
    if (!curl) return THttpOutcome::Failed;
    std::unique_ptr<curl_slist, TListDeleter> headers(curl_slist_append(nullptr, "Pragma: no-cache"));
    curl_slist_append(headers.get(), "Cache-Control: no-cache");
    curl_slist_append(headers.get(), "Accept: */*");
    TTransfer transfer;
    transfer.Sink = &sink;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.Url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    // A page asked for over https is never followed to a plain address.
    const bool secure = request.Url.size() >= 8 && strncasecmp(request.Url.c_str(), "https://", 8) == 0;
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    transfer.RequireSuccess = request.RequireSuccess;
    if (request.Cancelled) {
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &request);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    }
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Updater");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(HttpChunkSize));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, request.TimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, request.TimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (!request.UserName.empty() || !request.Password.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, request.UserName.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, request.Password.c_str());
    }
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    const CURLcode code = Perform(c, request);
    if (transfer.Error) std::rethrow_exception(transfer.Error);
    if (transfer.Responded && transfer.Refused()) return THttpOutcome::Failed;
    if (transfer.Stopped) return THttpOutcome::Stopped;
    if (code == CURLE_ABORTED_BY_CALLBACK) return THttpOutcome::Stopped;
    if (!transfer.Responded) return THttpOutcome::Failed;
    if (!transfer.BeginOnce()) return THttpOutcome::Stopped;  // a response without a body
    return code == CURLE_OK ? THttpOutcome::Completed : THttpOutcome::Failed;
}

}  // namespace quorix
