#include "PassLists.h"

#include "WeightTableCache.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace quorix {

namespace {

// Room for the lists of one destination index: at most 2 x reach + 2 items.
long double ItemsPerList(int destLength, int sourceLength, float width) {
    const float scale = ScaleFactor(destLength, sourceLength);
    const long double reach = scale < 1.0f ? static_cast<long double>(width) / scale : width;
    return 2.0L * reach + 2.0L;
}

constexpr long double ItemBytes = sizeof(TSourceWeight);
// A destination index also costs its start, count and exactness mark.
constexpr long double ListBytes = 2 * sizeof(int32_t) + 1;

}  // namespace

TPassLists::TPassLists(const TWeightTable& whole)
    : FWhole(&whole), FLength(static_cast<int>(whole.Start.size())) {
    FindRanges(whole);
}

TPassLists::TPassLists(std::shared_ptr<const TWeightTable> whole, bool ranges)
    : FOwned(std::move(whole)), FWhole(FOwned.get()), FLength(static_cast<int>(FWhole->Start.size())) {
    if (ranges) FindRanges(*FWhole);
}

TPassLists::TPassLists(int destLength, int sourceLength, TFilterProc filter, float width, bool ranges,
                       int blockLength)
    : FLength(std::max(0, destLength)), FSource(sourceLength), FFilter(filter), FWidth(width) {
    // Half the budget for the block; the other half leaves room for the ranges
    // and the pass's own buffers.
    const long double perList = ItemsPerList(destLength, sourceLength, width) * ItemBytes + ListBytes;
    FBlock = static_cast<int>(std::clamp(WeightBudgetBytes / 2 / perList, 1.0L, static_cast<long double>(INT_MAX)));
    if (blockLength > 0) FBlock = blockLength;
    if (!ranges) return;
    FLow.reserve(static_cast<size_t>(FLength));
    FHigh.reserve(static_cast<size_t>(FLength));
    for (int first = 0; first < FLength; first += FBlock) FindRanges(Block(first));
}

TWeightTable TPassLists::Block(int first) const {
    return BuildWeightBlock(FLength, FSource, FFilter, FWidth, first, FBlock);
}

void TPassLists::FindRanges(const TWeightTable& table) {
    for (size_t i = 0; i < table.Start.size(); ++i) {
        int32_t low = INT_MAX, high = -1;
        const TSourceWeight* item = table.Items.data() + table.Start[i];
        for (int k = 0; k < table.Count[i]; ++k) {
            low = std::min(low, item[k].Pixel);
            high = std::max(high, item[k].Pixel);
        }
        FLow.push_back(low);
        FHigh.push_back(high);
    }
}

TPassLists PassListsFor(int destLength, int sourceLength, TFilterProc filter, float width, bool ranges) {
    if (destLength < 1) return TPassLists(std::make_shared<const TWeightTable>(), ranges);
    const long double perList = ItemsPerList(destLength, sourceLength, width) * ItemBytes + ListBytes;
    if (perList * destLength <= WeightBudgetBytes)
        return TPassLists(SharedWeightTable(destLength, sourceLength, filter, width), ranges);
    if (perList > WeightBudgetBytes / 2) throw std::length_error("Cannot strecth! The image is too big.");
    return TPassLists(destLength, sourceLength, filter, width, ranges);
}

}  // namespace quorix
