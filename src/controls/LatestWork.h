// Work of one kind done off the user-interface thread, one task at a time. A
// task posted while another runs waits and replaces any task already waiting,
// so the newest wish is done next and the steps between are merged; only the
// newest task's result is applied, on the user-interface thread.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace quorix {

class TLatestWork : public QObject {
public:
    // What a task leaves to be done on the user-interface thread; may be empty.
    using TApply = std::function<void()>;
    using TTask = std::function<TApply()>;

    explicit TLatestWork(QObject* parent = nullptr) : QObject(parent) {}
    // Calls off the task running (its decoders and encoders stop between
    // rows), waits for it, and drops the one waiting.
    ~TLatestWork() override;

    void Post(TTask task);
    // Forgets the waiting task and any result still to come.
    void Cancel();
    // A posted task whose result has not been applied yet.
    bool Busy() const { return FApplied != FPosted; }

private:
    void Run();
    void Deliver(uint64_t generation, const TApply& apply);

    std::mutex FMutex;
    std::condition_variable FWake;
    std::thread FThread;
    TTask FWaiting;
    uint64_t FWaitingGeneration = 0;
    bool FQuit = false;
    std::atomic<bool> FStop{false};  // the running task is called off: the window goes
    uint64_t FPosted = 0, FApplied = 0;  // user-interface thread only
};

}  // namespace quorix
