// The resampler on a small fuzzed bitmap and a fuzzed target size, with each
// filter: the first bytes choose the sizes and the filter, the rest are pixels.
// A finished picture must equal the two whole passes done with the plain loops.
#include "OrvelGraphics.h"
#include "Resample.h"
#include "ResampleKernels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace quorix;

namespace {

void CheckAgainstWholePasses(const TBitmap& source, const TBitmap& dest, const TResampleFilter& filter) {
    SetSimdLevel(TSimdLevel::Plain);
    TBitmap work, reference;
    work.SetSize(dest.Width(), source.Height());
    reference.SetSize(dest.Width(), dest.Height());
    HorizontalPass(source, work, BuildWeightTable(dest.Width(), source.Width(), filter.Filter, filter.Width));
    VerticalPass(work, reference, BuildWeightTable(dest.Height(), source.Height(), filter.Filter, filter.Width));
    SetSimdLevel(BestSimdLevel());
    for (int y = 0; y < dest.Height(); ++y)
        if (std::memcmp(dest.ScanLine(y), reference.ScanLine(y), static_cast<size_t>(dest.Width()) * 3) != 0)
            __builtin_trap();
}

}  // namespace

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
        TBitmap original = source;
        if (ResampleBitmap(source, dest, filter.Filter, filter.Width).empty()) CheckAgainstWholePasses(original, dest, filter);
    } catch (const std::exception&) {
    }
    return 0;
}
