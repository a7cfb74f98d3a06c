// The passes with SSE2, which every x86-64 processor has: two doubles a register.
#include "ResampleBlocks.h"

#include <emmintrin.h>

namespace quorix {

namespace {

struct TSse2Ops {
    struct Acc {
        __m128d v[4];
    };
    static Acc Zero() { return {{_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()}}; }
    static __m128d Weight(float w) { return _mm_set1_pd(static_cast<double>(w)); }
    static __m128d RoundToSingle(__m128d x) { return _mm_cvtps_pd(_mm_cvtpd_ps(x)); }
    static void Step(Acc& a, const uint8_t* p, __m128d w) {
        const __m128i zero = _mm_setzero_si128();
        __m128i b16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
        __m128i lo = _mm_unpacklo_epi16(b16, zero), hi = _mm_unpackhi_epi16(b16, zero);
        const __m128d d[4] = {_mm_cvtepi32_pd(lo), _mm_cvtepi32_pd(_mm_shuffle_epi32(lo, 0xEE)),
                              _mm_cvtepi32_pd(hi), _mm_cvtepi32_pd(_mm_shuffle_epi32(hi, 0xEE))};
        for (int j = 0; j < 4; ++j) a.v[j] = RoundToSingle(_mm_add_pd(a.v[j], _mm_mul_pd(d[j], w)));
    }
    static void Store8(const Acc& a, uint8_t* out) {
        const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(255.0);
        __m128i i[4];
        for (int j = 0; j < 4; ++j) i[j] = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(a.v[j], zero), top));
        __m128i lo = _mm_unpacklo_epi64(i[0], i[1]), hi = _mm_unpacklo_epi64(i[2], i[3]);
        __m128i words = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
    }
};

}  // namespace

void TransposeEightRows(const uint8_t* const* rows, size_t rowBytes, uint8_t* block) {
    size_t b = 0;
    for (; b + 16 <= rowBytes; b += 16) {
        __m128i a[8];
        for (int r = 0; r < 8; ++r) a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + b));
        __m128i t[8], u[8];
        for (int r = 0; r < 4; ++r) {
            t[2 * r] = _mm_unpacklo_epi8(a[2 * r], a[2 * r + 1]);
            t[2 * r + 1] = _mm_unpackhi_epi8(a[2 * r], a[2 * r + 1]);
        }
        for (int h = 0; h < 2; ++h) {  // rows 0-3 and rows 4-7
            const __m128i* s = t + 4 * h;
            u[4 * h] = _mm_unpacklo_epi16(s[0], s[2]);
            u[4 * h + 1] = _mm_unpackhi_epi16(s[0], s[2]);
            u[4 * h + 2] = _mm_unpacklo_epi16(s[1], s[3]);
            u[4 * h + 3] = _mm_unpackhi_epi16(s[1], s[3]);
        }
        __m128i* out = reinterpret_cast<__m128i*>(block + 8 * b);
        for (int q = 0; q < 4; ++q) {
            _mm_storeu_si128(out + 2 * q, _mm_unpacklo_epi32(u[q], u[q + 4]));
            _mm_storeu_si128(out + 2 * q + 1, _mm_unpackhi_epi32(u[q], u[q + 4]));
        }
    }
    for (; b < rowBytes; ++b)
        for (int r = 0; r < 8; ++r) block[8 * b + r] = rows[r][b];
}

void HorizontalSse2(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                    const TWeightTable& table) {
    HorizontalBlocks<TSse2Ops, 2>(src, dst, count, sourceWidth, table);
}

void VerticalSse2(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count) {
    VerticalBlocks<TSse2Ops, 4>(work, dst, rowBytes, items, count);
}

}  // namespace quorix
