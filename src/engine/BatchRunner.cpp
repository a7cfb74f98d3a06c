#include "BatchRunner.h"

#include "OrvelGraphics.h"
#include "OrvelTPU.h"
#include "RunSources.h"
#include "TargetSize.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace quorix {

TBatchRunner::TBatchRunner(int workers, const std::vector<std::string>& sources, TBatchEvents events)
    : FEvents(std::move(events)), FSources(sources), FGate(AvailableMemory()) {
    for (int w = 0; w < std::max(1, workers); ++w) FThreads.emplace_back([this] { Work(); });
}

TBatchRunner::~TBatchRunner() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopping = FQuit = true;
    }
    FChanged.notify_all();
    for (std::thread& thread : FThreads) thread.join();
}

void TBatchRunner::Submit(TBatchPicture picture) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        TEntry entry;
        const size_t index = FBase + FEntries.size();
        for (TPictureOutput& output : picture.Outputs)
            output.Options.Counter = output.Options.CounterStart + static_cast<int>(index);
        // A picture whose header cannot be read (missing, cut, not a picture)
        // holds no name: it would leave a gap before the later ones' numbers.
        entry.FirstSlot = FSlots;
        FSlots += picture.Outputs.size();
        if ((entry.Peeked = PeekPictureFile(picture.Source, entry.Peek)))
            for (size_t k = 0; k < picture.Outputs.size(); ++k) {
                const TResizeOptions& options = picture.Outputs[k].Options;
                FNames.Plan(entry.FirstSlot + k, OutputFileName(picture.Source, picture.OutPath, options,
                                                                PlannedNameFacts(picture.Source, options)));
            }
        entry.Picture = std::move(picture);
        entry.Outcome.Index = index;
        entry.Outcome.Source = entry.Picture.Source;
        FEntries.push_back(std::move(entry));
        ++FUnfreed;
    }
    FChanged.notify_all();
}

void TBatchRunner::WaitForRoom(size_t pending) {
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait(lock, [&] { return FUnfreed < std::max<size_t>(1, pending); });
}

void TBatchRunner::Stop() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopping = true;
    }
    FChanged.notify_all();
}

void TBatchRunner::Wait() {
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait(lock, [&] { return FUnfreed == 0; });
}

bool TBatchRunner::Ended() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FStopping || FEnded;
}

void TBatchRunner::Work() {
    for (;;) {
        TEntry* entry = nullptr;
        {
            std::unique_lock<std::mutex> lock(FMutex);
            FChanged.wait(lock, [&] { return FQuit || FNext < FBase + FEntries.size(); });
            if (FQuit) return;
            if (!FStopping && FEvents.Halted && FEvents.Halted()) FStopping = true;
            if (FStopping) {  // what was handed in but not started is dropped, and said so
                const size_t dropped = FBase + FEntries.size() - FNext;
                FNext = FBase + FEntries.size();
                lock.unlock();
                for (size_t i = 0; i < dropped; ++i) Freed();
                continue;
            }
            entry = &Entry(FNext++);
        }
        RunOne(*entry);
    }
}

void TBatchRunner::RunOne(TEntry& entry) {
    const TBatchPicture& picture = entry.Picture;
    // One picture alone needs no estimate: it always runs.
    const int64_t need =
        FThreads.size() > 1 ? PictureMemoryEstimate(picture.Source, picture.Outputs, entry.Peeked ? &entry.Peek : nullptr) : 0;
    const int64_t held = FGate.Acquire(static_cast<int64_t>(entry.Outcome.Index), need);
    const auto start = std::chrono::steady_clock::now();
    try {
        if (picture.MakeFolder) PrepareFolder(picture.OutPath);
        const TRunPlace place{&FNames, entry.FirstSlot};
        TPicture decoded;
        entry.Outcome.Results = ResizePicture(picture.Source, picture.OutPath, picture.Outputs, decoded, &FSources, &place);
    } catch (const std::exception& e) {
        entry.Outcome.Error = e.what();
    } catch (...) {
        entry.Outcome.Error = "Unknown error";
    }
    entry.Outcome.Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    FGate.Release(held);
    for (size_t k = 0; k < picture.Outputs.size(); ++k) FNames.Done(entry.FirstSlot + k);
    {
        std::lock_guard<std::mutex> lock(FMutex);
        entry.Done = true;
        if (!entry.Outcome.Error.empty()) FStopping = true;
        ReportFinished();
    }
    FChanged.notify_all();
    Freed();
}

void TBatchRunner::Freed() {
    if (FEvents.Freed) FEvents.Freed();
    {
        std::lock_guard<std::mutex> lock(FMutex);
        --FUnfreed;
    }
    FChanged.notify_all();
}

void TBatchRunner::ReportFinished() {
    while (!FEnded && FReported < FBase + FEntries.size() && Entry(FReported).Done) {
        const TBatchOutcome& outcome = Entry(FReported++).Outcome;
        const bool go = !FEvents.Report || FEvents.Report(outcome);
        if (!go || !outcome.Error.empty()) FEnded = FStopping = true;
    }
    // What was reported is not needed again: a long batch keeps only the
    // pictures in flight and those waiting to be reported.
    while (!FEntries.empty() && FBase < FReported && FEntries.front().Done) {
        FEntries.pop_front();
        ++FBase;
    }
}

// Each output folder is made once, and rid once of what killed runs left.
void TBatchRunner::PrepareFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(FFolderMutex);
    if (FReadyFolders.count(folder) || EnsureFolder(folder) < 0) return;
    RemoveStaleTemporaries(folder);
    FReadyFolders.insert(folder);
}

}  // namespace quorix
