// Runs the pictures of a batch on worker threads, one picture a worker, and
// reports them in the order they were handed in. The window and quorix-resize
// both run their batches through it.
#pragma once

#include "MemoryGate.h"
#include "ResizeImage.h"
#include "ResizeOptions.h"
#include "RunSources.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <unordered_map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quorix {

struct TBatchPicture {
    std::string Source;
    std::string OutPath;     // the output folder, ending in PathDelim
    std::vector<TPictureOutput> Outputs{TPictureOutput()};  // what is made of it, as the options were when it was handed in
    bool MakeFolder = true;  // create OutPath once and clear what killed runs left in it
};

struct TBatchOutcome {
    size_t Index = 0;  // the picture's place in the batch, from 0
    std::string Source;
    std::vector<TResizeResult> Results;  // one per output made (ResizePicture)
    std::string Error;  // an error that ends the batch; no picture is started after it
    double Milliseconds = 0;  // the picture's own time, from its start to its end
};

struct TBatchEvents {
    // Each picture in the order handed in, as soon as it and every one before
    // it are done; one call at a time, on a worker thread. False, or an
    // outcome with an Error, ends the batch: nothing later is reported.
    std::function<bool(const TBatchOutcome&)> Report;
    // A picture handed in has finished, or was dropped by a stop without
    // starting (any order, worker thread): once per picture.
    std::function<void()> Freed;
    // Asked before each picture starts: true starts no further one.
    std::function<bool()> Halted;
};

class TBatchRunner {
public:
    // sources: every source of the batch, which no output may replace.
    TBatchRunner(int workers, const std::vector<std::string>& sources, TBatchEvents events);
    ~TBatchRunner();  // stops and waits for the pictures in flight
    TBatchRunner(const TBatchRunner&) = delete;
    TBatchRunner& operator=(const TBatchRunner&) = delete;

    // Hands in the next picture; the workers take them in this order. Its
    // output name is planned now: one an earlier picture has gets a number.
    void Submit(TBatchPicture picture);
    // Until fewer than pending pictures are handed in and not yet finished: a
    // long list is handed in as the workers get through it, and a picture's
    // record goes once it is reported.
    void WaitForRoom(size_t pending);
    // Starts no further picture; those in flight finish and are reported.
    void Stop();
    // Until every picture handed in has finished or been dropped by a stop.
    void Wait();
    bool Ended() const;  // stopped, or ended by an error or a refused report
    int Workers() const { return static_cast<int>(FThreads.size()); }

private:
    struct TEntry {
        TBatchPicture Picture;
        TBatchOutcome Outcome;
        TGraphic::TPeek Peek;  // the header as read when handed in, for the memory estimate
        bool Peeked = false;
        size_t FirstSlot = 0;  // its first output's place among the run's names
        bool Done = false;
    };

    TEntry& Entry(size_t index) { return FEntries[index - FBase]; }

    void Work();
    void RunOne(TEntry& entry);
    void ReportFinished();  // with FMutex held
    void Freed();
    void PrepareFolder(const std::string& folder);

    TBatchEvents FEvents;
    TRunSources FSources;
    TMemoryGate FGate;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    // Stable addresses while growing at the end; those reported and done go
    // from the front (FBase counts them).
    std::deque<TEntry> FEntries;
    size_t FBase = 0;
    TRunNames FNames;  // no output name is written twice
    size_t FNext = 0, FReported = 0;  // pictures' indices in the batch
    size_t FSlots = 0;  // outputs handed in, each with a place among the run's names
    size_t FUnfreed = 0;  // handed in, and not yet said to be finished or dropped
    bool FStopping = false, FEnded = false, FQuit = false;
    std::mutex FFolderMutex;
    std::set<std::string> FReadyFolders;
    std::vector<std::thread> FThreads;
};

}  // namespace quorix
