#include "DeepResample.h"

#include "ParallelParts.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
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

// The rows filtered across, kept for as long as destination rows need them:
// source row r in slot r mod Rows.
class TRing {
public:
    TRing(int width, int rows) : FSamples(static_cast<size_t>(width) * 3), FRows(rows) {
        FMemory = AllocatePixels(FSamples * static_cast<size_t>(rows) * sizeof(uint16_t));
    }
    uint16_t* Row(int r) { return reinterpret_cast<uint16_t*>(FMemory.get()) + FSamples * static_cast<size_t>(r % FRows); }
    const uint16_t* Row(int r) const {
        return reinterpret_cast<const uint16_t*>(FMemory.get()) + FSamples * static_cast<size_t>(r % FRows);
    }

private:
    size_t FSamples;
    int FRows;
    TPixelMemory FMemory;
};

// Destination rows first to last from the ring's rows, a whole row at a time.
void Down(const TRing& ring, int width, const TDeepRowSink& sink, const TWeightTable& table, int first, int last) {
    const size_t samples = static_cast<size_t>(width) * 3;
    std::vector<float> sums(samples);
    std::vector<uint16_t> out(samples);
    for (int y = first; y < last; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        const TSourceWeight* item = table.Items.data() + table.Start[y];
        for (int k = 0; k < table.Count[y]; ++k) {
            const uint16_t* in = ring.Row(item[k].Pixel);
            const float w = item[k].Weight;
            for (size_t i = 0; i < samples; ++i) {
                const float product = w * static_cast<float>(in[i]);
                sums[i] += product;
            }
        }
        for (size_t i = 0; i < samples; ++i) out[i] = ToSample(sums[i]);
        sink(y, out.data());
    }
}

// For each destination row, the last source row it reads, and the ring's
// size: a strip more than the most rows any destination row from there on
// reaches back over (the lowest row it or a later one reads).
struct TDownPlan {
    std::vector<int> Last;
    int RingRows = 0;
};

TDownPlan PlanDown(const TWeightTable& table, int sourceRows) {
    const int rows = static_cast<int>(table.Start.size());
    TDownPlan plan;
    plan.Last.resize(static_cast<size_t>(rows));
    std::vector<int> low(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        int lo = sourceRows, hi = 0;
        for (int k = 0; k < table.Count[i]; ++k) {
            lo = std::min(lo, table.Items[table.Start[i] + k].Pixel);
            hi = std::max(hi, table.Items[table.Start[i] + k].Pixel);
        }
        low[i] = lo, plan.Last[i] = hi;
    }
    int span = 1, lowest = sourceRows;
    for (int i = rows - 1; i >= 0; --i) {
        lowest = std::min(lowest, low[i]);
        span = std::max(span, plan.Last[i] - lowest + 1);
    }
    plan.RingRows = std::min(sourceRows, span + StripRows);
    return plan;
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
    const size_t bytes = static_cast<size_t>(dest.Width()) * 3 * sizeof(uint16_t);
    ResampleDeep(source, dest.Width(), dest.Height(), [&dest, bytes](int y, const uint16_t* row) { std::memcpy(dest.Row(y), row, bytes); },
                 filter, width, threads);
}

void ResampleDeep(TDeepRowSource& source, int destWidth, int dh, const TDeepRowSink& sink, TFilterProc filter, float width,
                  int threads, const TRowsDone& done) {
    const int sw = source.Width(), sh = source.Height();
    if (sw < 1 || sh < 1 || destWidth < 1 || dh < 1) return;
    const TWeightTable across = BuildWeightTable(destWidth, sw, filter, width);
    const TWeightTable down = BuildWeightTable(dh, sh, filter, width);
    const TDownPlan plan = PlanDown(down, sh);
    TRing ring(destWidth, plan.RingRows);
    threads = std::max(1, threads);
    std::vector<std::vector<TLanes>> spread(static_cast<size_t>(threads), std::vector<TLanes>(static_cast<size_t>(sw)));
    int next = 0;  // the first destination row not made yet
    // Makes every destination row whose source rows are all there (the first available ones).
    const auto makeReady = [&](int available) {
        int last = next;
        while (last < dh && plan.Last[last] < available) ++last;
        const int parts = std::min(threads, last - next);
        if (parts > 0)
            RunParallel(parts, [&](int part) {
                Down(ring, destWidth, sink, down, next + (last - next) * part / parts, next + (last - next) * (part + 1) / parts);
            });
        if (last > next && done) done(last);
        next = last;
    };
    // The next strip is read (and decoded) while this one is filtered.
    const uint16_t* strips[2][StripRows];
    int y = 0, current = 0;
    const auto read = [&source, sh](int from, const uint16_t** rows) {
        return from < sh ? source.ReadRows(std::min(StripRows, sh - from), rows) : 0;
    };
    std::future<int> pending = std::async(std::launch::async, read, 0, strips[0]);
    for (;;) {
        const int n = pending.get();
        if (n <= 0) break;
        pending = std::async(std::launch::async, read, y + n, strips[1 - current]);
        const uint16_t** rows = strips[current];
        RunParallel(std::min(threads, n), [&](int part) {
            const int parts = std::min(threads, n);
            for (int i = n * part / parts; i < n * (part + 1) / parts; ++i)
                AcrossRow(rows[i], sw, spread[part].data(), ring.Row(y + i), across, destWidth);
        });
        y += n;
        current = 1 - current;
        makeReady(y);
    }
    for (; y < sh; makeReady(y)) {  // rows the source did not deliver
        for (const int end = std::min(sh, y + StripRows); y < end; ++y) std::fill_n(ring.Row(y), 3 * static_cast<size_t>(destWidth), 0);
    }
    makeReady(sh);
}

}  // namespace quorix
