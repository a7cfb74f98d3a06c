#include "Bmp.h"
#include "QuorixError.h"
#include "StreamBytes.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quorix {
namespace {

// A BMP file from its parts: header fields, masks, palette and pixel bytes.
std::vector<uint8_t> MakeBmp(int width, int height, int bits, uint32_t compression,
                             const std::vector<uint32_t>& masks, const std::vector<uint8_t>& palette,
                             const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> out = {'B', 'M'};
    uint32_t offBits = 14 + 40 + 4 * static_cast<uint32_t>(masks.size()) + static_cast<uint32_t>(palette.size());
    PutU32(out, offBits + static_cast<uint32_t>(pixels.size()));
    PutU32(out, 0);
    PutU32(out, offBits);
    PutU32(out, 40);
    PutU32(out, static_cast<uint32_t>(width));
    PutU32(out, static_cast<uint32_t>(height));
    PutU16(out, 1);
    PutU16(out, static_cast<uint16_t>(bits));
    PutU32(out, compression);
    PutU32(out, static_cast<uint32_t>(pixels.size()));
    PutU32(out, 0);
    PutU32(out, 0);
    PutU32(out, static_cast<uint32_t>(palette.size() / 4));
    PutU32(out, 0);
    for (uint32_t m : masks) PutU32(out, m);
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

TBitmap Decode24(const std::vector<uint8_t>& bytes) {
    TBmpImage image;
    image.LoadFromBytes(bytes.data(), bytes.size());
    TBitmap bitmap(image);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    return bitmap;
}

const auto Pixel = test::Bgr;

const std::vector<uint8_t> TwoColours = {10, 20, 30, 0, 200, 210, 220, 0};  // BGRX entries

TEST(Bmp, PalettedAndDirectDepthsRoundTrip) {
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TBmpImage image;
        image.SetPixelFormat(format);
        image.SetSize(13, 5);
        if (format <= TPixelFormat::pf8bit) image.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
        for (int y = 0; y < 5; ++y)
            for (size_t b = 0; b < image.Stride(); ++b) image.ScanLine(y)[b] = static_cast<uint8_t>(y * 31 + b);
        if (format <= TPixelFormat::pf8bit)  // keep indices inside the palette
            for (int y = 0; y < 5; ++y)
                for (size_t b = 0; b < image.Stride(); ++b)
                    image.ScanLine(y)[b] &= format == TPixelFormat::pf8bit ? 1 : format == TPixelFormat::pf4bit ? 0x11 : 0xFF;
        std::ostringstream out;
        image.SaveToStream(out);
        std::string bytes = out.str();
        TBmpImage back;
        back.LoadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ASSERT_EQ(back.PixelFormat(), format);
        ASSERT_EQ(back.Width(), 13);
        TBitmap a(image), b(back);
        a.SetPixelFormat(TPixelFormat::pf24bit);
        b.SetPixelFormat(TPixelFormat::pf24bit);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) EXPECT_EQ(Pixel(a, x, y), Pixel(b, x, y)) << static_cast<int>(format);
    }
}

TEST(Bmp, TopDownAndBottomUpRows) {
    std::vector<uint8_t> pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // two rows of one 24-bit pixel, padded
    std::vector<uint8_t> bottomUp = MakeBmp(1, 2, 24, 0, {}, {}, pixels);
    EXPECT_EQ(Pixel(Decode24(bottomUp), 0, 0), (std::vector<int>{4, 5, 6}));
    std::vector<uint8_t> topDown = MakeBmp(1, -2, 24, 0, {}, {}, pixels);
    EXPECT_EQ(Pixel(Decode24(topDown), 0, 0), (std::vector<int>{1, 2, 3}));
}

TEST(Bmp, SixteenBitsAndBitFields) {
    // 5-5-5 without masks: 0x7C00 is full red.
    std::vector<uint8_t> plain = MakeBmp(2, 1, 16, 0, {}, {}, {0x00, 0x7C, 0x1F, 0x00});
    TBitmap a = Decode24(plain);
    EXPECT_EQ(Pixel(a, 0, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(Pixel(a, 1, 0), (std::vector<int>{255, 0, 0}));
    // 5-6-5 bit fields: 0x07E0 is full green.
    std::vector<uint8_t> fields = MakeBmp(1, 1, 16, 3, {0xF800, 0x07E0, 0x001F}, {}, {0xE0, 0x07, 0, 0});
    EXPECT_EQ(Pixel(Decode24(fields), 0, 0), (std::vector<int>{0, 255, 0}));
    // 32-bit bit fields in an unusual order.
    std::vector<uint8_t> wide = MakeBmp(1, 1, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}, {}, {11, 22, 33, 0});
    EXPECT_EQ(Pixel(Decode24(wide), 0, 0), (std::vector<int>{33, 22, 11}));
    // 11-11-10: wide fields are scaled and rounded, not cut to their top 8 bits.
    const uint32_t v = (2040u << 21) | (7u << 10) | 1020u;
    std::vector<uint8_t> deep = MakeBmp(1, 1, 32, 3, {0xFFE00000, 0x001FFC00, 0x000003FF}, {},
                                        {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    EXPECT_EQ(Pixel(Decode24(deep), 0, 0), (std::vector<int>{254, 1, 254}));  // round(v * 255 / max)
}

TEST(Bmp, RunLengthEncodings) {
    // RLE8, 4 x 2: bottom row "run of 3 x index 1, absolute 0", top row with a delta and end of bitmap.
    std::vector<uint8_t> rle8 = {3, 1, 0, 3, 1, 0, 1, 0,  // run, absolute run of 3 (padded)
                                 0, 0,                    // end of line
                                 0, 2, 2, 0, 2, 1,        // delta right by 2, run of two 1s
                                 0, 1};                   // end of bitmap
    TBitmap a = Decode24(MakeBmp(4, 2, 8, 1, {}, TwoColours, rle8));
    EXPECT_EQ(Pixel(a, 0, 1), (std::vector<int>{200, 210, 220}));
    EXPECT_EQ(Pixel(a, 3, 1), (std::vector<int>{200, 210, 220}));  // the absolute run starts at x = 3
    EXPECT_EQ(Pixel(a, 0, 0), (std::vector<int>{10, 20, 30}));     // skipped by the delta
    EXPECT_EQ(Pixel(a, 2, 0), (std::vector<int>{200, 210, 220}));
    // RLE4: a run alternates the two nibbles.
    std::vector<uint8_t> rle4 = {4, 0x10, 0, 1};
    TBitmap b = Decode24(MakeBmp(4, 1, 4, 2, {}, TwoColours, rle4));
    EXPECT_EQ(Pixel(b, 0, 0), (std::vector<int>{200, 210, 220}));
    EXPECT_EQ(Pixel(b, 1, 0), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(Pixel(b, 2, 0), (std::vector<int>{200, 210, 220}));
    // Data that ends before the picture is complete is an error; so is top-down RLE.
    EXPECT_THROW(Decode24(MakeBmp(4, 2, 8, 1, {}, TwoColours, {3, 1})), EInvalidGraphic);
    EXPECT_THROW(Decode24(MakeBmp(4, -2, 8, 1, {}, TwoColours, rle8)), EInvalidGraphic);
}

TEST(Bmp, CoreHeaderWithThreeBytePalette) {
    std::vector<uint8_t> out = {'B', 'M'};
    PutU32(out, 14 + 12 + 6 + 4);
    PutU32(out, 0);
    PutU32(out, 14 + 12 + 6);
    PutU32(out, 12);
    PutU16(out, 2);
    PutU16(out, 1);
    PutU16(out, 1);
    PutU16(out, 1);
    const uint8_t rest[] = {9, 8, 7, 90, 80, 70, 0x40, 0, 0, 0};  // palette, then pixels 0 and 1
    out.insert(out.end(), rest, rest + sizeof rest);
    TBitmap a = Decode24(out);
    EXPECT_EQ(Pixel(a, 0, 0), (std::vector<int>{9, 8, 7}));
    EXPECT_EQ(Pixel(a, 1, 0), (std::vector<int>{90, 80, 70}));
}

TEST(Bmp, BrokenHeadersAreRefused) {
    std::vector<uint8_t> good = MakeBmp(2, 2, 24, 0, {}, {}, std::vector<uint8_t>(16, 0));
    const struct { size_t at; uint8_t value; } patches[] = {
        {0, 'X'}, {14, 7}, {28, 3}, {30, 9}, {18, 0}};  // signature, header size, depth, compression, width 0
    for (const auto& p : patches) {
        std::vector<uint8_t> bad = good;
        bad[p.at] = p.value;
        if (p.at == 18) bad[19] = bad[20] = bad[21] = 0;
        EXPECT_THROW(Decode24(bad), EInvalidGraphic) << p.at;
    }
    std::vector<uint8_t> huge = good;  // 40000 x 40000 announced by a 70-byte file
    huge[18] = 0x40; huge[19] = 0x9C; huge[22] = 0x40; huge[23] = 0x9C;
    EXPECT_THROW(Decode24(huge), EInvalidGraphic);
    good.resize(good.size() - 5);
    EXPECT_THROW(Decode24(good), EInvalidGraphic);
}

}  // namespace
}  // namespace quorix
