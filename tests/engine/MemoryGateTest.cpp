#include "FormatPictures.h"
#include "HostilePictures.h"
#include "Graphic.h"
#include "MemoryGate.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace quorix {
namespace {

// Each format tells its size from its first bytes; the estimate follows it,
// and a header that tells nothing makes the picture run alone.
TEST(MemoryGate, TheEstimateComesFromEachFormatsHeader) {
    test::TTempDir dir;
    test::WriteJpeg(dir.File("a.jpg"), test::MakeGradient(300, 200));
    const struct {
        std::string name;
        std::vector<uint8_t> bytes;
        int64_t pixels;
    } cases[] = {
        {"a.jpg", test::ReadFileBytes(dir.File("a.jpg")), 300 * 200},
        {"b.png", test::PngAnnouncing(30000, 10000, false), int64_t{30000} * 10000},
        {"c.bmp", test::BmpAnnouncing(5000, 3000), 5000 * 3000},
        {"d.gif", test::GifAnnouncing(4000, 2000), 4000 * 2000},
        {"e.j2k", test::J2kAnnouncing(7000, 5000), 7000 * 5000},
        {"g.avif", test::HeifBytes(test::MakeSamples(64, 48, 3, 8), "av1", 6), 64 * 48},
        {"h.heic", test::HeifBytes(test::MakeSamples(64, 48, 3, 10), "hevc", 1), 64 * 48},
        {"i.webp", test::WebPBytes(test::MakeSamples(64, 48, 4, 8)), 64 * 48},
        {"j.tif", test::TiffBytes({{test::MakeSamples(64, 48, 3, 16), 1, false, false}}), 64 * 48},
        {"k.jxl", test::JpegXlBytes(test::MakeSamples(64, 48, 3, 8)), 64 * 48},
    };
    TResizeOptions o;  // halve
    for (const auto& c : cases) {
        test::WriteFileBytes(dir.File(c.name), c.bytes);
        const int64_t estimate = PictureMemoryEstimate(dir.File(c.name), o);
        EXPECT_GE(estimate, c.pixels + c.pixels / 4 * 3) << c.name;  // at least the source and the half-size output
        EXPECT_LE(estimate, c.pixels * 20 + (int64_t(64) << 20)) << c.name;
    }
    // What the save holds counts too: the same picture costs more as JPEG XL.
    TResizeOptions jxl = o;
    jxl.Format = "jxl";
    const int64_t halfPixels = 150 * 100;
    EXPECT_EQ(PictureMemoryEstimate(dir.File("a.jpg"), jxl) - PictureMemoryEstimate(dir.File("a.jpg"), o),
              static_cast<int64_t>((FindOutputFormat("jxl").SaveBytesPerPixel - FindOutputFormat("jpg").SaveBytesPerPixel) * halfPixels));
    EXPECT_GT(FindOutputFormat("jxl").SaveBytesPerPixel, FindOutputFormat("jpg").SaveBytesPerPixel);
    // Several outputs made one after the other from one decode: the decode and the largest of them.
    TResizeOptions small = o;
    small.DecFactor = 8;
    const std::vector<TPictureOutput> three{{"a", small}, {"b", jxl}, {"c", o}};
    EXPECT_EQ(PictureMemoryEstimate(dir.File("a.jpg"), three), PictureMemoryEstimate(dir.File("a.jpg"), jxl));
    test::WriteFileBytes(dir.File("f.png"), {'n', 'o', 't'});
    EXPECT_EQ(PictureMemoryEstimate(dir.File("f.png"), o), -1);
    EXPECT_GT(AvailableMemory(), 0);
}

// A picture that does not fit beside the one in flight waits for it, and
// later pictures do not overtake it.
TEST(MemoryGate, ABigPictureWaitsAndIsNotOvertaken) {
    TMemoryGate gate(100);
    EXPECT_EQ(gate.Acquire(0, 80), 80);
    std::atomic<int> admitted{0};
    std::thread big([&] {
        gate.Release(gate.Acquire(1, 50));
        admitted |= 1;
    });
    std::thread small([&] {
        gate.Release(gate.Acquire(2, 10));
        admitted |= 2;
    });
    gate.WaitForWaiting(2);
    EXPECT_EQ(admitted.load(), 0);  // 10 would fit, but not before ticket 1
    gate.Release(80);
    big.join();
    small.join();
    EXPECT_EQ(admitted.load(), 3);
    EXPECT_EQ(gate.Acquire(3, -1), 100);  // alone, even the unknown fits
}

}  // namespace
}  // namespace quorix
