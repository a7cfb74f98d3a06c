// Several pictures at once within the memory the machine has: each picture's
// peak is estimated from its header, and a picture that would not fit beside
// those in flight waits for them. Pictures are admitted in their order, so a
// big one is not overtaken for ever by small ones.
#pragma once

#include "OrvelGraphics.h"
#include "ResizeOptions.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace quorix {

// The peak bytes of resizing the picture as options say: the decoded picture
// as its decoder holds it, the output, and the resampler's own buffers. -1 when
// the header does not tell (the picture then runs alone).
// known: the header's facts when they were read already (the file is not read again).
// Of several outputs, made one after the other from one decode: the decode
// and the largest output.
int64_t PictureMemoryEstimate(const std::string& fileName, const std::vector<TPictureOutput>& outputs,
                              const TGraphic::TPeek* known = nullptr);
int64_t PictureMemoryEstimate(const std::string& fileName, const TResizeOptions& options,
                              const TGraphic::TPeek* known = nullptr);

// The memory the system can give without swapping (MemAvailable).
int64_t AvailableMemory();

class TMemoryGate {
public:
    explicit TMemoryGate(int64_t budget) : FBudget(budget) {}
    // Waits for the turn of ticket (0, 1, 2, ... in picture order) and for
    // bytes to fit beside what is in flight (alone, it always fits); an
    // unknown need (-1) takes the whole budget. Returns the bytes to release.
    int64_t Acquire(int64_t ticket, int64_t bytes);
    void Release(int64_t bytes);
    // Returns once count pictures wait for their turn (for whoever must know
    // that they do, such as a test).
    void WaitForWaiting(int count);

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    int64_t FBudget, FInUse = 0, FNextTicket = 0;
    int FWaiting = 0;
};

}  // namespace quorix
