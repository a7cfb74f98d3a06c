#include "Png.h"
#include "QuorixError.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <cstring>
#include <sstream>
#include <zlib.h>

namespace quorix {
namespace {

using test::TPngLayout;
using test::TTempDir;

using test::Bgr;

struct TPngCase {
    const char* Name;
    TPngLayout Layout;
    TPixelFormat Format;  // what assigning to a bitmap gives
    TPngTransparency Mode;
    std::vector<int> Pixel0, Pixel1;  // BGR of the first two pixels after conversion to 24 bits
};

TPngLayout Layout(int width, int colorType, int depth, std::vector<uint8_t> rows) {
    TPngLayout s;
    s.Width = width;
    s.Height = 1;
    s.ColorType = colorType;
    s.BitDepth = depth;
    s.Rows = std::move(rows);
    return s;
}

std::vector<TPngCase> Cases() {
    std::vector<TPngCase> cases;
    cases.push_back({"grey1", Layout(2, 0, 1, {0x40}), TPixelFormat::pf1bit, TPngTransparency::ptmNone, {0, 0, 0}, {255, 255, 255}});
    cases.push_back({"grey2", Layout(2, 0, 2, {0x60}), TPixelFormat::pf8bit, TPngTransparency::ptmNone, {85, 85, 85}, {170, 170, 170}});
    cases.push_back({"grey4", Layout(2, 0, 4, {0xF1}), TPixelFormat::pf4bit, TPngTransparency::ptmNone, {255, 255, 255}, {17, 17, 17}});
    cases.push_back({"grey8", Layout(2, 0, 8, {7, 200}), TPixelFormat::pf8bit, TPngTransparency::ptmNone, {7, 7, 7}, {200, 200, 200}});
    cases.push_back({"grey16", Layout(2, 0, 16, {0xFF, 0xFF, 0x80, 0x00}), TPixelFormat::pf8bit, TPngTransparency::ptmNone, {255, 255, 255}, {128, 128, 128}});
    cases.push_back({"rgb8", Layout(2, 2, 8, {1, 2, 3, 4, 5, 6}), TPixelFormat::pf24bit, TPngTransparency::ptmNone, {3, 2, 1}, {6, 5, 4}});
    cases.push_back({"rgb16", Layout(1, 2, 16, {0xFF, 0xFF, 0, 0, 0x80, 0}), TPixelFormat::pf24bit, TPngTransparency::ptmNone, {128, 0, 255}, {}});
    TPngLayout palette4 = Layout(2, 3, 4, {0x10});
    palette4.PaletteRgb = {10, 20, 30, 40, 50, 60};
    cases.push_back({"palette4", palette4, TPixelFormat::pf4bit, TPngTransparency::ptmNone, {60, 50, 40}, {30, 20, 10}});
    TPngLayout palette2 = Layout(2, 3, 2, {0x40});
    palette2.PaletteRgb = {10, 20, 30, 40, 50, 60};
    cases.push_back({"palette2", palette2, TPixelFormat::pf8bit, TPngTransparency::ptmNone, {60, 50, 40}, {30, 20, 10}});
    // Alpha: composited over black row by row into 24 bits; a fully
    // transparent pixel turns black.
    cases.push_back({"rgba", Layout(2, 6, 8, {200, 100, 50, 255, 200, 100, 50, 0}), TPixelFormat::pf24bit,
                     TPngTransparency::ptmPartial, {50, 100, 200}, {0, 0, 0}});
    cases.push_back({"rgba-half", Layout(1, 6, 8, {200, 100, 50, 128}), TPixelFormat::pf24bit,
                     TPngTransparency::ptmPartial, {25, 50, 100}, {}});
    cases.push_back({"grey-alpha", Layout(1, 4, 8, {100, 51}), TPixelFormat::pf24bit, TPngTransparency::ptmPartial, {20, 20, 20}, {}});
    TPngLayout partial = Layout(2, 3, 8, {0, 1});
    partial.PaletteRgb = {255, 255, 255, 40, 50, 60};
    partial.TrnsAlpha = {51};
    cases.push_back({"palette-partial", partial, TPixelFormat::pf24bit, TPngTransparency::ptmPartial, {51, 51, 51}, {60, 50, 40}});
    // Single-colour transparency keeps the stored colours.
    TPngLayout bit = partial;
    bit.TrnsAlpha = {0};
    cases.push_back({"palette-bit", bit, TPixelFormat::pf8bit, TPngTransparency::ptmBit, {255, 255, 255}, {60, 50, 40}});
    TPngLayout rgbKey = Layout(1, 2, 8, {9, 8, 7});
    rgbKey.TrnsRgb[0] = 9; rgbKey.TrnsRgb[1] = 8; rgbKey.TrnsRgb[2] = 7;
    cases.push_back({"rgb-key", rgbKey, TPixelFormat::pf24bit, TPngTransparency::ptmBit, {7, 8, 9}, {}});
    TPngLayout greyKey = Layout(1, 0, 8, {99});
    greyKey.TrnsGrey = 99;
    cases.push_back({"grey-key", greyKey, TPixelFormat::pf8bit, TPngTransparency::ptmBit, {99, 99, 99}, {}});
    return cases;
}

TEST(Png, EveryColourTypeAndDepth) {
    TTempDir dir;
    for (const TPngCase& c : Cases()) {
        std::string path = dir.File(std::string(c.Name) + ".png");
        test::WritePng(path, c.Layout);
        TPngImage png;
        png.LoadFromFile(path);
        EXPECT_EQ(png.TransparencyMode(), c.Mode) << c.Name;
        TBitmap bitmap;
        bitmap.Assign(png);
        EXPECT_EQ(bitmap.PixelFormat(), c.Format) << c.Name;
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        EXPECT_EQ(Bgr(bitmap, 0, 0), c.Pixel0) << c.Name;
        if (!c.Pixel1.empty()) {
            EXPECT_EQ(Bgr(bitmap, 1, 0), c.Pixel1) << c.Name;
        }
    }
}

TEST(Png, InterlacedPicturesAndTheWriterRoundTrip) {
    TTempDir dir;
    TBitmap noise = test::MakeNoise(19, 11, 9);
    TPngImage out;
    out.Assign(noise);
    out.SaveToFile(dir.File("n.png"));
    TBitmap back = test::LoadAs24(dir.File("n.png"));
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x) ASSERT_EQ(Bgr(back, x, y), Bgr(noise, x, y));

    TPngLayout interlaced = Layout(9, 2, 8, {});
    interlaced.Height = 9;
    interlaced.Interlaced = true;
    for (int i = 0; i < 9 * 9 * 3; ++i) interlaced.Rows.push_back(static_cast<uint8_t>(i));
    test::WritePng(dir.File("i.png"), interlaced);
    TBitmap decoded = test::LoadAs24(dir.File("i.png"));
    EXPECT_EQ(Bgr(decoded, 8, 8), (std::vector<int>{242, 241, 240}));
}

// Each compression effort writes the same pixels; the smallest file takes
// the most work, the fast one the least.
TEST(Png, EveryEffortKeepsEveryPixel) {
    const TBitmap picture = test::MakeNoise(300, 200, 5);
    std::vector<std::string> files;
    for (const TEncodeEffort effort : {TEncodeEffort::Fast, TEncodeEffort::Balanced, TEncodeEffort::Smallest}) {
        TPngImage png;
        png.Assign(picture);
        png.SetEffort(effort);
        std::ostringstream out;
        png.SaveToStream(out);
        files.push_back(out.str());
        TPngImage back;
        back.LoadFromBytes(reinterpret_cast<const uint8_t*>(files.back().data()), files.back().size());
        for (int y = 0; y < picture.Height(); ++y)
            ASSERT_EQ(std::memcmp(back.Bitmap().ScanLine(y), picture.ScanLine(y), 300 * 3), 0) << static_cast<int>(effort);
    }
    EXPECT_LE(files[2].size(), files[1].size());
    EXPECT_LE(files[2].size(), files[0].size());
    EXPECT_NE(files[0], files[1]);
}

TEST(Png, AllTransparentPictureIsBlack) {
    TTempDir dir;
    TPngLayout clear = Layout(3, 6, 8, {255, 255, 255, 0, 10, 20, 30, 0, 90, 90, 90, 0});
    test::WritePng(dir.File("clear.png"), clear);
    TBitmap bitmap = test::LoadAs24(dir.File("clear.png"));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Bgr(bitmap, x, 0), (std::vector<int>{0, 0, 0}));
}

TEST(Png, BrokenFilesAreRefused) {
    TTempDir dir;
    test::WritePng(dir.File("ok.png"), Layout(2, 2, 8, {1, 2, 3, 4, 5, 6}));
    std::vector<uint8_t> good = test::ReadFileBytes(dir.File("ok.png"));
    TPngImage png;
    std::vector<uint8_t> crc = good;
    crc[30] ^= 0xFF;  // inside IHDR: its CRC no longer matches
    EXPECT_THROW(png.LoadFromBytes(crc.data(), crc.size()), EInvalidGraphic);
    EXPECT_THROW(png.LoadFromBytes(good.data(), 20), EInvalidGraphic);
    const uint8_t notPng[] = {'P', 'N', 'G', 0, 0, 0, 0, 0, 0};
    EXPECT_THROW(png.LoadFromBytes(notPng, sizeof notPng), EInvalidGraphic);
}

TEST(Png, AnnouncedSizeBeyondTheLimitIsRefusedBeforeDecoding) {
    TTempDir dir;
    test::WritePng(dir.File("ok.png"), Layout(2, 0, 8, {1, 2}));
    std::vector<uint8_t> data = test::ReadFileBytes(dir.File("ok.png"));
    const uint8_t size[8] = {0, 0, 0x75, 0x30, 0, 0, 0x4E, 0x20};  // 30000 x 20000
    std::copy(size, size + 8, data.begin() + 16);
    uLong crc = crc32(0, data.data() + 12, 17);  // chunk type and data of IHDR
    for (int i = 0; i < 4; ++i) data[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    TPngImage png;
    try {
        png.LoadFromBytes(data.data(), data.size());
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Picture is too large: 30000 x 20000 pixels");
    }
}

}  // namespace
}  // namespace quorix
