#include "Bmp.h"
#include "Graphic.h"
#include "Jpeg.h"
#include "Png.h"
#include "QuorixError.h"
#include "Resample.h"
#include "WebP.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>

namespace quorix {
namespace {

using test::TTempDir;

class ResizeImageTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(Dir.File("Output")); }
    std::string Out() const { return Dir.File("Output/"); }
    std::string Picture(const std::string& name, int w = 64, int h = 48) {
        test::WriteJpeg(Dir.File(name), test::MakeGradient(w, h));
        return Dir.File(name);
    }
    std::string Announcing(const std::string& name, int w, int h) {
        test::WriteFileBytes(Dir.File(name), test::JpegAnnouncing(w, h, true));
        return Dir.File(name);
    }
    size_t OutputCount() const {
        size_t n = 0;
        for (auto& e : std::filesystem::directory_iterator(Out())) n += e.is_regular_file();
        return n;
    }
    TTempDir Dir;
};

// Never enlarge, in every mode: a target beyond the source on either side
// keeps the source's size and its very pixels; a smaller one is resampled.
TEST_F(ResizeImageTest, NeverEnlargeInEveryMode) {
    const TBitmap pixels = test::MakeNoise(40, 30, 9);
    TBmpImage bmp;
    bmp.Assign(pixels);
    bmp.SaveToFile(Dir.File("small.bmp"));
    const struct { TResizeMode mode; int w, h; bool kept; } cases[] = {
        {TResizeMode::XIncrease, 40, 30, true},  {TResizeMode::XDecrease, 20, 15, false},
        {TResizeMode::SameSize, 40, 30, true},   {TResizeMode::FitWithin, 27, 20, false},  // into 80 x 20: smaller
        {TResizeMode::SameWidth, 40, 30, true},  {TResizeMode::SameHeight, 13, 10, false},
    };
    for (const auto& c : cases) {
        TResizeOptions o;
        o.Mode = c.mode;
        o.OnlyShrink = true;
        o.Format = "bmp";
        o.Width = 80;  // wider, lower: beyond on one side only
        o.Height = 20;
        o.WH = c.mode == TResizeMode::SameHeight ? 10 : 100;
        const TResizeResult result = ResizeImage(Dir.File("small.bmp"), Out(), o);
        ASSERT_EQ(result.Outcome, TResizeOutcome::Written);
        const TBitmap out = test::LoadAs24(result.OutputName);
        EXPECT_EQ(out.Width(), c.w) << static_cast<int>(c.mode);
        EXPECT_EQ(out.Height(), c.h) << static_cast<int>(c.mode);
        if (c.kept) {
            for (int y = 0; y < 30; ++y) ASSERT_EQ(std::memcmp(out.ScanLine(y), pixels.ScanLine(y), 40 * 3), 0);
        }
    }
}

TEST_F(ResizeImageTest, WritesTheResizedJpegAndKeepsTheDecodedSource) {
    std::string source = Picture("photo.jpeg", 101, 75);
    TResizeOptions o;
    TPicture picture;
    TResizeResult r = ResizeImage(source, Out(), o, picture);
    EXPECT_EQ(r.Outcome, TResizeOutcome::Written);
    ASSERT_EQ(r.Log, std::vector<std::string>{"File resized and saved as: " + Out() + "photo.jpg"});
    EXPECT_EQ(picture.Width(), 101);
    TJPEGImage written;
    written.LoadFromFile(Out() + "photo.jpg");
    EXPECT_EQ(written.Width(), 50);  // 50.5 to even
    EXPECT_EQ(written.Height(), 38);  // 37.5 to even
    EXPECT_EQ(written.Header().Progressive, false);
    EXPECT_EQ(OutputCount(), 1u);
}

// The JPEG written while the rows are made is the one encoding the finished
// picture gives, whether the picture is read as it decodes or whole.
TEST_F(ResizeImageTest, EncodingAsTheRowsComeGivesTheFinishedPicturesBytes) {
    test::WriteJpeg(Dir.File("big.jpg"), test::MakeNoise(900, 700, 8), 90);
    TBmpImage bmp;
    bmp.Assign(test::MakeNoise(900, 700, 9));
    bmp.SaveToFile(Dir.File("big.bmp"));
    for (const char* name : {"big.jpg", "big.bmp"})
        for (int threads : {1, 2}) {
            SetResampleThreads(threads);
            TResizeOptions o;
            o.Quality = 55;
            ASSERT_EQ(ResizeImage(Dir.File(name), Out(), o).Outcome, TResizeOutcome::Written);
            TPicture picture;
            picture.LoadFromFile(Dir.File(name));
            TOrvelBitmap finished;
            finished.SetSize(450, 350);
            const TResampleFilter& f = ResampleFilters[DefaultResampleFilter];
            ASSERT_EQ(ResampleGraphic(*picture.Graphic(), finished, f.Filter, f.Width), "");
            TJPEGImage expected;
            expected.CompressionQuality = 55;
            expected.CompressFrom(finished);
            EXPECT_EQ(test::ReadFileBytes(Out() + "big.jpg"), expected.Data()) << name << " threads " << threads;
        }
    SetResampleThreads(0);
}

TEST_F(ResizeImageTest, FailureTableOfThePipeline) {
    std::string good = Picture("good.jpg");
    test::WriteFileBytes(Dir.File("broken.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    test::WriteFileBytes(Dir.File("notes.txt"), {'h', 'i'});
    std::string huge = Announcing("huge.jpg", 10001, 10001);
    TResizeOptions o;
    const struct { std::string source; TResizeOutcome outcome; std::string line; } cases[] = {
        {Dir.File("missing.jpg"), TResizeOutcome::SourceMissing, "File does not exist " + Dir.File("missing.jpg")},
        {"", TResizeOutcome::SourceMissing, "File does not exist "},
        {Dir.File("broken.png"), TResizeOutcome::CannotOpen, "ERROR! Cannot open picture: " + Dir.File("broken.png")},
        {Dir.File("notes.txt"), TResizeOutcome::CannotOpen, "ERROR! Cannot open picture: " + Dir.File("notes.txt")},
        {huge, TResizeOutcome::HugeImage, "WARNING! Huge image: " + huge},
    };
    for (const auto& c : cases) {
        TResizeResult r = ResizeImage(c.source, Out(), o);
        EXPECT_EQ(r.Outcome, c.outcome) << c.source;
        EXPECT_EQ(r.Log, std::vector<std::string>{c.line});
    }
    TResizeOptions none = o;
    none.Mode = TResizeMode::None;
    TResizeResult r = ResizeImage(good, Out(), none);
    EXPECT_EQ(r.Log, std::vector<std::string>{"WARNING! No resize mode selected: " + good});
    EXPECT_EQ(OutputCount(), 0u);
}

// Each output of a picture has its own outcome and line, in order; one that
// cannot be made costs only itself.
TEST_F(ResizeImageTest, EachOutputOfAPictureHasItsOwnOutcome) {
    const std::string good = Picture("good.jpg");
    test::WriteFileBytes(Out() + "kept.jpg", {'o', 'l', 'd'});
    const auto output = [](const char* key, const char* name) {
        TPictureOutput o{key, TResizeOptions()};
        o.Options.NameTemplate = name;
        return o;
    };
    std::vector<TPictureOutput> outputs{output("none", "a"), output("kept", "kept"), output("made", "made"),
                                        output("out", "../escaped")};
    outputs[0].Options.Mode = TResizeMode::None;
    outputs[1].Options.Overwrite = false;
    TPicture picture;
    const std::vector<TResizeResult> made = ResizePicture(good, Out(), outputs, picture);
    const struct { TResizeOutcome outcome; std::string line; } expected[] = {
        {TResizeOutcome::NoMode, "WARNING! No resize mode selected: " + good},
        {TResizeOutcome::OutputExists, "WARNING! File already exists (not overwritten): " + Out() + "kept.jpg"},
        {TResizeOutcome::Written, "File resized and saved as: " + Out() + "made.jpg"},
        {TResizeOutcome::SaveFailed, "Cannot save file as: " + Out() + "../escaped.jpg"},
    };
    ASSERT_EQ(made.size(), std::size(expected));
    for (size_t k = 0; k < made.size(); ++k) {
        EXPECT_EQ(made[k].Outcome, expected[k].outcome) << k;
        EXPECT_EQ(made[k].Log, std::vector<std::string>{expected[k].line}) << k;
        EXPECT_EQ(made[k].Key, outputs[k].Key);
    }
    EXPECT_EQ(test::ReadFileBytes(Out() + "kept.jpg"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists(Dir.File("escaped.jpg")));
}

// A picture the guard refuses for one output is still tried for an output
// without the guard; outputs that need it as the refused one say nothing more.
TEST_F(ResizeImageTest, AReadRefusedForSomeOutputsIsTriedForTheOthers) {
    const std::string huge = Announcing("huge.jpg", 10001, 10001);
    std::vector<TPictureOutput> outputs(3);
    outputs[1].Options.Protect = false;
    TPicture picture;
    const std::vector<TResizeResult> made = ResizePicture(huge, Out(), outputs, picture);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0].Outcome, TResizeOutcome::HugeImage);
    EXPECT_EQ(made[1].Outcome, TResizeOutcome::CannotOpen);  // past the guard: its data is cut
    EXPECT_EQ(ResizePicture(Dir.File("gone.jpg"), Out(), outputs, picture).size(), 1u);
    EXPECT_EQ(OutputCount(), 0u);
}

// --fast: a large reduction of a JPEG or WebP decodes it smaller first; the output
// has the size it always has and nearly the same pixels, a turned photo
// included. A reduction that no scale leaves twice the output on each side
// decodes in full: the same bytes.
TEST_F(ResizeImageTest, FastDecodeOfLargeReductions) {
    const TBitmap photo = test::MakeGradient(1600, 1200);
    test::WriteJpeg(Dir.File("photo.jpg"), photo, 92);
    const std::vector<uint8_t> stored = test::ReadFileBytes(Dir.File("photo.jpg"));
    test::WriteFileBytes(Dir.File("turned.jpg"), test::WithExifOrientation(stored, 6, false));
    TWebPImage webp;
    webp.Quality = 95;
    webp.Assign(photo);
    webp.SaveToFile(Dir.File("photo.webp"));
    const struct { const char* source; int side; bool same; int w, h; } cases[] = {
        {"photo.webp", 160, false, 160, 120},  // scaled by libwebp while decoding
        {"photo.jpg", 160, false, 160, 120},  // decoded at 1/4: 400 x 300, twice 160 x 120 and more
        {"photo.jpg", 100, false, 100, 75},   // at 1/8: 200 x 150, exactly twice
        {"turned.jpg", 160, false, 120, 160},
        {"photo.jpg", 500, true, 500, 375},   // 1/2 would leave 600 < 2 x 500: decoded in full
    };
    for (const auto& c : cases) {
        TResizeOptions o;
        o.Mode = TResizeMode::FitWithin;
        o.Width = o.Height = c.side;
        o.Format = "png";
        const TResizeResult full = ResizeImage(Dir.File(c.source), Dir.File("") , o);
        o.FastDecode = true;
        std::filesystem::create_directory(Dir.File("fast"));
        const TResizeResult fast = ResizeImage(Dir.File(c.source), Dir.File("fast/"), o);
        ASSERT_EQ(fast.Outcome, TResizeOutcome::Written) << c.source;
        EXPECT_EQ(fast.Width, c.w) << c.source;
        EXPECT_EQ(fast.Height, c.h) << c.source;
        EXPECT_EQ(test::ReadFileBytes(fast.OutputName) == test::ReadFileBytes(full.OutputName), c.same) << c.source;
        const TBitmap a = test::LoadAs24(full.OutputName), b = test::LoadAs24(fast.OutputName);
        int64_t sum = 0;
        int largest = 0;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width() * 3; ++x) {
                const int d = std::abs(a.ScanLine(y)[x] - b.ScanLine(y)[x]);
                sum += d;
                largest = std::max(largest, d);
            }
        EXPECT_LT(static_cast<double>(sum) / (a.Width() * a.Height() * 3), 1.0) << c.source;
        EXPECT_LE(largest, 12) << c.source;
    }
}

TEST_F(ResizeImageTest, GuardNeedsBothSidesAboveTheLimit) {
    // The header alone decides; these headers announce pictures without data,
    // so what passes the guard is then refused as damaged.
    struct Case {
        int w, h;
        bool protect;
        TResizeOutcome outcome;
    } cases[] = {
        {12000, 9000, true, TResizeOutcome::CannotOpen},
        {10000, 20000, true, TResizeOutcome::CannotOpen},
        {10001, 10001, true, TResizeOutcome::HugeImage},
        {10001, 10001, false, TResizeOutcome::CannotOpen},
    };
    for (const Case& c : cases) {
        TResizeOptions o;
        o.Protect = c.protect;
        o.Mode = TResizeMode::SameSize;
        o.Width = o.Height = 10;
        EXPECT_EQ(ResizeImage(Announcing("big.jpg", c.w, c.h), Out(), o).Outcome, c.outcome) << c.w << "x" << c.h;
    }
    EXPECT_EQ(OutputCount(), 0u);
}

TEST_F(ResizeImageTest, OverwriteOffKeepsTheExistingFile) {
    std::string source = Picture("a.png.jpg");
    test::WriteFileBytes(Out() + "a.png.jpg", {'o', 'l', 'd'});
    TResizeOptions o;
    o.Overwrite = false;
    TResizeResult r = ResizeImage(source, Out(), o);
    EXPECT_EQ(r.Outcome, TResizeOutcome::OutputExists);
    EXPECT_EQ(r.Log, std::vector<std::string>{"WARNING! File already exists (not overwritten): " + Out() + "a.png.jpg"});
    EXPECT_EQ(test::ReadFileBytes(Out() + "a.png.jpg"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    o.Overwrite = true;
    EXPECT_EQ(ResizeImage(source, Out(), o).Outcome, TResizeOutcome::Written);
    EXPECT_GT(test::ReadFileBytes(Out() + "a.png.jpg").size(), 100u);
}

TEST_F(ResizeImageTest, FailedSaveLeavesTheGoodOutputAndNoPartialFile) {
    std::string source = Picture("p.jpg", 400, 300);
    TResizeOptions o;
    o.Mode = TResizeMode::SameSize;
    ASSERT_EQ(ResizeImage(source, Out(), o).Outcome, TResizeOutcome::Written);
    std::vector<uint8_t> good = test::ReadFileBytes(Out() + "p.jpg");
    // A file-size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous;
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit tiny = previous;
    tiny.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &tiny);
    o.Quality = 99;
    TResizeResult r = ResizeImage(source, Out(), o);
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(r.Outcome, TResizeOutcome::SaveFailed);
    EXPECT_EQ(r.Log, std::vector<std::string>{"Cannot save file as: " + Out() + "p.jpg"});
    EXPECT_FALSE(r.SaveError.empty());
    EXPECT_EQ(test::ReadFileBytes(Out() + "p.jpg"), good);
    EXPECT_EQ(OutputCount(), 1u);
    // A folder that does not exist fails the same way.
    TResizeResult missing = ResizeImage(source, Dir.File("nowhere/"), o);
    EXPECT_EQ(missing.Outcome, TResizeOutcome::SaveFailed);
    EXPECT_EQ(missing.Log, std::vector<std::string>{"Cannot save file as: " + Dir.File("nowhere/p.jpg")});
}

TEST_F(ResizeImageTest, ErrorsThatLeaveThePipelineWriteNothing) {
    std::string source = Picture("e.jpg");
    TResizeOptions large;
    large.Mode = TResizeMode::SameSize;
    large.Width = large.Height = 20000;
    try {
        ResizeImage(source, Out(), large);
        FAIL();
    } catch (const EQuorixError& e) {
        EXPECT_STREQ(e.what(), "Image is too large.");
    }
    TResizeOptions zero;
    zero.DecFactor = 0;
    EXPECT_THROW(ResizeImage(source, Out(), zero), EZeroDivide);
    EXPECT_EQ(OutputCount(), 0u);
}

// A graphic that loads as an empty bitmap, to reach the resampler's refusal.
class TEmptyGraphic : public TBitmap {
public:
    void LoadFromStream(std::istream&) override {}
};

TEST_F(ResizeImageTest, ResamplerRefusalIsLoggedAndNothingIsWritten) {
    RegisterFileFormat("qempty", "empty", GraphicFactory<TEmptyGraphic>());
    test::WriteFileBytes(Dir.File("x.qempty"), {0});
    TResizeOptions o;
    o.Mode = TResizeMode::SameSize;
    TResizeResult r = ResizeImage(Dir.File("x.qempty"), Out(), o);
    EXPECT_EQ(r.Outcome, TResizeOutcome::ResizeFailed);
    EXPECT_EQ(r.Log, std::vector<std::string>{"ERROR! Cannot resize picture: " + Dir.File("x.qempty") +
                                              " (Cannot strecth! The image is too small.)"});
    EXPECT_EQ(OutputCount(), 0u);
}

TEST_F(ResizeImageTest, SourcesOfEveryFormatAndOutputsOfEveryFormat) {
    TBitmap picture = test::MakeGradient(30, 20);
    TPngImage png;
    png.Assign(picture);
    png.SaveToFile(Dir.File("s.png"));
    TBmpImage bmp;
    bmp.Assign(picture);
    bmp.SaveToFile(Dir.File("s.bmp"));
    test::TGifLayout gif;
    gif.ScreenWidth = gif.Width = 30;
    gif.ScreenHeight = gif.Height = 20;
    gif.GlobalRgb = {0, 0, 0, 255, 255, 255};
    gif.Indices.assign(600, 1);
    test::WriteGif(Dir.File("s.gif"), gif);
    const struct { const char* source; const char* format; const char* output; } cases[] = {
        {"s.png", "jpg", "s.jpg"}, {"s.gif", "png", "s.png"},
        {"s.bmp", "bmp", "s.bmp"}};
    for (const auto& c : cases) {
        TResizeOptions o;
        o.Format = c.format;
        o.Mode = TResizeMode::SameWidth;
        o.WH = 15;
        TResizeResult r = ResizeImage(Dir.File(c.source), Out(), o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << c.source;
        TBitmap out = test::LoadAs24(Out() + c.output);
        EXPECT_EQ(out.Width(), 15);
        EXPECT_EQ(out.Height(), 10);
    }
    // The lossless outputs hold exactly the resampled pixels.
    TPicture source;
    source.LoadFromFile(Dir.File("s.gif"));
    TOrvelBitmap expected;
    expected.SetSize(15, 10);
    ASSERT_EQ(ResampleGraphic(*source.Graphic(), expected, Lanczos3Filter, 3.0f), "");
    TBitmap written = test::LoadAs24(Out() + "s.png");
    for (int y = 0; y < 10; ++y)
        for (int b = 0; b < 45; ++b) ASSERT_EQ(written.ScanLine(y)[b], expected.ScanLine(y)[b]) << y << " " << b;
}

TEST_F(ResizeImageTest, TransparentPngBecomesBlackAndTurnedJpegComesOutUpright) {
    test::TPngLayout clear;
    clear.Width = 4;
    clear.Height = 2;
    clear.ColorType = 6;
    clear.Rows.assign(4 * 2 * 4, 0);
    for (size_t i = 0; i < clear.Rows.size(); i += 4) clear.Rows[i] = clear.Rows[i + 1] = 250;
    test::WritePng(Dir.File("clear.png"), clear);
    TResizeOptions o;
    o.Format = "bmp";
    o.Mode = TResizeMode::XIncrease;
    ASSERT_EQ(ResizeImage(Dir.File("clear.png"), Out(), o).Outcome, TResizeOutcome::Written);
    TBitmap black = test::LoadAs24(Out() + "clear.bmp");
    EXPECT_EQ(black.Width(), 6);
    for (int y = 0; y < black.Height(); ++y)
        for (int b = 0; b < 18; ++b) ASSERT_EQ(black.ScanLine(y)[b], 0);

    TJPEGImage portrait;
    portrait.Assign(test::MakeGradient(40, 20));
    portrait.Compress();
    test::WriteFileBytes(Dir.File("turned.jpg"), test::WithExifOrientation(portrait.Data(), 6, false));
    TResizeOptions half;
    ASSERT_EQ(ResizeImage(Dir.File("turned.jpg"), Out(), half).Outcome, TResizeOutcome::Written);
    TJPEGImage out;
    out.LoadFromFile(Out() + "turned.jpg");
    EXPECT_EQ(out.Width(), 10);
    EXPECT_EQ(out.Height(), 20);
}

}  // namespace
}  // namespace quorix
