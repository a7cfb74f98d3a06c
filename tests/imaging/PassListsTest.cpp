#include "PassLists.h"
#include "ResampleStream.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace quorix {
namespace {

// The contributor rule written out plainly, one list at a time.
std::vector<TSourceWeight> PlainList(int i, int dest, int source, TFilterProc filter, float width) {
    const float scale = ScaleFactor(dest, source);
    const bool reducing = scale < 1.0f;
    const float reach = reducing ? static_cast<float>(static_cast<long double>(width) / scale) : width;
    const float stretch = reducing ? static_cast<float>(1.0L / scale) : 1.0f;
    const float centre = static_cast<float>(static_cast<long double>(i) / scale);
    std::vector<TSourceWeight> list;
    for (int64_t j = static_cast<int64_t>(std::floor(static_cast<long double>(centre) - reach));
         j <= static_cast<int64_t>(std::ceil(static_cast<long double>(centre) + reach)); ++j) {
        const long double distance = static_cast<long double>(centre) - j;
        const float w = reducing ? static_cast<float>(filter(static_cast<float>(distance / stretch)) / static_cast<long double>(stretch))
                                 : filter(static_cast<float>(distance));
        if (w != 0.0f) list.push_back({ReflectIndex(j, source), w});
    }
    return list;
}

void ExpectList(const TWeightTable& table, int k, const std::vector<TSourceWeight>& plain) {
    ASSERT_EQ(table.Count[k], static_cast<int>(plain.size()));
    for (size_t n = 0; n < plain.size(); ++n) {
        EXPECT_EQ(table.Items[table.Start[k] + n].Pixel, plain[n].Pixel);
        EXPECT_EQ(table.Items[table.Start[k] + n].Weight, plain[n].Weight);
    }
}

// A 300,000,000 x 1 picture reduced to 32768 columns: whole lists would take
// about 14 GB; in blocks each stays within the budget, and the lists far out
// (where centres share their fractions) are still the plain ones.
TEST(PassLists, AVeryLongRowComesInBlocksWithinTheBudget) {
    const int dest = 32768, source = 300000000;
    const TPassLists lists = PassListsFor(dest, source, Lanczos3Filter, 3.0f, false);
    ASSERT_EQ(lists.Whole(), nullptr);
    const int far = dest - 5;
    const TWeightTable block = lists.Block(far - far % lists.BlockLength());
    EXPECT_LE(block.Items.capacity() * sizeof(TSourceWeight), WeightBudgetBytes / 2);
    ExpectList(block, far % lists.BlockLength(), PlainList(far, dest, source, Lanczos3Filter, 3.0f));
    // One list of a 1-pixel destination would already be beyond the budget.
    EXPECT_THROW(PassListsFor(1, source, Lanczos3Filter, 3.0f, false), std::length_error);
    EXPECT_NE(PassListsFor(3000, 6000, Lanczos3Filter, 3.0f, true).Whole(), nullptr);
}

TEST(PassLists, BlocksHoldTheListsOfTheWholeTable) {
    for (const TResampleFilter& f : ResampleFilters)
        for (auto [dest, source] : {std::pair{40, 400000}, std::pair{77, 20}, std::pair{300, 611}}) {
            const TPassLists blocked(dest, source, f.Filter, f.Width, false, 7);
            for (int i : {0, 1, dest / 2, dest - 1})
                ExpectList(blocked.Block(i - i % 7), i % 7, PlainList(i, dest, source, f.Filter, f.Width));
        }
}

// Streaming both passes from lists in blocks gives the whole passes' bytes.
TEST(PassLists, PassesInBlocksGiveTheWholePassesBytes) {
    const TBitmap source = test::MakeNoise(61, 47, 3);
    for (const TResampleFilter& f : ResampleFilters)
        for (auto [dw, dh] : {std::pair{23, 90}, std::pair{140, 11}}) {
            TBitmap work, reference, streamed;
            work.SetSize(dw, source.Height());
            reference.SetSize(dw, dh);
            streamed.SetSize(dw, dh);
            HorizontalPass(source, work, BuildWeightTable(dw, source.Width(), f.Filter, f.Width));
            VerticalPass(work, reference, BuildWeightTable(dh, source.Height(), f.Filter, f.Width));
            const TPassLists h(dw, source.Width(), f.Filter, f.Width, false, 5);
            const TPassLists v(dh, source.Height(), f.Filter, f.Width, true, 4);
            TStreamingPasses passes(h, v, KernelsFor(CurrentSimdLevel()), streamed, source.Width(), source.Height(),
                                    BandFor(v, 0, dh), 16);
            for (int y = 0; y < source.Height(); y += 16) {
                const uint8_t* rows[16];
                const int n = std::min(16, source.Height() - y);
                for (int r = 0; r < n; ++r) rows[r] = source.ScanLine(y + r);
                passes.Take(rows, n);
            }
            passes.Finish();
            for (int y = 0; y < dh; ++y)
                ASSERT_EQ(std::memcmp(streamed.ScanLine(y), reference.ScanLine(y), static_cast<size_t>(dw) * 3), 0)
                    << f.Name << " " << dw << "x" << dh << " row " << y;
        }
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// Rows of more than a million pixels take the plain loops: still the bytes
// of the two whole passes.
TEST(PassLists, AVeryWideRowGivesTheWholePassesBytes) {
    const TBitmap source = test::MakeNoise(WideRow + 3, 2, 5);
    TBitmap copy = source, dest, work, reference;
    dest.SetSize(700, 3);
    work.SetSize(700, 2);
    reference.SetSize(700, 3);
    ASSERT_EQ(ResampleBitmap(copy, dest, MitchellFilter, 2.0f), "");
    HorizontalPass(source, work, BuildWeightTable(700, source.Width(), MitchellFilter, 2.0f));
    VerticalPass(work, reference, BuildWeightTable(3, 2, MitchellFilter, 2.0f));
    for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(dest.ScanLine(y), reference.ScanLine(y), 700 * 3), 0) << y;
}

}  // namespace
}  // namespace quorix
