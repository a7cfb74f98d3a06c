#include "ResampleStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace quorix {

namespace {

// The first and last source row destination row i reads (last < first when
// it reads none).
void ReadRange(const TWeightTable& table, int i, int& first, int& last) {
    first = INT_MAX;
    last = -1;
    const TSourceWeight* item = table.Items.data() + table.Start[i];
    for (int k = 0; k < table.Count[i]; ++k) {
        first = std::min(first, item[k].Pixel);
        last = std::max(last, item[k].Pixel);
    }
}

}  // namespace

TBand BandFor(const TWeightTable& vertical, int first, int last) {
    TBand band{first, last, INT_MAX, 0};
    for (int i = first; i < last; ++i) {
        int low, high;
        ReadRange(vertical, i, low, high);
        band.FirstSource = std::min(band.FirstSource, low);
        band.LastSource = std::max(band.LastSource, high + 1);
    }
    if (band.LastSource <= band.FirstSource) band.FirstSource = band.LastSource = 0;
    return band;
}

int RingRows(const TWeightTable& vertical, const TBand& band, int stripRows) {
    const int dests = band.LastDest - band.FirstDest;
    std::vector<int> need(static_cast<size_t>(dests)), lowest(static_cast<size_t>(dests) + 1, INT_MAX);
    for (int d = dests - 1; d >= 0; --d) {
        int low;
        ReadRange(vertical, band.FirstDest + d, low, need[d]);
        lowest[d] = std::min(low, lowest[d + 1]);
    }
    // Before the strip from row p is written, every destination row before the
    // first one that reads row p or later has been made; the rows from the
    // lowest one the others still read up to the strip's end are kept.
    int rows = 1, next = 0;
    for (int p = band.FirstSource; p < band.LastSource; ++p) {
        while (next < dests && need[next] < p) ++next;
        const int kept = std::max(band.FirstSource, std::min(p, lowest[next]));
        rows = std::max(rows, std::min(p + stripRows, band.LastSource) - kept);
    }
    return std::min(rows, std::max(1, band.LastSource - band.FirstSource));
}

TStreamingPasses::TStreamingPasses(const TWeightTable& horizontal, const TWeightTable& vertical,
                                   const TPassKernels& kernels, TBitmap& dest, int sourceWidth, int sourceHeight,
                                   const TBand& band, int stripRows)
    : FHorizontal(horizontal), FVertical(vertical), FKernels(kernels), FDest(dest), FSourceWidth(sourceWidth),
      FBand(band), FRows(static_cast<size_t>(sourceHeight), nullptr), FNextSource(band.FirstSource),
      FNextDest(band.FirstDest) {
    FRing.SetSize(dest.Width(), RingRows(vertical, band, stripRows));
    FNeed.resize(static_cast<size_t>(band.LastDest - band.FirstDest));
    for (int i = band.FirstDest; i < band.LastDest; ++i) {
        int low;
        ReadRange(vertical, i, low, FNeed[i - band.FirstDest]);
    }
}

void TStreamingPasses::Take(const uint8_t* const* rows, int count) {
    count = std::min(count, FBand.LastSource - FNextSource);
    if (count <= 0) return;
    for (int r = 0; r < count; ++r) FRows[FNextSource + r] = Slot(FNextSource + r);
    FKernels.Horizontal(rows, FRows.data() + FNextSource, count, FSourceWidth, FHorizontal);
    FNextSource += count;
    Emit();
}

void TStreamingPasses::Finish() {
    for (; FNextSource < FBand.LastSource; ++FNextSource) {
        FRows[FNextSource] = Slot(FNextSource);
        std::memset(FRows[FNextSource], 0, static_cast<size_t>(FDest.Width()) * 3);
        Emit();
    }
    Emit();
}

void TStreamingPasses::Emit() {
    const size_t rowBytes = static_cast<size_t>(FDest.Width()) * 3;
    const int before = FNextDest;
    for (; FNextDest < FBand.LastDest && FNeed[FNextDest - FBand.FirstDest] < FNextSource; ++FNextDest)
        FKernels.Vertical(FRows.data(), FDest.ScanLine(FNextDest), rowBytes,
                          FVertical.Items.data() + FVertical.Start[FNextDest], FVertical.Count[FNextDest]);
    if (FNextDest > before && FDone && *FDone) (*FDone)(FNextDest);
}

}  // namespace quorix
