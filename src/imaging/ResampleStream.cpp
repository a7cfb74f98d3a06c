#include "ResampleStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace quorix {

TBand BandFor(const TPassLists& vertical, int first, int last) {
    TBand band{first, last, INT_MAX, 0};
    for (int i = first; i < last; ++i) {
        band.FirstSource = std::min(band.FirstSource, vertical.Low(i));
        band.LastSource = std::max(band.LastSource, vertical.High(i) + 1);
    }
    if (band.LastSource <= band.FirstSource) band.FirstSource = band.LastSource = 0;
    return band;
}

int RingRows(const TPassLists& vertical, const TBand& band, int stripRows) {
    const int dests = band.LastDest - band.FirstDest;
    std::vector<int> need(static_cast<size_t>(dests)), lowest(static_cast<size_t>(dests) + 1, INT_MAX);
    for (int d = dests - 1; d >= 0; --d) {
        need[d] = vertical.High(band.FirstDest + d);
        lowest[d] = std::min(vertical.Low(band.FirstDest + d), lowest[d + 1]);
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

TStreamingPasses::TStreamingPasses(TPassLists horizontal, TPassLists vertical, const TPassKernels& kernels,
                                   TBitmap& dest, int sourceWidth, int sourceHeight, const TBand& band, int stripRows)
    : FHorizontal(std::move(horizontal)), FVertical(std::move(vertical)), FKernels(kernels), FDest(dest),
      FSourceWidth(sourceWidth), FBand(band), FRows(static_cast<size_t>(sourceHeight), nullptr), FNextSource(band.FirstSource),
      FNextDest(band.FirstDest) {
    FRing.SetSize(dest.Width(), RingRows(FVertical, band, stripRows));
    FNeed.resize(static_cast<size_t>(band.LastDest - band.FirstDest));
    for (int i = band.FirstDest; i < band.LastDest; ++i) FNeed[i - band.FirstDest] = FVertical.High(i);
}

void TStreamingPasses::Take(const uint8_t* const* rows, int count) {
    count = std::min(count, FBand.LastSource - FNextSource);
    if (count <= 0) return;
    for (int r = 0; r < count; ++r) FRows[FNextSource + r] = Slot(FNextSource + r);
    const TWeightTable* whole = FHorizontal.Whole();
    if (whole && FSourceWidth <= WideRow)
        FKernels.Horizontal(rows, FRows.data() + FNextSource, count, FSourceWidth, *whole);
    else
        HorizontalInBlocks(rows, count);
    FNextSource += count;
    Emit();
}

// Each block of destination columns writes its part of the intermediate rows.
void TStreamingPasses::HorizontalInBlocks(const uint8_t* const* rows, int count) {
    // The SIMD kernels interleave eight source rows (24 bytes a pixel): for a
    // row of millions of pixels the plain loops, which read the rows in place,
    // keep the memory to the picture's own.
    const THorizontalKernel kernel =
        FSourceWidth > WideRow ? KernelsFor(TSimdLevel::Plain).Horizontal : FKernels.Horizontal;
    std::vector<uint8_t*> out(static_cast<size_t>(count));
    if (const TWeightTable* whole = FHorizontal.Whole()) {
        for (int r = 0; r < count; ++r) out[r] = FRows[FNextSource + r];
        return kernel(rows, out.data(), count, FSourceWidth, *whole);
    }
    for (int first = 0; first < FHorizontal.Length(); first += FHorizontal.BlockLength()) {
        const TWeightTable block = FHorizontal.Block(first);
        for (int r = 0; r < count; ++r) out[r] = FRows[FNextSource + r] + static_cast<size_t>(first) * 3;
        kernel(rows, out.data(), count, FSourceWidth, block);
    }
}

const TSourceWeight* TStreamingPasses::VerticalList(int i, int& count) {
    if (const TWeightTable* whole = FVertical.Whole()) {
        count = whole->Count[i];
        return whole->Items.data() + whole->Start[i];
    }
    const int length = FVertical.BlockLength();
    if (FVerticalFirst < 0 || i < FVerticalFirst || i >= FVerticalFirst + length) {
        FVerticalFirst = i - i % length;
        FVerticalBlock = FVertical.Block(FVerticalFirst);
    }
    count = FVerticalBlock.Count[i - FVerticalFirst];
    return FVerticalBlock.Items.data() + FVerticalBlock.Start[i - FVerticalFirst];
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
    for (; FNextDest < FBand.LastDest && FNeed[FNextDest - FBand.FirstDest] < FNextSource; ++FNextDest) {
        int count;
        const TSourceWeight* list = VerticalList(FNextDest, count);
        FKernels.Vertical(FRows.data(), FDest.ScanLine(FNextDest), rowBytes, list, count);
    }
    if (FNextDest > before && FDone && *FDone) (*FDone)(FNextDest);
}

}  // namespace quorix
