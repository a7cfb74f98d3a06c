// Damaged and crafted pictures: each costs only itself, is refused from its
// header where the header already says too much, and never crashes the job.
#include "HostilePictures.h"
#include "PixelMemory.h"
#include "Resample.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace quorix {
namespace {

class HostilePictureTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(Dir.File("Output")); }
    void TearDown() override { SetResampleThreads(0); }
    std::string Out() const { return Dir.File("Output/"); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        test::WriteFileBytes(Dir.File(name), bytes);
        return Dir.File(name);
    }
    bool Written(const std::string& name) const { return std::filesystem::exists(Out() + name); }
    test::TTempDir Dir;
};

// A cut download: the encoder that was fed the first rows is abandoned while
// the decoder fails (this freed libjpeg's first output buffer twice).
TEST_F(HostilePictureTest, TruncatedJpegCostsOnlyItselfOnOneAndTwoThreads) {
    test::WriteJpeg(Dir.File("whole.jpg"), test::MakeNoise(800, 600, 7), 95);
    const std::vector<uint8_t> whole = test::ReadFileBytes(Dir.File("whole.jpg"));
    TResizeOptions o;
    o.Mode = TResizeMode::XIncrease;  // a large output buffer, grown while the decode still runs
    o.IncFactor = 2.0;
    for (int threads : {1, 2})
        for (int percent : {20, 50, 80, 95}) {
            SetResampleThreads(threads);
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * percent / 100));
            const std::string source = Write("cut.jpg", cut);
            const TResizeResult r = ResizeImage(source, Out(), o);
            EXPECT_EQ(r.Outcome, TResizeOutcome::CannotOpen) << percent << "% on " << threads;
            EXPECT_EQ(r.Log, std::vector<std::string>{"ERROR! Cannot open picture: " + source});
            EXPECT_NE(r.Reason.find("JPEG error"), std::string::npos) << r.Reason;
            EXPECT_FALSE(Written("cut.jpg"));
            EXPECT_EQ(ResizeImage(Dir.File("whole.jpg"), Out(), o).Outcome, TResizeOutcome::Written);
        }
}

TEST_F(HostilePictureTest, JpegWithoutItsDataIsRefusedNotWrittenGrey) {
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"no-scan.jpg", test::JpegAnnouncing(64, 64, true)},         // ends after the scan header
        {"missing-data.jpg", test::JpegAnnouncing(640, 480, false)},  // data for 16 x 16, end marker present
        {"scan-bomb.jpg", test::JpegWithScans(MaxJpegScans + 1)},
    };
    for (const auto& c : cases) {
        const TResizeResult r = ResizeImage(Write(c.name, c.bytes), Out(), TResizeOptions());
        EXPECT_EQ(r.Outcome, TResizeOutcome::CannotOpen) << c.name;
        EXPECT_FALSE(Written(c.name)) << c.name;
    }
    // Complete data with bad bytes before a restart marker is written, with a warning.
    std::vector<uint8_t> damaged = test::JpegWithRestarts(test::MakeNoise(64, 48, 2));
    const uint8_t restart[] = {0xFF, 0xD1};
    const auto at = std::search(damaged.begin(), damaged.end(), std::begin(restart), std::end(restart));
    ASSERT_NE(at, damaged.end());
    damaged.erase(at - 10, at);
    const std::string source = Write("resync.jpg", damaged);
    const TResizeResult r = ResizeImage(source, Out(), TResizeOptions());
    EXPECT_EQ(r.Outcome, TResizeOutcome::Written);
    EXPECT_EQ(r.Warnings, std::vector<std::string>{"WARNING! Damaged picture data, decoded past it: " + source});
    EXPECT_EQ(r.Log.back(), r.Warnings.back());
    // Below the limit a progressive file with repeated scans still decodes.
    EXPECT_EQ(ResizeImage(Write("many.jpg", test::JpegWithScans(40)), Out(), TResizeOptions()).Outcome,
              TResizeOutcome::Written);
}

// Memory that runs out while the output picture is made costs that picture:
// the next one, which needs less, is made as usual.
TEST_F(HostilePictureTest, OutOfMemoryForTheOutputCostsOnlyThatPicture) {
    test::WriteJpeg(Dir.File("small.jpg"), test::MakeNoise(100, 80, 3));
    TResizeOptions enlarge;
    enlarge.Mode = TResizeMode::XIncrease;
    enlarge.IncFactor = 4.0;  // 400 x 320 x 3 bytes: more than the limit below
    SetPixelBlockLimit(200000);
    const TResizeResult failed = ResizeImage(Dir.File("small.jpg"), Out(), enlarge);
    const TResizeResult made = ResizeImage(Dir.File("small.jpg"), Out(), TResizeOptions());
    SetPixelBlockLimit(0);
    EXPECT_EQ(failed.Outcome, TResizeOutcome::CannotOpen);
    EXPECT_EQ(failed.Reason, "Out of memory");
    EXPECT_EQ(made.Outcome, TResizeOutcome::Written);
    EXPECT_EQ(test::LoadAs24(Out() + "small.jpg").Width(), 50);
}

// The guard and the pixel limit look at the header: these files are a few
// bytes and must be refused before anything of their size is allocated.
TEST_F(HostilePictureTest, EveryFormatIsJudgedByItsHeader) {
    const struct {
        const char* name;
        std::vector<uint8_t> huge, overLimit;
    } cases[] = {
        {"a.jpg", test::JpegAnnouncing(17000, 17000, true), test::JpegAnnouncing(20000, 20000, true)},
        {"a.png", test::PngAnnouncing(17000, 17000, false), test::PngAnnouncing(20000, 20000, false)},
        {"a.bmp", test::BmpAnnouncing(17000, 17000), test::BmpAnnouncing(20000, 20000)},
        {"a.gif", test::GifAnnouncing(17000, 17000), test::GifAnnouncing(20000, 20000)},
        {"a.j2k", test::J2kAnnouncing(17000, 17000), test::J2kAnnouncing(20000, 20000)},
    };
    TResizeOptions guarded, open;
    open.Protect = false;
    for (const auto& c : cases) {
        EXPECT_EQ(ResizeImage(Write(c.name, c.huge), Out(), guarded).Outcome, TResizeOutcome::HugeImage) << c.name;
        const TResizeResult r = ResizeImage(Write(c.name, c.overLimit), Out(), open);
        EXPECT_EQ(r.Outcome, TResizeOutcome::CannotOpen) << c.name;
        EXPECT_NE(r.Reason.find("too large"), std::string::npos) << c.name << ": " << r.Reason;
    }
    TPicture preview;
    TDecodeLimits limits;
    limits.Protect = true;
    EXPECT_THROW(preview.LoadFromFile(Write("b.png", test::PngAnnouncing(17000, 17000, false)), limits), EHugeImage);
}

}  // namespace
}  // namespace quorix
