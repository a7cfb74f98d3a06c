// The inner loops of the two resampler passes, in a plain version that defines
// the result and in SIMD versions that give the same bytes: the sums of several
// pixels sit in one register, each accumulation step is still
// float(double(sum) + double(byte) * double(weight)) in the stored order of
// the contributors, and the product of a byte and a single-precision weight
// is exact in double, so a fused multiply-add changes nothing. Where a list's
// steps all add exactly in double (SingleStepIsExact), the AVX2 and AVX-512
// versions sum it in single precision with one fused multiply-add a step,
// which rounds the same exact value once, as the definition does.
#pragma once

#include "Resample.h"

#include <cstddef>
#include <cstdint>

namespace quorix {

// Rows src[0 .. count) (24-bit) to dst[0 .. count) at the table's width.
using THorizontalKernel = void (*)(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                                   const TWeightTable& table);
// One destination row of rowBytes bytes from the work rows the contributors name.
using TVerticalKernel = void (*)(const uint8_t* const* work, uint8_t* dst, size_t rowBytes,
                                 const TSourceWeight* items, int count);

enum class TSimdLevel { Plain, Sse2, Avx2, Avx512 };

struct TPassKernels {
    THorizontalKernel Horizontal;
    TVerticalKernel Vertical;
};

void HorizontalPlain(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                     const TWeightTable& table);
void VerticalPlain(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count);
void HorizontalSse2(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                    const TWeightTable& table);
void VerticalSse2(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count);
void HorizontalAvx2(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                    const TWeightTable& table);
void VerticalAvx2(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count);
void HorizontalAvx512(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                      const TWeightTable& table);
void VerticalAvx512(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items,
                    int count);

// Eight rows of rowBytes bytes interleaved: block[8 * b + r] = rows[r][b].
void TransposeEightRows(const uint8_t* const* rows, size_t rowBytes, uint8_t* block);

// The best level this processor runs, and the level the passes use (the best
// unless a test or benchmark chose another).
TSimdLevel BestSimdLevel();
TSimdLevel CurrentSimdLevel();
void SetSimdLevel(TSimdLevel level);  // clamped to BestSimdLevel()
const TPassKernels& KernelsFor(TSimdLevel level);
const char* SimdLevelName(TSimdLevel level);

}  // namespace quorix
