#include "SizeBudget.h"

#include <algorithm>

namespace quorix {

TBudgetResult FitToBudget(int startQuality, int64_t maxBytes, const TEncodeAt& encode) {
    TBudgetResult result;
    auto fits = [&](int quality, std::vector<uint8_t>& bytes) {
        bytes = encode(quality);
        ++result.Encodes;
        return static_cast<int64_t>(bytes.size()) <= maxBytes;
    };
    const int start = std::max(startQuality, LowestQuality);
    std::vector<uint8_t> bytes, lowest;  // lowest: the file at 5, kept should nothing fit
    if (fits(start, bytes)) {
        result.Quality = start;
        result.Bytes = std::move(bytes);
        result.Reached = true;
        return result;
    }
    if (start == LowestQuality) lowest = std::move(bytes);
    // Nothing fitting, the bisection ends by trying 5 itself.
    for (int low = LowestQuality, high = start - 1; low <= high;) {
        const int middle = (low + high) / 2;
        if (fits(middle, bytes)) {
            result.Quality = middle;
            result.Bytes = std::move(bytes);
            result.Reached = true;
            low = middle + 1;
        } else {
            if (middle == LowestQuality) lowest = std::move(bytes);
            high = middle - 1;
        }
    }
    if (!result.Reached) {
        result.Quality = LowestQuality;
        result.Bytes = std::move(lowest);
    }
    return result;
}

}  // namespace quorix
