// The highest quality whose file fits a size limit, found in few encodes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace quorix {

// The whole file's bytes at a quality.
using TEncodeAt = std::function<std::vector<uint8_t>(int quality)>;

struct TBudgetResult {
    int Quality = 0;
    std::vector<uint8_t> Bytes;
    bool Reached = false;  // false: not even quality 5 fits, and that file is kept
    int Encodes = 0;
};

constexpr int LowestQuality = 5;

// The start quality first; when its file is too large, a bisection of the
// qualities below it down to 5: at most 8 encodes for any start up to 99.
TBudgetResult FitToBudget(int startQuality, int64_t maxBytes, const TEncodeAt& encode);

}  // namespace quorix
