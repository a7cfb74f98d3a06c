// The resampler on a small fuzzed bitmap and a fuzzed target size, with each
// filter: the first bytes choose the sizes and the filter, the rest are pixels.
#include "OrvelGraphics.h"
#include "Resample.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const int sw = data[0] % 64 + 1, sh = data[1] % 64 + 1;
    // Destinations from 1 to 256 pixels, and now and then an invalid one.
    const int dw = static_cast<int>(data[2]) - 2, dh = static_cast<int>(data[3]) - 2;
    const TResampleFilter& filter = ResampleFilters[data[4] % ResampleFilterCount];
    const int threads = data[5] % 3 + 1;
    data += 6;
    size -= 6;
    TBitmap source;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    source.SetSize(sw, sh);
    for (int y = 0; y < sh; ++y) {
        uint8_t* row = source.ScanLine(y);
        for (int x = 0; x < sw * 3; ++x) row[x] = size ? data[(static_cast<size_t>(y) * sw * 3 + x) % size] : 0;
    }
    TBitmap dest;
    dest.SetPixelFormat(TPixelFormat::pf24bit);
    try {
        if (dw > 0 && dh > 0) dest.SetSize(dw, dh);
        SetResampleThreads(threads);
        ResampleBitmap(source, dest, filter.Filter, filter.Width);
    } catch (const std::exception&) {
    }
    return 0;
}
