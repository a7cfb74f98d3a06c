#include "DeepResample.h"
#include "ResampleKernels.h"
#include "Resample.h"
#include "WeightTableCache.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quorix {
namespace {

using test::MakeBitmap24;

// A one-row bitmap whose three channels all hold values.
TBitmap Row(const std::vector<int>& values) {
    TBitmap bitmap = MakeBitmap24(static_cast<int>(values.size()), 1, 0, 0, 0);
    for (size_t i = 0; i < values.size(); ++i)
        for (int c = 0; c < 3; ++c) bitmap.ScanLine(0)[3 * i + c] = static_cast<uint8_t>(values[i]);
    return bitmap;
}

std::vector<int> Channel(const TBitmap& bitmap, int c) {
    std::vector<int> out;
    for (int x = 0; x < bitmap.Width(); ++x) out.push_back(bitmap.ScanLine(0)[3 * x + c]);
    return out;
}

std::string Show(const std::vector<int>& v) {
    std::ostringstream s;
    for (int x : v) s << x << ' ';
    return s.str();
}

struct TRowCase {
    const char* Filter;
    std::vector<int> Source;
    int DestWidth;
    std::vector<int> Expected;
};

int FilterIndex(const std::string& name) {
    for (int i = 0; i < ResampleFilterCount; ++i)
        if (name == ResampleFilters[i].Name) return i;
    return -1;
}

class RowExamples : public ::testing::TestWithParam<TRowCase> {};

TEST_P(RowExamples, HorizontalPassGivesTheExpectedRow) {
    const TRowCase& c = GetParam();
    const TResampleFilter& f = ResampleFilters[FilterIndex(c.Filter)];
    TBitmap source = Row(c.Source);
    TBitmap dest = MakeBitmap24(c.DestWidth, 1, 0, 0, 0);
    HorizontalPass(source, dest, BuildWeightTable(c.DestWidth, source.Width(), f.Filter, f.Width));
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(Channel(dest, ch), c.Expected) << c.Filter << ": got " << Show(Channel(dest, ch))
                                                 << "want " << Show(c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, RowExamples,
    ::testing::Values(
        TRowCase{"Box", {10, 196, 30, 250}, 4, {10, 196, 30, 250}},
        TRowCase{"Triangle", {10, 196, 30, 250}, 4, {10, 196, 30, 250}},
        TRowCase{"Hermite", {10, 196, 30, 250}, 4, {10, 196, 30, 250}},
        TRowCase{"Lanczos3", {10, 196, 30, 250}, 4, {10, 196, 30, 250}},
        TRowCase{"Bell", {10, 196, 30, 250}, 4, {56, 152, 78, 222}},
        TRowCase{"Triangle", {0, 90, 180, 255}, 2, {80, 212}},
        TRowCase{"Triangle", {0, 0, 255, 255}, 7, {0, 0, 0, 128, 255, 255, 255}},
        TRowCase{"Mitchell", {0, 0, 255, 255}, 7, {0, 0, 14, 127, 241, 255, 255}},
        TRowCase{"Lanczos3", {0, 0, 255, 255}, 7, {0, 0, 0, 127, 255, 255, 255}},
        TRowCase{"Box", {77}, 5, {77, 77, 77, 77, 77}},
        TRowCase{"Triangle", {77}, 5, {77, 77, 77, 77, 77}},
        TRowCase{"Hermite", {77}, 5, {77, 77, 77, 77, 77}}));

TEST(WeightTable, TriangleReductionContributorsAndReflection) {
    TWeightTable t = BuildWeightTable(2, 4, TriangleFilter, 1.0f);
    std::vector<int> pixels;
    for (const TSourceWeight& w : t.Items) pixels.push_back(w.Pixel);
    EXPECT_EQ(pixels, (std::vector<int>{2, 1, 0, 1, 2, 1, 2, 3, 3, 2}));
    const float ninths[] = {1, 2, 3, 2, 1, 1, 2, 3, 2, 1};
    for (size_t k = 0; k < t.Items.size(); ++k) EXPECT_NEAR(t.Items[k].Weight, ninths[k] / 9.0f, 1e-6f) << k;
}

float SumOf(const TWeightTable& t, int i) {
    float s = 0;
    for (int k = 0; k < t.Count[i]; ++k) s += t.Items[t.Start[i] + k].Weight;
    return s;
}

TEST(WeightTable, SumsAreNotNormalised) {
    TWeightTable box = BuildWeightTable(3, 8, BoxFilter, 0.5f);
    EXPECT_NEAR(SumOf(box, 0), 0.857f, 0.001f);
    EXPECT_NEAR(SumOf(box, 1), 1.143f, 0.001f);
    EXPECT_NEAR(SumOf(box, 2), 0.857f, 0.001f);
    TWeightTable lanczos = BuildWeightTable(7, 4, Lanczos3Filter, 3.0f);
    for (int i = 1; i < 7; i += 2) EXPECT_NEAR(SumOf(lanczos, i), 0.994f, 0.001f) << i;
    for (int i = 0; i < 7; i += 2) EXPECT_NEAR(SumOf(lanczos, i), 1.0f, 1e-6f) << i;
}

TEST(WeightTable, NoZeroWeightIsStoredAndEveryIndexIsInside) {
    for (const TResampleFilter& f : ResampleFilters)
        for (int source : {1, 2, 3, 5})
            for (int dest : {1, 2, 3, 4, 9}) {
                TWeightTable t = BuildWeightTable(dest, source, f.Filter, f.Width);
                for (const TSourceWeight& w : t.Items) {
                    EXPECT_NE(w.Weight, 0.0f);
                    EXPECT_GE(w.Pixel, 0);
                    EXPECT_LT(w.Pixel, source) << f.Name << " " << source << "->" << dest;
                }
            }
}

TEST(WeightTable, ScaleAndReflection) {
    EXPECT_EQ(ScaleFactor(5, 1), 5.0f);
    EXPECT_EQ(ScaleFactor(1, 4), 0.25f);  // a one-pixel destination uses Dw / Sw
    EXPECT_EQ(ScaleFactor(7, 4), 2.0f);
    EXPECT_EQ(ScaleFactor(2, 4), static_cast<float>(1.0L / 3.0L));
    const struct { int64_t j; int length; int expected; } cases[] = {
        {-1, 4, 1}, {-2, 4, 2}, {4, 4, 3}, {5, 4, 2}, {-5, 2, 1}, {7, 2, 1}, {9, 1, 0}, {-3, 3, 2}, {0, 3, 0}};
    for (const auto& c : cases) EXPECT_EQ(ReflectIndex(c.j, c.length), c.expected) << c.j << " in " << c.length;
}

TEST(WeightTable, EmptyDestinationHasNoLists) {
    const TWeightTable table = BuildWeightTable(0, 45, ResampleFilters[6].Filter, ResampleFilters[6].Width);
    EXPECT_TRUE(table.Start.empty());
    EXPECT_TRUE(table.Items.empty());
    TBitmap source = MakeBitmap24(45, 31, 1, 2, 3);
    TBitmap dest;
    dest.SetSize(0, 171);  // a destination without columns: nothing to compute, nothing fails
    EXPECT_EQ(ResampleBitmap(source, dest, ResampleFilters[6].Filter, ResampleFilters[6].Width), "");
}

TEST(SumToByte, ClampsAndRoundsHalfToEven) {
    const struct { float sum; int expected; } cases[] = {
        {56.5f, 56}, {57.5f, 58}, {127.5f, 128}, {-8.85f, 0}, {263.85f, 255}, {255.4f, 255}, {0.49f, 0}, {254.5f, 254}};
    for (const auto& c : cases) EXPECT_EQ(SumToByte(c.sum), c.expected) << c.sum;
}

TEST(ResampleBitmap, RefusesEmptyAndHugeSourcesWithoutTouchingTheDestination) {
    TBitmap dest = MakeBitmap24(2, 2, 9, 9, 9);
    TBitmap empty;
    EXPECT_EQ(ResampleBitmap(empty, dest, BoxFilter, 0.5f), "Cannot strecth! The image is too small.");
    TBitmap huge;
    huge.SetPixelFormat(TPixelFormat::pf1bit);  // 20000 x 15001 pixels in 37 MB
    huge.SetSize(20000, 15001);
    EXPECT_EQ(ResampleBitmap(huge, dest, BoxFilter, 0.5f), "Cannot strecth! The image is too big.");
    EXPECT_EQ(huge.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(dest.ScanLine(1)[5], 9);
}

TEST(ResampleBitmap, ConstantPictureStaysConstantWhereWeightsSumToOne) {
    for (int i = 0; i < ResampleFilterCount; ++i) {
        const TResampleFilter& f = ResampleFilters[i];
        TBitmap source = MakeBitmap24(9, 7, 200, 13, 77);
        TBitmap dest = MakeBitmap24(9, 7, 0, 0, 0);
        ASSERT_EQ(ResampleBitmap(source, dest, f.Filter, f.Width), "");
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                const uint8_t* p = dest.ScanLine(y) + 3 * x;
                ASSERT_EQ(p[0], 200) << f.Name;
                ASSERT_EQ(p[1], 13) << f.Name;
                ASSERT_EQ(p[2], 77) << f.Name;
            }
    }
    // Corner-aligned enlargement with Triangle sums to one everywhere.
    for (int size : {4, 7, 11, 40}) {
        TBitmap source = MakeBitmap24(4, 3, 100, 150, 250);
        TBitmap dest = MakeBitmap24(size, size + 1, 0, 0, 0);
        ASSERT_EQ(ResampleBitmap(source, dest, TriangleFilter, 1.0f), "");
        for (int y = 0; y < dest.Height(); ++y)
            for (int x = 0; x < size; ++x) ASSERT_EQ(dest.ScanLine(y)[3 * x + 2], 250) << size;
    }
}

TEST(ResampleBitmap, VerticalPassMatchesTheHorizontalPassOnTheTransposedPicture) {
    TBitmap noise = test::MakeNoise(1, 13, 7);
    TBitmap row = MakeBitmap24(13, 1, 0, 0, 0);
    for (int y = 0; y < 13; ++y)
        for (int c = 0; c < 3; ++c) row.ScanLine(0)[3 * y + c] = noise.ScanLine(y)[c];
    for (const TResampleFilter& f : ResampleFilters) {
        TBitmap column = MakeBitmap24(1, 5, 0, 0, 0), flat = MakeBitmap24(5, 1, 0, 0, 0);
        TBitmap src = noise;
        ASSERT_EQ(ResampleBitmap(src, column, f.Filter, f.Width), "");
        HorizontalPass(row, flat, BuildWeightTable(5, 13, f.Filter, f.Width));
        for (int i = 0; i < 5; ++i)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(column.ScanLine(i)[c], flat.ScanLine(0)[3 * i + c]) << f.Name;
    }
}

TEST(ResampleBitmap, TinySourcesAndDestinationsWithEveryFilter) {
    // Sources of one to three pixels reach far past their edges; nothing may be read outside.
    std::mt19937 random(11);
    for (const TResampleFilter& f : ResampleFilters)
        for (int sw : {1, 2, 3})
            for (int dw : {1, 2, 3, 8}) {
                TBitmap source = test::MakeNoise(sw, sw + 1, random());
                TBitmap dest = MakeBitmap24(dw, dw, 0, 0, 0);
                EXPECT_EQ(ResampleBitmap(source, dest, f.Filter, f.Width), "") << f.Name;
            }
}

TEST(ResampleBitmap, ConvertsPalettedSourcesTo24Bits) {
    TBitmap source;
    source.SetPixelFormat(TPixelFormat::pf4bit);
    source.SetSize(3, 1);
    source.SetPalette({{1, 2, 3, 0}, {40, 50, 60, 0}});
    source.ScanLine(0)[0] = 0x10;  // pixels 1, 0
    source.ScanLine(0)[1] = 0x10;  // pixel 1
    TBitmap dest = MakeBitmap24(3, 1, 0, 0, 0);
    ASSERT_EQ(ResampleBitmap(source, dest, BoxFilter, 0.5f), "");
    EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf24bit);
    const uint8_t expected[] = {40, 50, 60, 1, 2, 3, 40, 50, 60};
    for (int b = 0; b < 9; ++b) EXPECT_EQ(dest.ScanLine(0)[b], expected[b]) << b;
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

TEST(WeightTableCache, SharesTablesOnlyForTheSameQuestion) {
    auto a = SharedWeightTable(300, 611, Lanczos3Filter, 3.0f);
    TWeightTable built = BuildWeightTable(300, 611, Lanczos3Filter, 3.0f);
    EXPECT_EQ(a->Start, built.Start);
    EXPECT_EQ(a->Count, built.Count);
    ASSERT_EQ(a->Items.size(), built.Items.size());
    for (size_t k = 0; k < built.Items.size(); ++k) {
        EXPECT_EQ(a->Items[k].Pixel, built.Items[k].Pixel);
        EXPECT_EQ(a->Items[k].Weight, built.Items[k].Weight);
    }
    EXPECT_EQ(SharedWeightTable(300, 611, Lanczos3Filter, 3.0f), a);
    EXPECT_NE(SharedWeightTable(300, 611, Lanczos3Filter, 2.0f), a);
    EXPECT_NE(SharedWeightTable(300, 611, MitchellFilter, 3.0f), a);
    EXPECT_NE(SharedWeightTable(301, 611, Lanczos3Filter, 3.0f), a);
    EXPECT_NE(SharedWeightTable(300, 612, Lanczos3Filter, 3.0f), a);
    // Enough other questions push the first one out; a new one is built.
    for (int n = 0; n < 20; ++n) SharedWeightTable(100 + n, 611, TriangleFilter, 1.0f);
    auto again = SharedWeightTable(300, 611, Lanczos3Filter, 3.0f);
    EXPECT_NE(again, a);
    EXPECT_EQ(again->Items.size(), built.Items.size());
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// Lists whose every accumulation step adds exactly in double, so that a
// single-precision fused multiply-add gives the same float.
TEST(SingleStepIsExact, DependsOnTheSmallestWeightAndTheSumOfMagnitudes) {
    struct TCase { std::vector<float> weights; bool exact; };
    const TCase cases[] = {
        {{}, true},
        {{1.0f}, true},
        {{0.25f, 0.5f, 0.25f}, true},
        {{-0.0625f, 0.5625f, 0.5625f, -0.0625f}, true},
        {{0.5f, 0x1p-21f, 0.5f}, true},        // 2 * 255 * 1.0... < 2^9: exponents down to -21
        {{0.5f, 0x1p-22f, 0.5f}, false},       // one exponent too small
        {{0.5f, -1e-8f, 0.5f}, false},         // Lanczos near a zero crossing
        {{2.0f, 2.0f, 0x1p-19f}, true},        // sum 4: 2 * 255 * 4 < 2^11, down to -19
        {{2.0f, 2.0f, 0x1p-20f}, false},
    };
    for (const TCase& c : cases) {
        std::vector<TSourceWeight> items;
        for (float w : c.weights) items.push_back({0, w});
        EXPECT_EQ(SingleStepIsExact(items.data(), static_cast<int>(items.size())), c.exact)
            << c.weights.size() << " weights";
    }
    // A Lanczos3 halving has mostly such lists; a table records each.
    TWeightTable table = BuildWeightTable(3000, 6000, Lanczos3Filter, 3.0f);
    ASSERT_EQ(table.SingleExact.size(), table.Start.size());
    size_t exact = 0;
    for (uint8_t e : table.SingleExact) exact += e;
    EXPECT_GT(exact, table.SingleExact.size() / 2);
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// The 16-bit passes against the 8-bit ones on the same picture scaled by 257:
// within two levels of 8 bits everywhere (the 8-bit passes round their rows
// between the passes), for reductions and enlargements, and
// the same samples on one thread and on several.
TEST(DeepResample, AgreesWithTheEightBitPassesAndAcrossThreads) {
    const struct { int sw, sh, dw, dh; } cases[] = {{97, 61, 40, 25}, {40, 30, 121, 77}, {300, 7, 31, 19}, {1, 50, 3, 9}};
    for (const auto& c : cases) {
        TBitmap source;
        source.SetPixelFormat(TPixelFormat::pf24bit);
        source.SetSize(c.sw, c.sh);
        uint32_t seed = 12345u + static_cast<uint32_t>(c.sw);
        for (int y = 0; y < c.sh; ++y)
            for (int x = 0; x < c.sw * 3; ++x) source.ScanLine(y)[x] = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        TDeepPixels deep;
        deep.SetSize(c.sw, c.sh);
        for (int y = 0; y < c.sh; ++y)
            for (int x = 0; x < c.sw * 3; ++x) deep.Row(y)[x] = static_cast<uint16_t>(source.ScanLine(y)[x] * 257);
        TBitmap eight;
        eight.SetPixelFormat(TPixelFormat::pf24bit);
        eight.SetSize(c.dw, c.dh);
        ASSERT_EQ(ResampleBitmap(source, eight, Lanczos3Filter, 3.0f), "");
        TDeepPixels one, two;
        one.SetSize(c.dw, c.dh);
        two.SetSize(c.dw, c.dh);
        TDeepPixelsRows rowsOne(deep), rowsTwo(deep);
        ResampleDeep(rowsOne, one, Lanczos3Filter, 3.0f, 1);
        ResampleDeep(rowsTwo, two, Lanczos3Filter, 3.0f, 3);
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw * 3; ++x) {
                ASSERT_EQ(one.Row(y)[x], two.Row(y)[x]) << c.sw << "x" << c.sh;
                ASSERT_NEAR(one.Row(y)[x] / 257.0, eight.ScanLine(y)[x], 2.0) << c.sw << "x" << c.sh << " at " << x << "," << y;
            }
    }
}

// Every instruction set this processor has gives the plain kernels'
// samples exactly, for reductions and enlargements, on one thread and three.
TEST(DeepResample, EveryInstructionSetGivesThePlainSamples) {
    const struct { int sw, sh, dw, dh; } cases[] = {{203, 61, 67, 20}, {37, 29, 150, 101}, {640, 3, 17, 9}};
    for (const auto& c : cases) {
        TDeepPixels source;
        source.SetSize(c.sw, c.sh);
        uint32_t seed = 777u + static_cast<uint32_t>(c.dw);
        for (int y = 0; y < c.sh; ++y)
            for (int x = 0; x < c.sw * 3; ++x) source.Row(y)[x] = static_cast<uint16_t>((seed = seed * 1103515245u + 12345u) >> 16);
        std::vector<std::vector<uint16_t>> results;
        for (int level = 0; level <= static_cast<int>(BestSimdLevel()); ++level)
            for (const int threads : {1, 3}) {
                SetSimdLevel(static_cast<TSimdLevel>(level));
                TDeepPixels out;
                out.SetSize(c.dw, c.dh);
                TDeepPixelsRows rows(source);
                ResampleDeep(rows, out, MitchellFilter, 2.0f, threads);
                results.emplace_back(out.Row(0), out.Row(0) + static_cast<size_t>(c.dw) * c.dh * 3);
                EXPECT_EQ(results.back(), results.front()) << SimdLevelName(static_cast<TSimdLevel>(level)) << ", " << threads
                                                           << " threads, " << c.sw << "x" << c.sh;
            }
        SetSimdLevel(BestSimdLevel());
    }
}

// A source that ends early: the rows it did not deliver are black.
TEST(DeepResample, RowsNotDeliveredAreBlack) {
    TDeepPixels grey;
    grey.SetSize(8, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 24; ++x) grey.Row(y)[x] = 40000;
    class TShort : public TDeepPixelsRows {
    public:
        using TDeepPixelsRows::TDeepPixelsRows;
        int Height() const override { return 80; }
    } rows(grey);
    TDeepPixels out;
    out.SetSize(8, 80);
    ResampleDeep(rows, out, Lanczos3Filter, 3.0f, 2);
    EXPECT_NEAR(out.Row(10)[0], 40000, 2);
    EXPECT_EQ(out.Row(70)[0], 0);
}

}  // namespace
}  // namespace quorix
