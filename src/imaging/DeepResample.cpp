#include "DeepResample.h"

#include "DeepKernels.h"
#include "ParallelParts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <vector>

namespace quorix {

namespace {

constexpr int StripRows = 256;  // few enough strips that starting their threads costs nothing

// The plain kernels: the same arithmetic, one sample at a time.
uint16_t PlainSample(float sum) {
    if (!(sum > 0.0f)) return 0;
    if (sum >= 65535.0f) return 65535;
    return static_cast<uint16_t>(std::nearbyint(sum));  // ties to even in the default rounding mode
}

__attribute__((optimize("no-tree-vectorize"))) void PlainAcross(const uint16_t* in, int, float*, uint16_t* out,
                                                                 const TWeightTable& table, int outWidth) {
    for (int x = 0; x < outWidth; ++x) {
        const TSourceWeight* item = table.Items.data() + table.Start[x];
        float sum[3] = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < table.Count[x]; ++k)
            for (int c = 0; c < 3; ++c) {
                const float product = item[k].Weight * static_cast<float>(in[3 * static_cast<size_t>(item[k].Pixel) + c]);
                sum[c] += product;
            }
        for (int c = 0; c < 3; ++c) out[3 * x + c] = PlainSample(sum[c]);
    }
}

__attribute__((optimize("no-tree-vectorize"))) void PlainDown(const uint16_t* const* rows, const TSourceWeight* items,
                                                               int count, float* sums, uint16_t* out, size_t samples) {
    std::fill(sums, sums + samples, 0.0f);
    for (int k = 0; k < count; ++k)
        for (size_t i = 0; i < samples; ++i) {
            const float product = items[k].Weight * static_cast<float>(rows[k][i]);
            sums[i] += product;
        }
    for (size_t i = 0; i < samples; ++i) out[i] = PlainSample(sums[i]);
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
void Down(const TDeepKernels& kernels, const TRing& ring, int width, const TDeepRowSink& sink, const TWeightTable& table,
          int first, int last) {
    const size_t samples = static_cast<size_t>(width) * 3;
    std::vector<float> sums(samples);
    std::vector<uint16_t> out(samples);
    std::vector<const uint16_t*> rows(static_cast<size_t>(table.MaxCount));
    for (int y = first; y < last; ++y) {
        const TSourceWeight* item = table.Items.data() + table.Start[y];
        for (int k = 0; k < table.Count[y]; ++k) rows[k] = ring.Row(item[k].Pixel);
        kernels.Down(rows.data(), item, table.Count[y], sums.data(), out.data(), samples);
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

const TDeepKernels& DeepKernelsFor(TSimdLevel level) {
    static const TDeepKernels plain{PlainAcross, PlainDown};
#if defined(__x86_64__) || defined(__i386__)
    static const TDeepKernels sse2 = DeepKernelsSse2(), avx2 = DeepKernelsAvx2(), avx512 = DeepKernelsAvx512();
    switch (level) {
    case TSimdLevel::Sse2: return sse2;
    case TSimdLevel::Avx2: return avx2;
    case TSimdLevel::Avx512: return avx512;
    case TSimdLevel::Plain: break;
    }
#else
    (void)level;
#endif
    return plain;
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
    const TDeepKernels& kernels = DeepKernelsFor(CurrentSimdLevel());
    std::vector<std::vector<float>> spread(static_cast<size_t>(threads), std::vector<float>(4 * static_cast<size_t>(sw)));
    int next = 0;  // the first destination row not made yet
    // Makes every destination row whose source rows are all there (the first available ones).
    const auto makeReady = [&](int available) {
        int last = next;
        while (last < dh && plan.Last[last] < available) ++last;
        const int parts = std::min(threads, last - next);
        if (parts > 0)
            RunParallel(parts, [&](int part) {
                Down(kernels, ring, destWidth, sink, down, next + (last - next) * part / parts, next + (last - next) * (part + 1) / parts);
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
                kernels.Across(rows[i], sw, spread[part].data(), ring.Row(y + i), across, destWidth);
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
