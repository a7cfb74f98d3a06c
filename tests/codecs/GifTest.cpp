#include "Gif.h"
#include "QuorixError.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

namespace quorix {
namespace {

using test::TGifLayout;
using test::TTempDir;

using test::Bgr;

TGifLayout TwoByTwo() {
    TGifLayout s;
    s.ScreenWidth = s.Width = 2;
    s.ScreenHeight = s.Height = 2;
    s.GlobalRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};  // red, green, blue, grey
    s.Indices = {0, 1, 2, 3};
    return s;
}

TBitmap Load(const TTempDir& dir, const TGifLayout& layout, TGIFImage* image = nullptr) {
    test::WriteGif(dir.File("t.gif"), layout);
    TGIFImage local;
    TGIFImage& gif = image ? *image : local;
    gif.LoadFromFile(dir.File("t.gif"));
    TBitmap bitmap;
    bitmap.Assign(gif);
    return bitmap;
}

TEST(Gif, FrameCoveringTheScreenIsCopiedWithItsPalette) {
    TTempDir dir;
    TBitmap b = Load(dir, TwoByTwo());
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    b.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(Bgr(b, 0, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(Bgr(b, 1, 1), (std::vector<int>{9, 9, 9}));
}

TEST(Gif, TransparentColourShowsTheBackground) {
    TTempDir dir;
    TGifLayout layout = TwoByTwo();
    layout.Transparent = 0;
    layout.Background = 2;  // blue
    TBitmap b = Load(dir, layout);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(Bgr(b, 0, 0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Bgr(b, 1, 0), (std::vector<int>{0, 255, 0}));
    // Without a global colour table the window background (white) shows.
    layout.LocalRgb = layout.GlobalRgb;
    layout.GlobalRgb.clear();
    TBitmap w = Load(dir, layout);
    EXPECT_EQ(Bgr(w, 0, 0), (std::vector<int>{255, 255, 255}));
}

TEST(Gif, FrameIsDrawnAtItsPositionOnTheLogicalScreen) {
    TTempDir dir;
    TGifLayout layout = TwoByTwo();
    layout.ScreenWidth = 5;
    layout.ScreenHeight = 4;
    layout.Left = 3;
    layout.Top = 1;
    TGIFImage gif;
    TBitmap b = Load(dir, layout, &gif);
    EXPECT_EQ(gif.Width(), 5);
    EXPECT_EQ(gif.Height(), 4);
    ASSERT_EQ(b.Width(), 5);
    EXPECT_EQ(Bgr(b, 3, 1), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(Bgr(b, 4, 2), (std::vector<int>{9, 9, 9}));
    EXPECT_EQ(Bgr(b, 0, 0), (std::vector<int>{0, 0, 255}));  // uncovered: palette entry 0
}

TEST(Gif, AnimatedAndInterlacedFilesGiveTheirFirstFrame) {
    TTempDir dir;
    TGifLayout layout;
    layout.ScreenWidth = layout.Width = 3;
    layout.ScreenHeight = layout.Height = 10;
    layout.GlobalRgb = {0, 0, 0, 255, 255, 255};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x) layout.Indices.push_back(y % 3 == 0 ? 1 : 0);
    layout.Interlaced = true;
    layout.ExtraFrames = 2;  // later frames are all white
    TBitmap b = Load(dir, layout);
    b.SetPixelFormat(TPixelFormat::pf24bit);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(Bgr(b, 1, y)[0], y % 3 == 0 ? 255 : 0) << y;
}

TEST(Gif, BrokenFilesAreRefused) {
    TTempDir dir;
    test::WriteGif(dir.File("ok.gif"), TwoByTwo());
    std::vector<uint8_t> good = test::ReadFileBytes(dir.File("ok.gif"));
    TGIFImage gif;
    EXPECT_THROW(gif.LoadFromBytes(good.data(), 6), EInvalidGraphic);
    EXPECT_THROW(gif.LoadFromBytes(good.data(), good.size() - 6), EInvalidGraphic);
    std::vector<uint8_t> huge = good;  // logical screen 65535 x 65535
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    EXPECT_THROW(gif.LoadFromBytes(huge.data(), huge.size()), EInvalidGraphic);
    // A screen 65535 wide without a height takes its height from the frame,
    // here placed 65000 rows down: the screen would exceed the limit too.
    std::vector<uint8_t> tall = good;
    tall[6] = tall[7] = 0xFF;
    tall[8] = tall[9] = 0;
    const size_t descriptor = 6 + 7 + 12;
    ASSERT_EQ(tall[descriptor], 0x2C);
    tall[descriptor + 3] = 0xE8;  // top = 65000
    tall[descriptor + 4] = 0xFD;
    EXPECT_THROW(gif.LoadFromBytes(tall.data(), tall.size()), EInvalidGraphic);
}

}  // namespace
}  // namespace quorix
