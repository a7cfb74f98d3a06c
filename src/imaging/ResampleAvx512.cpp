// The passes with AVX-512: eight doubles a register. Built with those
// instructions enabled; called only where the processor has them.
#include "ResampleBlocks.h"
#include "ResampleSingle.h"

// GCC 12's own AVX-512 headers start some conversions from a deliberately
// undefined register and warn about it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace quorix {

namespace {

struct TAvx512Ops {
    using Acc = __m512d;
    static Acc Zero() { return _mm512_setzero_pd(); }
    static __m512d Weight(float w) { return _mm512_set1_pd(static_cast<double>(w)); }
    // Rounded to single precision (ties to even, subnormals included) and back.
    static __m512d RoundToSingle(__m512d x) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(x)); }
    // Eight bytes as doubles: each placed in the low mantissa bits of 2^52.
    static __m512d Bytes(const uint8_t* p) {
        __m512i q = _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        const __m512i magic = _mm512_set1_epi64(0x4330000000000000LL);
        return _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(q, magic)), _mm512_castsi512_pd(magic));
    }
    static void Step(Acc& a, const uint8_t* p, __m512d w) { a = RoundToSingle(_mm512_fmadd_pd(Bytes(p), w, a)); }
    static void Store8(const Acc& a, uint8_t* out) {
        __m512d clamped = _mm512_min_pd(_mm512_max_pd(a, _mm512_setzero_pd()), _mm512_set1_pd(255.0));
        __m256i words = _mm512_cvtpd_epi32(clamped);  // rounds half to even
        __m128i bytes = _mm512_cvtepi32_epi8(_mm512_zextsi256_si512(words));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    }
};

}  // namespace

void HorizontalAvx512(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                      const TWeightTable& table) {
    HorizontalBlocks<TAvx512Ops, 4, TSingleOps>(src, dst, count, sourceWidth, table);
}

void VerticalAvx512(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items,
                    int count) {
    if (SingleStepIsExact(items, count))
        VerticalBlocks<TSingleOps, 8>(work, dst, rowBytes, items, count);
    else
        VerticalBlocks<TAvx512Ops, 8>(work, dst, rowBytes, items, count);
}

}  // namespace quorix
