#include "OrvelGraphics.h"
#include "QuorixError.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ostream>

namespace quorix {
namespace {

TEST(OrvelBitmap, SetLargeSizeLimits) {
    const struct { int w, h; bool refused; int ew, eh; TBitmapHandleType kind; } cases[] = {
        {20000, 20000, true, 8000, 8000, TBitmapHandleType::bmDIB},
        {18919, 18919, true, 8000, 8000, TBitmapHandleType::bmDIB},
        {18918, 18918, false, 18918, 18918, TBitmapHandleType::bmDIB},
        {35000, 10, false, 32768, 10, TBitmapHandleType::bmDDB},
        {0, -5, false, 1, 1, TBitmapHandleType::bmDDB},
        {2000, 1500, false, 2000, 1500, TBitmapHandleType::bmDDB},
        {2000, 1501, false, 2000, 1501, TBitmapHandleType::bmDIB},
        {40000, 40000, true, 8000, 8000, TBitmapHandleType::bmDIB},
    };
    for (const auto& c : cases) {
        TOrvelBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        if (c.refused) {
            try {
                bitmap.SetLargeSize(c.w, c.h);
                ADD_FAILURE() << c.w << "x" << c.h << " was accepted";
            } catch (const EQuorixError& e) {
                EXPECT_STREQ(e.what(), "Image is too large.");
            }
        } else {
            bitmap.SetLargeSize(c.w, c.h);
        }
        EXPECT_EQ(bitmap.Width(), c.ew) << c.w << "x" << c.h;
        EXPECT_EQ(bitmap.Height(), c.eh) << c.w << "x" << c.h;
        EXPECT_EQ(bitmap.HandleType(), c.kind) << c.w << "x" << c.h;
    }
}

TEST(Bitmap, ConversionTo24BitsExpandsPalettesAndDropsAlpha) {
    TBitmap one;
    one.SetPixelFormat(TPixelFormat::pf1bit);
    one.SetSize(9, 1);
    one.SetPalette({{0, 0, 0, 0}, {10, 20, 30, 0}});
    one.ScanLine(0)[0] = 0x81;  // pixels 0 and 7 set
    one.ScanLine(0)[1] = 0x80;  // pixel 8 set
    one.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(one.ScanLine(0)[0], 10);
    EXPECT_EQ(one.ScanLine(0)[3], 0);
    EXPECT_EQ(one.ScanLine(0)[3 * 7 + 2], 30);
    EXPECT_EQ(one.ScanLine(0)[3 * 8 + 1], 20);
    EXPECT_TRUE(one.Palette().empty());

    TBitmap eight;  // an index past the palette's end reads black
    eight.SetPixelFormat(TPixelFormat::pf8bit);
    eight.SetSize(2, 1);
    eight.SetPalette({{5, 6, 7, 0}});
    eight.ScanLine(0)[1] = 200;
    eight.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(eight.ScanLine(0)[2], 7);
    EXPECT_EQ(eight.ScanLine(0)[5], 0);

    TBitmap alpha;
    alpha.SetPixelFormat(TPixelFormat::pf32bit);
    alpha.SetSize(2, 2);
    uint8_t* p = alpha.ScanLine(1);
    p[4] = 1; p[5] = 2; p[6] = 3; p[7] = 128;
    alpha.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(alpha.ScanLine(1)[3], 1);
    EXPECT_EQ(alpha.ScanLine(1)[5], 3);
    EXPECT_EQ(alpha.Stride(), 8u);  // rows padded to four bytes
}

TEST(OrvelBitmap, FillColorUsesBgrBytesOfTheColour) {
    TOrvelBitmap bitmap;
    bitmap.SetSize(3, 2);
    bitmap.FillColor(0x00112233);
    EXPECT_EQ(bitmap.ScanLine(1)[6], 0x11);
    EXPECT_EQ(bitmap.ScanLine(1)[7], 0x22);
    EXPECT_EQ(bitmap.ScanLine(1)[8], 0x33);
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// Small blocks come from the heap, large ones from their own mapping; both
// start zeroed, take writes to their last byte and are given back (the
// sanitizer build checks the heap side).
TEST(PixelMemory, BlocksOfEverySizeStartZeroed) {
    const size_t sizes[] = {1, 4095, LargePixelBlock - 1, LargePixelBlock, LargePixelBlock + 12345,
                            3 * LargePixelBlock + 1};
    for (size_t bytes : sizes) {
        TPixelMemory block = AllocatePixels(bytes);
        ASSERT_NE(block.get(), nullptr) << bytes;
        size_t nonzero = 0;
        for (size_t i = 0; i < bytes; i += 997) nonzero += block[i] != 0;
        EXPECT_EQ(nonzero + (block[bytes - 1] != 0), 0u) << bytes;
        block[0] = 1;
        block[bytes - 1] = 2;
        EXPECT_EQ(block[bytes - 1], 2) << bytes;
    }
    EXPECT_EQ(AllocatePixels(0).get(), nullptr);
}

TEST(PixelMemory, LargeBitmapsCopyAndSwap) {
    TBitmap a;
    a.SetSize(2000, 1000);  // 6 MB: its own mapping
    a.ScanLine(999)[5999] = 42;
    TBitmap b(a);
    EXPECT_EQ(b.ScanLine(999)[5999], 42);
    TBitmap c;
    c.SetSize(3, 3);
    c.Swap(b);
    EXPECT_EQ(c.ScanLine(999)[5999], 42);
    EXPECT_EQ(b.Width(), 3);
}

}  // namespace
}  // namespace quorix

namespace quorix {

// A save that fails after its folder was moved away (a user renaming the
// output folder during a batch) leaves no temporary file in the moved folder.
TEST(SaveToFile, AFailedSaveLeavesNoTemporaryWhereverItsFolderWent) {
    char pattern[] = "/tmp/quorix-save-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern, out = root + "/out", moved = root + "/moved";
    ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);
    struct TFewBytes : TGraphic {
        const char* ClassName() const override { return "TFewBytes"; }
        int Width() const override { return 1; }
        int Height() const override { return 1; }
        void LoadFromStream(std::istream&) override {}
        void SaveToStream(std::ostream& stream) override { stream << "bytes"; }
    } graphic;
    EXPECT_THROW(graphic.SaveToFile(out + "/x.bmp",
                                   [&](const std::string&) {
                                       ASSERT_EQ(::rename(out.c_str(), moved.c_str()), 0);
                                       throw EFileError("stopped");
                                   }),
                 EFileError);
    DIR* dir = ::opendir(moved.c_str());
    ASSERT_NE(dir, nullptr);
    int entries = 0;
    while (const dirent* entry = ::readdir(dir)) entries += entry->d_name[0] != '.' || std::strlen(entry->d_name) > 2;
    ::closedir(dir);
    EXPECT_EQ(entries, 0);
    ::rmdir(moved.c_str());
    ::rmdir(root.c_str());
}

}  // namespace quorix
