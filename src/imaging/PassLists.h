// The contributor lists of one pass, within a memory budget: the whole table
// when it fits, else blocks of lists built as the pass reaches them. A very
// long, thin picture (300,000,000 x 1) reduced to a few thousand pixels has
// lists of tens of thousands of contributors each; all of them at once would
// take gigabytes.
#pragma once

#include "Resample.h"

#include <memory>
#include <vector>

namespace quorix {

// What the lists of one pass may hold at once.
constexpr size_t WeightBudgetBytes = size_t(64) << 20;

class TPassLists {
public:
    // A whole table that outlives these lists.
    TPassLists(const TWeightTable& whole);  // NOLINT: a table is its own lists
    // A shared whole table; Low and High are known only with ranges.
    TPassLists(std::shared_ptr<const TWeightTable> whole, bool ranges);
    // The lists of a pass that does not fit the budget, in blocks of
    // blockLength lists (0: as many as half the budget holds). Low and High
    // are known only with ranges (a vertical pass needs them; finding them
    // builds every block once more).
    TPassLists(int destLength, int sourceLength, TFilterProc filter, float width, bool ranges, int blockLength = 0);

    int Length() const { return FLength; }
    // Null when the lists come in blocks.
    const TWeightTable* Whole() const { return FWhole; }
    // Destination indices a block holds, and the block from first on.
    int BlockLength() const { return FBlock; }
    TWeightTable Block(int first) const;
    // The lowest and highest source index list i reads (high < low for none).
    int Low(int i) const { return FLow[i]; }
    int High(int i) const { return FHigh[i]; }

private:
    void FindRanges(const TWeightTable& table);

    std::shared_ptr<const TWeightTable> FOwned;
    const TWeightTable* FWhole = nullptr;
    int FLength = 0, FSource = 0, FBlock = 0;
    TFilterProc FFilter = nullptr;
    float FWidth = 0;
    std::vector<int32_t> FLow, FHigh;
};

// The lists of a pass: shared whole tables where they fit the budget, blocks
// where they do not. Raises when even one list is beyond the budget.
TPassLists PassListsFor(int destLength, int sourceLength, TFilterProc filter, float width, bool ranges);

}  // namespace quorix
