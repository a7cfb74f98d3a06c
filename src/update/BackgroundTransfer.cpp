#include "BackgroundTransfer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace quorix {

namespace {

// What the transfer's thread and the caller share; it lives as long as either.
struct TShared {
    struct TEvent {
        bool IsBegin = false;
        bool HasLength = false;
        int64_t Length = 0;
        std::string Data;
    };
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<TEvent> Events;
    size_t Queued = 0;  // bytes waiting for the caller
    bool Finished = false;
    THttpOutcome Outcome = THttpOutcome::Failed;
    std::exception_ptr Error;
    std::atomic<bool> Ended{false};  // abandoned, or the sink said stop

    // The transfer waits while this much is queued, so memory stays bounded.
    static constexpr size_t MaxQueued = size_t(1) << 20;

    bool Push(TEvent event) {
        std::unique_lock<std::mutex> lock(Mutex);
        Changed.wait(lock, [&] { return Queued < MaxQueued || Ended; });
        if (Ended) return false;
        Queued += event.Data.size();
        Events.push_back(std::move(event));
        Changed.notify_all();
        return true;
    }
};

}  // namespace

THttpOutcome TransferInBackground(const THttpTransport& transport, THttpRequest request, const THttpSink& sink,
                                  const std::function<void()>& idle, const std::function<bool()>& stop) {
    auto shared = std::make_shared<TShared>();
    request.Cancelled = [shared, asked = request.Cancelled] { return shared->Ended || (asked && asked()); };
    THttpSink relay;
    relay.Begin = [shared](bool hasLength, int64_t length) {
        return shared->Push({true, hasLength, length, {}});
    };
    relay.Piece = [shared](const char* data, size_t size) { return shared->Push({false, false, 0, {data, size}}); };
    std::thread worker([shared, transport, request, relay] {
        THttpOutcome outcome = THttpOutcome::Failed;
        std::exception_ptr error;
        try {
            outcome = transport(request, relay);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(shared->Mutex);
        shared->Outcome = outcome;
        shared->Error = error;
        shared->Finished = true;
        shared->Changed.notify_all();
    });
    auto endTransfer = [&] {
        std::lock_guard<std::mutex> lock(shared->Mutex);
        shared->Ended = true;
        shared->Changed.notify_all();
    };
    bool refused = false;
    try {
        for (;;) {
            std::deque<TShared::TEvent> batch;
            bool finished;
            {
                std::unique_lock<std::mutex> lock(shared->Mutex);
                shared->Changed.wait_for(lock, std::chrono::milliseconds(20),
                                         [&] { return !shared->Events.empty() || shared->Finished; });
                batch.swap(shared->Events);
                shared->Queued = 0;
                finished = shared->Finished;
                shared->Changed.notify_all();
            }
            for (const TShared::TEvent& e : batch) {
                if (refused) break;
                const bool go = e.IsBegin ? (!sink.Begin || sink.Begin(e.HasLength, e.Length))
                                          : (!sink.Piece || sink.Piece(e.Data.data(), e.Data.size()));
                if (!go) {
                    refused = true;
                    endTransfer();
                }
            }
            if (idle) idle();
            if (!finished && stop && stop()) {  // an abort after the end is too late to matter
                // The transfer asks every 20 ms whether it is still wanted:
                // its thread ends at once and never outlives its owner.
                endTransfer();
                worker.join();
                return THttpOutcome::Stopped;
            }
            if (finished) break;
        }
    } catch (...) {
        endTransfer();
        worker.join();
        throw;
    }
    worker.join();
    if (shared->Error) std::rethrow_exception(shared->Error);
    return refused ? THttpOutcome::Stopped : shared->Outcome;
}

}  // namespace quorix
