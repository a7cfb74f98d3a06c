#include "MemoryGate.h"

#include "Graphic.h"
#include "OrvelTPU.h"
#include "TargetSize.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <vector>

namespace quorix {

namespace {

// The resampler's tables, rings and the encoder's buffers.
constexpr int64_t Overhead = int64_t(64) << 20;

// The output's bitmap and its encoder's buffers.
int64_t OutputBytes(const TResizeOptions& options, const TGraphic::TPeek& peek) {
    try {
        const TTargetSize target = ResampledSize(options, static_cast<int>(peek.Width), static_cast<int>(peek.Height));
        const int64_t pixels = int64_t{std::clamp(target.Width, 1, 32768)} * std::clamp(target.Height, 1, 32768);
        const TOutputFormatInfo& format = FindOutputFormat(options.Format);
        int64_t bytes = pixels * 3 + static_cast<int64_t>(static_cast<double>(pixels) * format.SaveBytesPerPixel);
        // The 16-bit passes: the rows filtered across, and the output's samples.
        const bool deep = options.Linear || (options.Depth == 16 && format.Holds16);
        if (deep) bytes += int64_t{peek.Height} * std::clamp(target.Width, 1, 32768) * 6 + pixels * 6;
        // A 16-bit source kept: its samples and, for PNG, its RGBA rows beside the 24-bit copy.
        if (options.Depth == 16 && format.Holds16) bytes += peek.Width * peek.Height * 14;
        return bytes;
    } catch (const std::exception&) {
        return 0;  // the job will end on this picture; it costs nothing
    }
}

}  // namespace

int64_t PictureMemoryEstimate(const std::string& fileName, const std::vector<TPictureOutput>& outputs,
                              const TGraphic::TPeek* known) {
    if (!FileFormats().Find(PictureExtension(fileName))) return 0;  // refused without reading
    TGraphic::TPeek peek;
    if (known) peek = *known;
    else if (!PeekPictureFile(fileName, peek)) return FileExists(fileName) ? -1 : 0;
    if (peek.Width <= 0 || peek.Height <= 0) return 0;
    if (peek.Width > DecoderPixelLimit() / peek.Height) return 0;  // refused from its header
    int64_t largest = 0;
    for (const TPictureOutput& output : outputs) largest = std::max(largest, OutputBytes(output.Options, peek));
    return peek.Width * peek.Height * peek.BytesPerPixel + largest + Overhead;
}

int64_t PictureMemoryEstimate(const std::string& fileName, const TResizeOptions& options, const TGraphic::TPeek* known) {
    return PictureMemoryEstimate(fileName, std::vector<TPictureOutput>{{"", options}}, known);
}

int64_t AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        if (line.compare(0, 13, "MemAvailable:") != 0) continue;
        const char* p = line.c_str() + 13;
        while (*p == ' ') ++p;
        int64_t kilobytes = 0;
        if (std::from_chars(p, line.c_str() + line.size(), kilobytes).ec == std::errc()) return kilobytes * 1024;
    }
    return static_cast<int64_t>(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
}

int64_t TMemoryGate::Acquire(int64_t ticket, int64_t bytes) {
    std::unique_lock<std::mutex> lock(FMutex);
    if (bytes < 0) bytes = FBudget;
    auto admitted = [&] { return ticket == FNextTicket && (FInUse == 0 || FInUse + bytes <= FBudget); };
    if (!admitted()) {
        ++FWaiting;
        FChanged.notify_all();
        FChanged.wait(lock, admitted);
        --FWaiting;
    }
    FInUse += bytes;
    ++FNextTicket;
    FChanged.notify_all();
    return bytes;
}

void TMemoryGate::Release(int64_t bytes) {
    std::lock_guard<std::mutex> lock(FMutex);
    FInUse -= bytes;
    FChanged.notify_all();
}

void TMemoryGate::WaitForWaiting(int count) {
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait(lock, [&] { return FWaiting >= count; });
}

}  // namespace quorix
