// Every fast path of the resampler gives the bytes of the plain one.
#include "Resample.h"
#include "ResampleKernels.h"
#include "ResampleStream.h"
#include "RowSource.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

namespace quorix {
namespace {

// Restores the instruction set and thread count a test changed.
class FastPath : public ::testing::Test {
protected:
    void TearDown() override {
        SetSimdLevel(BestSimdLevel());
        SetResampleThreads(0);
    }
    static TBitmap Run(const TBitmap& source, int dw, int dh, int filter, TSimdLevel level, int threads) {
        SetSimdLevel(level);
        SetResampleThreads(threads);
        TBitmap copy = source, dest;
        dest.SetSize(dw, dh);
        const TResampleFilter& f = ResampleFilters[filter];
        EXPECT_EQ(ResampleBitmap(copy, dest, f.Filter, f.Width), "");
        return dest;
    }
    // The definition: the whole horizontal pass, then the whole vertical pass,
    // with the plain loops.
    static TBitmap Reference(const TBitmap& source, int dw, int dh, int filter) {
        SetSimdLevel(TSimdLevel::Plain);
        const TResampleFilter& f = ResampleFilters[filter];
        TBitmap work, dest;
        work.SetSize(dw, source.Height());
        dest.SetSize(dw, dh);
        HorizontalPass(source, work, BuildWeightTable(dw, source.Width(), f.Filter, f.Width));
        VerticalPass(work, dest, BuildWeightTable(dh, source.Height(), f.Filter, f.Width));
        return dest;
    }
    // The first differing byte, or an empty text when the bitmaps are equal.
    static std::string Difference(const TBitmap& a, const TBitmap& b) {
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width() * 3; ++x)
                if (a.ScanLine(y)[x] != b.ScanLine(y)[x]) {
                    std::ostringstream s;
                    s << "row " << y << " byte " << x << ": " << int(a.ScanLine(y)[x]) << " vs " << int(b.ScanLine(y)[x]);
                    return s.str();
                }
        return "";
    }
};

TEST_F(FastPath, EveryInstructionSetAndThreadCountGivesThePlainBytes) {
    struct TSize { int sw, sh, dw, dh; };
    const TSize sizes[] = {
        {97, 61, 40, 23},   {61, 97, 200, 310}, {64, 48, 64, 48},  {1, 1, 5, 3},   {1, 7, 9, 2},
        {2, 2, 1, 1},       {2, 5, 7, 2},       {9, 1, 1, 4},      {33, 17, 1, 1}, {600, 520, 301, 260},
        {512, 600, 523, 611}, {35, 35, 3, 3}};
    std::mt19937 random(2024);
    std::vector<TSimdLevel> levels;
    for (TSimdLevel level : {TSimdLevel::Plain, TSimdLevel::Sse2, TSimdLevel::Avx2, TSimdLevel::Avx512})
        if (level <= BestSimdLevel()) levels.push_back(level);
    int compared = 0;
    for (const TSize& s : sizes) {
        TBitmap source = test::MakeNoise(s.sw, s.sh, random());
        for (int filter = 0; filter < ResampleFilterCount; ++filter) {
            TBitmap plain = Reference(source, s.dw, s.dh, filter);
            for (TSimdLevel level : levels)
                for (int threads : {1, 2, 3}) {
                    TBitmap fast = Run(source, s.dw, s.dh, filter, level, threads);
                    ASSERT_EQ(Difference(plain, fast), "")
                        << ResampleFilters[filter].Name << " " << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh
                        << " " << SimdLevelName(level) << " threads " << threads;
                    ++compared;
                }
        }
    }
    EXPECT_GT(compared, 0);
}

TEST_F(FastPath, SmoothPicturesWithExtremeSumsAgreeToo) {
    // Saturated gradients drive the sums beyond 0 and 255, where clamping happens.
    TBitmap source = test::MakeBitmap24(300, 280, 0, 0, 0);
    for (int y = 0; y < 280; ++y)
        for (int x = 0; x < 300; ++x)
            for (int c = 0; c < 3; ++c) source.ScanLine(y)[3 * x + c] = ((x / (c + 2) + y / 3) & 1) ? 255 : 0;
    for (int filter = 0; filter < ResampleFilterCount; ++filter) {
        TBitmap plain = Reference(source, 517, 131, filter);
        TBitmap fast = Run(source, 517, 131, filter, BestSimdLevel(), 2);
        ASSERT_EQ(Difference(plain, fast), "") << ResampleFilters[filter].Name;
    }
}

TEST_F(FastPath, TransposeOfEightRows) {
    std::vector<std::vector<uint8_t>> rows(8);
    const uint8_t* in[8];
    for (int r = 0; r < 8; ++r) {
        for (int b = 0; b < 37; ++b) rows[r].push_back(static_cast<uint8_t>(r * 37 + b));
        in[r] = rows[r].data();
    }
    std::vector<uint8_t> block(37 * 8);
    TransposeEightRows(in, 37, block.data());
    for (int b = 0; b < 37; ++b)
        for (int r = 0; r < 8; ++r) ASSERT_EQ(block[8 * b + r], rows[r][b]) << b << " " << r;
}

// Rows handed out a few at a time, each call's rows valid only for the next two calls.
class TForgetfulSource : public TRowSource {
public:
    explicit TForgetfulSource(const TBitmap& bitmap) : FBitmap(bitmap), FRing(3 * 5) {}
    int Width() const override { return FBitmap.Width(); }
    int Height() const override { return FBitmap.Height(); }
    int KeptReads() const override { return 2; }
    int ReadRows(int maxRows, const uint8_t** rows) override {
        int n = std::min({maxRows, 5, FBitmap.Height() - FNext});
        for (int i = 0; i < n; ++i) {
            std::vector<uint8_t>& slot = FRing[(FReads % 3) * 5 + i];
            slot.assign(FBitmap.ScanLine(FNext + i), FBitmap.ScanLine(FNext + i) + 3 * FBitmap.Width());
            rows[i] = slot.data();
        }
        // What an earlier call handed out and may no longer be read is spoilt.
        for (int i = 0; i < 5; ++i) {
            std::vector<uint8_t>& old = FRing[((FReads + 1) % 3) * 5 + i];
            std::fill(old.begin(), old.end(), 0xEE);
        }
        ++FReads;
        FNext += n;
        return n;
    }

private:
    const TBitmap& FBitmap;
    std::vector<std::vector<uint8_t>> FRing;
    int FNext = 0, FReads = 0;
};

TEST_F(FastPath, StreamingSourceNeverReadsRowsItHasTakenBack) {
    TBitmap source = test::MakeNoise(700, 431, 77);
    TBitmap plain = Reference(source, 333, 250, 6);
    for (int threads : {1, 2}) {
        SetResampleThreads(threads);
        SetSimdLevel(BestSimdLevel());
        TForgetfulSource rows(source);
        TBitmap dest;
        dest.SetSize(333, 250);
        ASSERT_EQ(ResampleRows(rows, dest, Lanczos3Filter, 3.0f), "");
        EXPECT_EQ(Difference(plain, dest), "") << "threads " << threads;
    }
}

TEST_F(FastPath, ErrorsOfTheSourcePassOnAndLeaveNoThreadBehind) {
    class TFailing : public TRowSource {
    public:
        int Width() const override { return 800; }
        int Height() const override { return 600; }
        int KeptReads() const override { return 3; }
        int ReadRows(int, const uint8_t** rows) override {
            if (++FCalls > 4) throw std::runtime_error("decoder gave up");
            for (int i = 0; i < 16; ++i) rows[i] = FRow.data();
            return 16;
        }
    private:
        std::vector<uint8_t> FRow = std::vector<uint8_t>(2400, 9);
        int FCalls = 0;
    };
    for (int threads : {1, 2}) {
        SetResampleThreads(threads);
        TFailing source;
        TBitmap dest;
        dest.SetSize(100, 100);
        EXPECT_THROW(ResampleRows(source, dest, TriangleFilter, 1.0f), std::runtime_error);
    }
}

// Each report covers more rows, the last one all of them, and a row reported
// as done does not change afterwards.
TEST_F(FastPath, FinishedRowsAreReportedInOrderAndStayAsReported) {
    TBitmap source = test::MakeNoise(640, 480, 5);
    for (bool streamed : {false, true})
        for (int threads : {1, 2}) {
            SetResampleThreads(threads);
            TBitmap dest;
            dest.SetSize(300, 200);
            std::vector<int> reports;
            std::vector<std::vector<uint8_t>> seen(200);
            TRowsDone done = [&](int rows) {
                for (int y = reports.empty() ? 0 : reports.back(); y < rows; ++y)
                    seen[y].assign(dest.ScanLine(y), dest.ScanLine(y) + 900);
                reports.push_back(rows);
            };
            TBitmapRowSource whole(source);
            TForgetfulSource pieces(source);
            TRowSource& rows = streamed ? static_cast<TRowSource&>(pieces) : whole;
            ASSERT_EQ(ResampleRows(rows, dest, Lanczos3Filter, 3.0f, done), "");
            ASSERT_FALSE(reports.empty());
            EXPECT_EQ(reports.back(), 200);
            EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
            EXPECT_EQ(std::adjacent_find(reports.begin(), reports.end()), reports.end());
            if (streamed || threads == 1) {
                EXPECT_GT(reports.size(), 5u) << "reported as the rows come";
            }
            for (int y = 0; y < 200; ++y)
                ASSERT_TRUE(std::equal(seen[y].begin(), seen[y].end(), dest.ScanLine(y)))
                    << "row " << y << " streamed " << streamed << " threads " << threads;
        }
}

// A source that ends before its height: the missing rows count as black,
// whether one thread streams the rows or several split them into bands.
TEST_F(FastPath, RowsASourceNeverDeliversCountAsBlack) {
    class TShortSource : public TRowSource {
    public:
        TShortSource(const TBitmap& bitmap, int delivered) : FBitmap(bitmap), FDelivered(delivered) {}
        int Width() const override { return FBitmap.Width(); }
        int Height() const override { return FBitmap.Height(); }
        int KeptReads() const override { return INT_MAX; }
        int ReadRows(int maxRows, const uint8_t** rows) override {
            int n = 0;
            for (; n < maxRows && FNext < FDelivered; ++n) rows[n] = FBitmap.ScanLine(FNext++);
            return n;
        }

    private:
        const TBitmap& FBitmap;
        int FDelivered, FNext = 0;
    };
    TBitmap source = test::MakeNoise(640, 480, 12);
    TBitmap blackened = source;
    for (int y = 300; y < 480; ++y) std::memset(blackened.ScanLine(y), 0, 640 * 3);
    TBitmap expected = Reference(blackened, 320, 240, 6);
    for (int threads : {1, 2}) {
        SetResampleThreads(threads);
        SetSimdLevel(BestSimdLevel());
        TShortSource rows(source, 300);
        TBitmap dest;
        dest.SetSize(320, 240);
        ASSERT_EQ(ResampleRows(rows, dest, Lanczos3Filter, 3.0f), "");
        EXPECT_EQ(Difference(expected, dest), "") << "threads " << threads;
    }
}

// Lists with weights too small for single-precision sums, next to lists
// without: each destination pixel takes its own path, and the bytes agree.
TEST_F(FastPath, ListsWithTinyWeightsKeepTheDoubleSteps) {
    const TFilterProc spiky = [](float x) {
        float a = std::fabs(x);
        if (a >= 2.0f) return 0.0f;
        if (std::fmod(a * 7.0f, 1.0f) < 0.15f) return 3e-9f;
        return a < 1.0f ? 1.0f - a : 0.0f;
    };
    TBitmap source = test::MakeNoise(700, 400, 21);
    TBitmap work, expected;
    work.SetSize(333, 400);
    expected.SetSize(333, 190);
    SetSimdLevel(TSimdLevel::Plain);
    TWeightTable h = BuildWeightTable(333, 700, spiky, 2.0f), v = BuildWeightTable(190, 400, spiky, 2.0f);
    HorizontalPass(source, work, h);
    VerticalPass(work, expected, v);
    const size_t exact = std::count(h.SingleExact.begin(), h.SingleExact.end(), 1);
    ASSERT_GT(exact, 0u);
    ASSERT_LT(exact, h.SingleExact.size());
    for (TSimdLevel level : {TSimdLevel::Sse2, TSimdLevel::Avx2, TSimdLevel::Avx512}) {
        if (level > BestSimdLevel()) continue;
        for (int threads : {1, 2}) {
            SetSimdLevel(level);
            SetResampleThreads(threads);
            TBitmap copy = source, dest;
            dest.SetSize(333, 190);
            ASSERT_EQ(ResampleBitmap(copy, dest, spiky, 2.0f), "");
            EXPECT_EQ(Difference(expected, dest), "") << SimdLevelName(level) << " threads " << threads;
        }
    }
}

TEST(StreamingPasses, KeepsOnlyTheRowsStillToBeRead) {
    struct TCase { int sourceHeight, destHeight, filter, most; };
    const TCase cases[] = {
        {4000, 2000, 6, 16 + 13},  // Lanczos3 halving: a strip and the window it reads
        {4000, 8000, 6, 16 + 7},   // enlarging: six rows of reach
        {4000, 1, 0, 4000},        // one row reads everything
        {3, 1000, 1, 3},           // never more than the source
    };
    for (const TCase& c : cases) {
        const TResampleFilter& f = ResampleFilters[c.filter];
        TWeightTable table = BuildWeightTable(c.destHeight, c.sourceHeight, f.Filter, f.Width);
        const int rows = RingRows(table, TBand{0, c.destHeight, 0, c.sourceHeight}, 16);
        EXPECT_LE(rows, c.most) << c.sourceHeight << " -> " << c.destHeight;
        EXPECT_GE(rows, std::min(16, c.sourceHeight)) << c.sourceHeight << " -> " << c.destHeight;
    }
}

// Strips of every size up to the most the ring was made for, and bands of
// destination rows, against the two whole passes.
TEST(StreamingPasses, StripsOfAnySizeAndBandsGiveTheWholePassBytes) {
    std::mt19937 random(99);
    struct TSize { int sw, sh, dw, dh; };
    for (const TSize& s : {TSize{90, 200, 41, 57}, TSize{50, 40, 77, 123}, TSize{30, 300, 30, 9}}) {
        TBitmap source = test::MakeNoise(s.sw, s.sh, random());
        for (int filter : {0, 3, 6}) {
            const TResampleFilter& f = ResampleFilters[filter];
            TWeightTable h = BuildWeightTable(s.dw, s.sw, f.Filter, f.Width);
            TWeightTable v = BuildWeightTable(s.dh, s.sh, f.Filter, f.Width);
            const TPassKernels& kernels = KernelsFor(TSimdLevel::Plain);
            TBitmap work, whole, streamed;
            work.SetSize(s.dw, s.sh);
            whole.SetSize(s.dw, s.dh);
            streamed.SetSize(s.dw, s.dh);
            HorizontalPass(source, work, h);
            VerticalPass(work, whole, v);
            const int split = s.dh / 3;
            for (TBand band : {BandFor(v, 0, split), BandFor(v, split, s.dh)}) {
                TStreamingPasses passes(h, v, kernels, streamed, s.sw, s.sh, band, 16);
                for (int y = band.FirstSource; y < band.LastSource;) {
                    const int n = std::min(1 + static_cast<int>(random() % 16), band.LastSource - y);
                    std::vector<const uint8_t*> rows;
                    for (int r = 0; r < n; ++r) rows.push_back(source.ScanLine(y + r));
                    passes.Take(rows.data(), n);
                    y += n;
                }
                passes.Finish();
            }
            for (int y = 0; y < s.dh; ++y)
                ASSERT_EQ(0, std::memcmp(whole.ScanLine(y), streamed.ScanLine(y), s.dw * 3))
                    << f.Name << " " << s.sh << " -> " << s.dh << " row " << y;
        }
    }
}

}  // namespace
}  // namespace quorix
