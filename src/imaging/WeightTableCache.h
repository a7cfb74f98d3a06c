// The contributor tables of the last few resamplings: a batch of pictures of
// one size builds each table once (a Lanczos3 table of a few thousand
// destination pixels costs milliseconds of extended-precision sines).
#pragma once

#include "Resample.h"

#include <memory>

namespace quorix {

// The table BuildWeightTable would build, shared with earlier calls that asked
// for the same one. Safe to call from several threads.
std::shared_ptr<const TWeightTable> SharedWeightTable(int destLength, int sourceLength, TFilterProc filter,
                                                      float width);

}  // namespace quorix
