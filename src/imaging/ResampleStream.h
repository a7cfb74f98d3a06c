// Both passes over a band of source rows, one strip of rows at a time: the
// horizontal pass writes each strip into a ring of intermediate rows, and each
// destination row is made as soon as every row it reads is there. Only the
// intermediate rows still to be read are kept, so they stay in the cache.
#pragma once

#include "PassLists.h"
#include "ResampleKernels.h"

#include <vector>

namespace quorix {

// Destination rows [FirstDest, LastDest) and the source rows [FirstSource,
// LastSource) that are fed to make them.
struct TBand {
    int FirstDest = 0, LastDest = 0;
    int FirstSource = 0, LastSource = 0;
};

// Source rows wider than this are resampled by the plain loops (the same bytes).
constexpr int WideRow = 1 << 20;

// The band of destination rows [first, last): the source rows they read.
TBand BandFor(const TPassLists& vertical, int first, int last);

// Intermediate rows the band keeps when strips of up to stripRows rows are fed.
int RingRows(const TPassLists& vertical, const TBand& band, int stripRows);

class TStreamingPasses {
public:
    TStreamingPasses(TPassLists horizontal, TPassLists vertical, const TPassKernels& kernels,
                     TBitmap& dest, int sourceWidth, int sourceHeight, const TBand& band, int stripRows);
    // The band's next count (at most stripRows) source rows.
    void Take(const uint8_t* const* rows, int count);
    // Rows the source did not deliver count as black; makes the remaining rows.
    void Finish();
    // Told of the rows made so far after each strip (for a band from the top).
    void SetRowsDone(const TRowsDone& done) { FDone = &done; }

private:
    void Emit();
    void HorizontalInBlocks(const uint8_t* const* rows, int count);
    // The vertical lists of destination row i (blocks are built as rows are reached).
    const TSourceWeight* VerticalList(int i, int& count);
    uint8_t* Slot(int sourceRow) { return FRing.ScanLine((sourceRow - FBand.FirstSource) % FRing.Height()); }

    TPassLists FHorizontal;
    TPassLists FVertical;
    TWeightTable FVerticalBlock;
    int FVerticalFirst = -1;
    const TPassKernels& FKernels;
    TBitmap& FDest;
    int FSourceWidth;
    TBand FBand;
    TBitmap FRing;
    std::vector<uint8_t*> FRows;  // by source row: where its intermediate row is
    std::vector<int> FNeed;       // by destination row: the last source row it reads
    int FNextSource, FNextDest;
    const TRowsDone* FDone = nullptr;
};

}  // namespace quorix
