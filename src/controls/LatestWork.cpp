#include "LatestWork.h"

#include "Cancel.h"
#include "ErrorGuard.h"

#include <QMetaObject>

namespace quorix {

TLatestWork::~TLatestWork() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FQuit = true;
        FWaiting = nullptr;
    }
    FStop = true;
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TLatestWork::Post(TTask task) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FWaiting = std::move(task);
        FWaitingGeneration = ++FPosted;
        if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    }
    FWake.notify_all();
}

void TLatestWork::Cancel() {
    std::lock_guard<std::mutex> lock(FMutex);
    FWaiting = nullptr;
    FApplied = ++FPosted;
}

void TLatestWork::Run() {
    SetThreadCancelFlag(&FStop);
    for (;;) {
        TTask task;
        uint64_t generation;
        {
            std::unique_lock<std::mutex> lock(FMutex);
            FWake.wait(lock, [&] { return FQuit || FWaiting; });
            if (FQuit) return;
            task = std::move(FWaiting);
            FWaiting = nullptr;
            generation = FWaitingGeneration;
        }
        TApply apply;
        try {
            apply = task();
        } catch (...) {
            // A task reports its own failures; one that did not leaves nothing to show.
        }
        QMetaObject::invokeMethod(this, [this, generation, apply] { Deliver(generation, apply); }, Qt::QueuedConnection);
    }
}

void TLatestWork::Deliver(uint64_t generation, const TApply& apply) {
    if (generation != FPosted) return;  // a newer task is on its way
    FApplied = generation;
    if (apply) GuardedCall(apply);
}

}  // namespace quorix
