#include "DeepResample.h"

#include "ParallelParts.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorix {

namespace {

// Four lanes of single precision: blue, green, red and an unused one. The
// compiler makes SSE2 (or NEON) of it; each lane is the scalar arithmetic.
typedef float TLanes __attribute__((vector_size(16)));

constexpr int StripRows = 256;  // few enough strips that starting their threads costs nothing

// Rounded to nearest, ties to even (the processor's conversion where there
// is one: the library's nearbyint is a call).
uint16_t ToSample(float sum) {
    if (!(sum > 0.0f)) return 0;
    if (sum >= 65535.0f) return 65535;
#ifdef __SSE2__
    return static_cast<uint16_t>(_mm_cvtss_si32(_mm_set_ss(sum)));
#else
    return static_cast<uint16_t>(std::nearbyint(sum));
#endif
}

// One source row across: each output pixel's contributors summed in lanes.
void AcrossRow(const uint16_t* in, int width, TLanes* spread, uint16_t* out, const TWeightTable& table, int outWidth) {
    for (int x = 0; x < width; ++x)
        spread[x] = TLanes{static_cast<float>(in[3 * x]), static_cast<float>(in[3 * x + 1]), static_cast<float>(in[3 * x + 2]), 0.0f};
    for (int x = 0; x < outWidth; ++x) {
        const TSourceWeight* item = table.Items.data() + table.Start[x];
        TLanes sum = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int k = 0; k < table.Count[x]; ++k) {
            const TLanes product = item[k].Weight * spread[item[k].Pixel];
            sum += product;
        }
        out[3 * x] = ToSample(sum[0]), out[3 * x + 1] = ToSample(sum[1]), out[3 * x + 2] = ToSample(sum[2]);
    }
}

// Destination rows first to last from mid's rows, a whole row at a time.
void Down(const TDeepPixels& mid, TDeepPixels& dest, const TWeightTable& table, int first, int last) {
    const size_t samples = static_cast<size_t>(dest.Width()) * 3;
    std::vector<float> sums(samples);
    for (int y = first; y < last; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        const TSourceWeight* item = table.Items.data() + table.Start[y];
        for (int k = 0; k < table.Count[y]; ++k) {
            const uint16_t* in = mid.Row(item[k].Pixel);
            const float w = item[k].Weight;
            for (size_t i = 0; i < samples; ++i) {
                const float product = w * static_cast<float>(in[i]);
                sums[i] += product;
            }
        }
        uint16_t* out = dest.Row(y);
        for (size_t i = 0; i < samples; ++i) out[i] = ToSample(sums[i]);
    }
}

}  // namespace

void TDeepPixels::SetSize(int width, int height) {
    FSamples = AllocatePixels(static_cast<size_t>(width) * height * 3 * sizeof(uint16_t));
    FWidth = width;
    FHeight = height;
}

int TDeepPixelsRows::ReadRows(int maxRows, const uint16_t** rows) {
    int n = 0;
    for (; n < maxRows && FNext < FPixels.Height(); ++n) rows[n] = FPixels.Row(FNext++);
    return n;
}

void ResampleDeep(TDeepRowSource& source, TDeepPixels& dest, TFilterProc filter, float width, int threads) {
    const int sw = source.Width(), sh = source.Height();
    if (sw < 1 || sh < 1 || dest.Width() < 1 || dest.Height() < 1) return;
    const TWeightTable across = BuildWeightTable(dest.Width(), sw, filter, width);
    const TWeightTable down = BuildWeightTable(dest.Height(), sh, filter, width);
    TDeepPixels mid;
    mid.SetSize(dest.Width(), sh);
    threads = std::max(1, threads);
    std::vector<std::vector<TLanes>> spread(static_cast<size_t>(threads), std::vector<TLanes>(static_cast<size_t>(sw)));
    const uint16_t* rows[StripRows];
    int y = 0;
    for (int n; y < sh && (n = source.ReadRows(std::min(StripRows, sh - y), rows)) > 0; y += n)
        RunParallel(std::min(threads, n), [&](int part) {
            const int parts = std::min(threads, n);
            for (int i = n * part / parts; i < n * (part + 1) / parts; ++i)
                AcrossRow(rows[i], sw, spread[part].data(), mid.Row(y + i), across, dest.Width());
        });
    RunParallel(threads, [&](int part) { Down(mid, dest, down, dest.Height() * part / threads, dest.Height() * (part + 1) / threads); });
}

}  // namespace quorix
