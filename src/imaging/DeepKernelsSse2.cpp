// The 16-bit kernels built for this instruction set; called only where the processor has it.
#include "DeepKernels.h"

#include <immintrin.h>

#include <algorithm>

namespace quorix {

namespace {
#include "DeepKernelsBody.h"
}  // namespace

TDeepKernels DeepKernelsSse2() { return {LanesAcross, LanesDown}; }

}  // namespace quorix
