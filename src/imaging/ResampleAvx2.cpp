// The passes with AVX2 and FMA: four doubles a register. Built with those
// instructions enabled; called only where the processor has them.
#include "ResampleBlocks.h"
#include "ResampleSingle.h"

#include <immintrin.h>

#include <cstring>

namespace quorix {

namespace {

struct TAvx2Ops {
    struct Acc {
        __m256d lo, hi;
    };
    static Acc Zero() { return {_mm256_setzero_pd(), _mm256_setzero_pd()}; }
    static __m256d Weight(float w) { return _mm256_set1_pd(static_cast<double>(w)); }
    // Rounded to single precision (ties to even, subnormals included) and back.
    static __m256d RoundToSingle(__m256d x) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(x)); }
    // A byte b placed in the low mantissa bits of 2^52 is the double 2^52 + b;
    // subtracting 2^52 leaves b exactly, without a conversion instruction.
    static __m256d Bytes(const uint8_t* p) {
        int32_t four;
        std::memcpy(&four, p, 4);
        __m256i q = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(four));
        const __m256i magic = _mm256_set1_epi64x(0x4330000000000000LL);
        return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(q, magic)), _mm256_castsi256_pd(magic));
    }
    static void Step(Acc& a, const uint8_t* p, __m256d w) {
        __m256d lo = Bytes(p), hi = Bytes(p + 4);
        a.lo = RoundToSingle(_mm256_fmadd_pd(lo, w, a.lo));
        a.hi = RoundToSingle(_mm256_fmadd_pd(hi, w, a.hi));
    }
    static void Store8(const Acc& a, uint8_t* out) {
        const __m256d zero = _mm256_setzero_pd(), top = _mm256_set1_pd(255.0);
        __m128i lo = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(a.lo, zero), top));
        __m128i hi = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(a.hi, zero), top));
        __m128i words = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
    }
};

}  // namespace

void HorizontalAvx2(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                    const TWeightTable& table) {
    HorizontalBlocks<TAvx2Ops, 2, TSingleOps>(src, dst, count, sourceWidth, table);
}

void VerticalAvx2(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count) {
    if (SingleStepIsExact(items, count))
        VerticalBlocks<TSingleOps, 8>(work, dst, rowBytes, items, count);
    else
        VerticalBlocks<TAvx2Ops, 4>(work, dst, rowBytes, items, count);
}

}  // namespace quorix
