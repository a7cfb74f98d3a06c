// Sums in single precision with one fused multiply-add a step, eight pixels a
// register (AVX2 and FMA). Used only for contributor lists whose steps all add
// exactly in double (SingleStepIsExact): there float(double(sum) + double(b) *
// double(w)) and fmaf(b, w, sum) are the same rounding of the same exact value.
// Included by the files built with those instructions.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace quorix {
namespace {

struct TSingleOps {
    static constexpr bool Enabled = true;
    using Acc = __m256;
    static Acc Zero() { return _mm256_setzero_ps(); }
    static __m256 Weight(float w) { return _mm256_set1_ps(w); }
    static Acc Load(const uint8_t* p) {
        return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void Step(Acc& a, const uint8_t* p, __m256 w) { a = _mm256_fmadd_ps(Load(p), w, a); }
    static void Store8(const Acc& a, uint8_t* out) {
        __m256 clamped = _mm256_min_ps(_mm256_max_ps(a, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
        __m256i words = _mm256_cvtps_epi32(clamped);  // rounds half to even
        __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(packed, packed));
    }
};

}  // namespace
}  // namespace quorix
