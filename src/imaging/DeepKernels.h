// The 16-bit passes' kernels, one set per instruction set. Every set does
// the same arithmetic in each lane (a product, then a sum, never fused, in
// contributor order), so each gives the plain kernels' samples exactly.
#pragma once

#include "ResampleKernels.h"

#include <cstdint>

namespace quorix {

// One source row across into out (outWidth pixels), through spread, a work
// row of sourceWidth four-float pixels.
using TDeepAcross = void (*)(const uint16_t* in, int sourceWidth, float* spread, uint16_t* out, const TWeightTable& table,
                             int outWidth);
// One destination row of samples 16-bit samples from the rows the contributors name.
using TDeepDown = void (*)(const uint16_t* const* rows, const TSourceWeight* items, int count, float* sums, uint16_t* out,
                           size_t samples);

struct TDeepKernels {
    TDeepAcross Across;
    TDeepDown Down;
};

const TDeepKernels& DeepKernelsFor(TSimdLevel level);
TDeepKernels DeepKernelsSse2();
TDeepKernels DeepKernelsAvx2();
TDeepKernels DeepKernelsAvx512();

}  // namespace quorix
