#include "ResampleKernels.h"

#include <algorithm>
#include <atomic>

namespace quorix {

namespace {

inline float Accumulate(float sum, uint8_t value, float weight) {
    return static_cast<float>(static_cast<double>(sum) +
                              static_cast<double>(value) * static_cast<double>(weight));
}

TSimdLevel DetectSimdLevel() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return TSimdLevel::Avx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return TSimdLevel::Avx2;
    return TSimdLevel::Sse2;
#else
    return TSimdLevel::Plain;
#endif
}

std::atomic<int>& SelectedLevel() {
    static std::atomic<int> level{static_cast<int>(DetectSimdLevel())};
    return level;
}

}  // namespace

void HorizontalPlain(const uint8_t* const* src, uint8_t* const* dst, int count, int, const TWeightTable& table) {
    const int destWidth = static_cast<int>(table.Start.size());
    for (int y = 0; y < count; ++y) {
        const uint8_t* row = src[y];
        uint8_t* out = dst[y];
        for (int i = 0; i < destWidth; ++i) {
            float blue = 0.0f, green = 0.0f, red = 0.0f;
            const TSourceWeight* item = table.Items.data() + table.Start[i];
            for (int k = 0; k < table.Count[i]; ++k, ++item) {
                const uint8_t* p = row + static_cast<size_t>(item->Pixel) * 3;
                blue = Accumulate(blue, p[0], item->Weight);
                green = Accumulate(green, p[1], item->Weight);
                red = Accumulate(red, p[2], item->Weight);
            }
            out[3 * i] = SumToByte(blue);
            out[3 * i + 1] = SumToByte(green);
            out[3 * i + 2] = SumToByte(red);
        }
    }
}

void VerticalPlain(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count) {
    constexpr size_t Block = 256;
    float sums[Block];
    for (size_t x = 0; x < rowBytes; x += Block) {
        const size_t n = std::min(Block, rowBytes - x);
        std::fill(sums, sums + n, 0.0f);
        for (int k = 0; k < count; ++k) {
            const uint8_t* src = work[items[k].Pixel] + x;
            const float weight = items[k].Weight;
            for (size_t b = 0; b < n; ++b) sums[b] = Accumulate(sums[b], src[b], weight);
        }
        for (size_t b = 0; b < n; ++b) dst[x + b] = SumToByte(sums[b]);
    }
}

TSimdLevel BestSimdLevel() {
    static const TSimdLevel best = DetectSimdLevel();
    return best;
}

TSimdLevel CurrentSimdLevel() {
    return static_cast<TSimdLevel>(SelectedLevel().load(std::memory_order_relaxed));
}

void SetSimdLevel(TSimdLevel level) {
    if (static_cast<int>(level) > static_cast<int>(BestSimdLevel())) level = BestSimdLevel();
    SelectedLevel().store(static_cast<int>(level), std::memory_order_relaxed);
}

const TPassKernels& KernelsFor(TSimdLevel level) {
    static const TPassKernels plain{HorizontalPlain, VerticalPlain};
#if defined(__x86_64__) || defined(__i386__)
    static const TPassKernels sse2{HorizontalSse2, VerticalSse2};
    static const TPassKernels avx2{HorizontalAvx2, VerticalAvx2};
    static const TPassKernels avx512{HorizontalAvx512, VerticalAvx512};
    switch (level) {
    case TSimdLevel::Avx512: return avx512;
    case TSimdLevel::Avx2: return avx2;
    case TSimdLevel::Sse2: return sse2;
    case TSimdLevel::Plain: break;
    }
#else
    (void)level;
#endif
    return plain;
}

const char* SimdLevelName(TSimdLevel level) {
    switch (level) {
    case TSimdLevel::Avx512: return "AVX-512";
    case TSimdLevel::Avx2: return "AVX2";
    case TSimdLevel::Sse2: return "SSE2";
    case TSimdLevel::Plain: break;
    }
    return "plain";
}

}  // namespace quorix
