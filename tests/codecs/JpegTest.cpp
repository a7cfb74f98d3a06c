#include "Cancel.h"
#include "Graphic.h"
#include "Jpeg.h"
#include "Png.h"
#include "Resample.h"
#include "RowSource.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

extern "C" {
#include <jpeglib.h>
}

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <atomic>

namespace quorix {
namespace {

using test::TTempDir;

// The frame header's marker and component count, found by walking the segments.
struct TFrameInfo {
    int Marker = 0;
    int Components = 0;
    bool Jfif = false;
};

TFrameInfo FrameOf(const std::vector<uint8_t>& data) {
    TFrameInfo info;
    size_t p = 2;
    while (p + 4 <= data.size() && data[p] == 0xFF) {
        int marker = data[p + 1];
        size_t length = (data[p + 2] << 8) | data[p + 3];
        if (marker == 0xE0 && p + 9 < data.size() && std::equal(data.begin() + p + 4, data.begin() + p + 9, "JFIF"))
            info.Jfif = true;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            info.Marker = marker;
            info.Components = data[p + 9];
            return info;
        }
        p += 2 + length;
    }
    return info;
}

TEST(Jpeg, EncodingIsBaselineJfifAndDeterministic) {
    TBitmap picture = test::MakeNoise(33, 17, 3);
    for (int quality : {5, 70, 99}) {
        TJPEGImage a, b;
        a.CompressionQuality = b.CompressionQuality = quality;
        a.Assign(picture);
        b.Assign(picture);
        a.Compress();
        b.Compress();
        EXPECT_EQ(a.Data(), b.Data()) << quality;
        TFrameInfo frame = FrameOf(a.Data());
        EXPECT_EQ(frame.Marker, 0xC0) << "baseline at quality " << quality;
        EXPECT_EQ(frame.Components, 3);
        EXPECT_TRUE(frame.Jfif);
    }
    TJPEGImage low, high;
    low.CompressionQuality = 5;
    high.CompressionQuality = 99;
    low.Assign(picture);
    high.Assign(picture);
    low.Compress();
    high.Compress();
    EXPECT_LT(low.Data().size(), high.Data().size());
}

TEST(Jpeg, DecodesWhatItEncodedCloselyAndLazily) {
    TTempDir dir;
    TBitmap picture = test::MakeGradient(40, 30);
    test::WriteJpeg(dir.File("g.jpg"), picture, 95);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(dir.File("g.jpg"));
    EXPECT_EQ(jpeg.Width(), 40);
    EXPECT_EQ(jpeg.Height(), 30);
    const TBitmap& decoded = jpeg.Bitmap();
    ASSERT_EQ(decoded.PixelFormat(), TPixelFormat::pf24bit);
    int worst = 0;
    for (int y = 0; y < 30; ++y)
        for (int b = 0; b < 120; ++b) worst = std::max(worst, std::abs(decoded.ScanLine(y)[b] - picture.ScanLine(y)[b]));
    EXPECT_LT(worst, 24);
}

TEST(Jpeg, GreyscaleKeepsAll256LevelsAndIsWrittenAsColour) {
    TTempDir dir;
    test::WriteGreyJpeg(dir.File("grey.jpg"), 256, 64);
    TJPEGImage grey;
    grey.LoadFromFile(dir.File("grey.jpg"));
    EXPECT_TRUE(grey.Header().Grayscale);
    const TBitmap& bitmap = grey.Bitmap();
    ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
    std::set<int> levels;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) levels.insert(bitmap.Palette()[bitmap.ScanLine(y)[x]].Red);
    EXPECT_GT(levels.size(), 236u) << "no 236-colour quantisation";
    TJPEGImage out;
    TBitmap copy(bitmap);
    copy.SetPixelFormat(TPixelFormat::pf24bit);
    out.Assign(copy);
    out.Compress();
    EXPECT_EQ(FrameOf(out.Data()).Components, 3);
    TJPEGImage back;
    back.LoadFromBytes(out.Data());
    const TBitmap& round = back.Bitmap();
    for (int x = 0; x < round.Width(); x += 37) {
        const uint8_t* p = round.ScanLine(10) + 3 * x;
        EXPECT_LE(std::abs(p[0] - p[2]), 2) << "equal channels";
    }
}

TEST(Jpeg, CmykIsTurnedIntoRgb) {
    TTempDir dir;
    const uint8_t cmyk[4] = {255, 128, 0, 200};  // inverted: 255 means no ink
    test::WriteCmykJpeg(dir.File("c.jpg"), 16, 16, cmyk);
    TBitmap bitmap = test::LoadAs24(dir.File("c.jpg"));
    const uint8_t* p = bitmap.ScanLine(8) + 24;
    EXPECT_NEAR(p[2], 255 * 200 / 255, 3);  // red = C * K / 255
    EXPECT_NEAR(p[1], 128 * 200 / 255, 3);
    EXPECT_NEAR(p[0], 0, 3);
}

TEST(Jpeg, ExifOrientationIsApplied) {
    // A 16 x 8 picture whose top-left quadrant is bright red.
    TBitmap picture = test::MakeBitmap24(16, 8, 0, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) picture.ScanLine(y)[3 * x + 2] = 255;
    TJPEGImage plain;
    plain.CompressionQuality = 99;
    plain.Assign(picture);
    plain.Compress();
    const struct { int orientation; bool big; int w, h; int redX, redY; } cases[] = {
        {1, false, 16, 8, 2, 2}, {3, true, 16, 8, 13, 5}, {6, false, 8, 16, 5, 2}, {8, true, 8, 16, 2, 13},
        {2, false, 16, 8, 13, 2}, {5, false, 8, 16, 2, 2}};
    for (const auto& c : cases) {
        TJPEGImage jpeg;
        jpeg.LoadFromBytes(test::WithExifOrientation(plain.Data(), c.orientation, c.big));
        EXPECT_EQ(jpeg.Header().Orientation, c.orientation);
        EXPECT_EQ(jpeg.Width(), c.w) << c.orientation;
        EXPECT_EQ(jpeg.Height(), c.h) << c.orientation;
        const TBitmap& b = jpeg.Bitmap();
        ASSERT_EQ(b.Width(), c.w);
        EXPECT_GT(b.ScanLine(c.redY)[3 * c.redX + 2], 200) << "orientation " << c.orientation;
    }
    EXPECT_EQ(ExifOrientation(reinterpret_cast<const uint8_t*>("Exif\0\0MM"), 8), 1);
}

TEST(Jpeg, ErrorsCarryLibjpegsMessageCode) {
    TJPEGImage jpeg;
    try {
        jpeg.LoadFromBytes({'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
    }
    // Header intact, data cut short: loading succeeds, the first use of the pixels fails.
    TJPEGImage full;
    full.Assign(test::MakeNoise(64, 64, 5));
    full.Compress();
    std::vector<uint8_t> cut(full.Data().begin(), full.Data().begin() + full.Data().size() / 2);
    TJPEGImage lazy;
    lazy.LoadFromBytes(cut);
    EXPECT_EQ(lazy.Width(), 64);
    EXPECT_THROW(lazy.Bitmap(), EJPEG);
    TBitmap target;
    EXPECT_THROW(target.Assign(lazy), EJPEG);
}

// libjpeg with its own defaults and warnings that end nothing: what djpeg shows.
TBitmap DecodeAsLibjpegDoes(const std::vector<uint8_t>& data) {
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    error.output_message = [](j_common_ptr) {};
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = bitmap.ScanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    EXPECT_GT(error.num_warnings, 0);
    jpeg_destroy_decompress(&info);
    return bitmap;
}

// A camera file whose data is complete but carries bad bytes before a
// restart marker: the decoder resynchronises there, as libjpeg's own tools
// do, and says so; the picture is not refused.
TEST(Jpeg, CorruptBytesBeforeARestartMarkerDecodeAsLibjpegDoes) {
    const std::vector<uint8_t> whole = test::JpegWithRestarts(test::MakeNoise(96, 64, 9));
    const uint8_t marker[] = {0xFF, 0xD0};
    const auto rst = std::search(whole.begin() + 200, whole.end(), std::begin(marker), std::end(marker));
    ASSERT_NE(rst, whole.end());
    const size_t at = static_cast<size_t>(rst - whole.begin());
    std::vector<uint8_t> replaced = whole, inserted = whole, cut = whole;
    for (size_t i = at - 6; i < at; ++i) replaced[i] = static_cast<uint8_t>(0x35 + 17 * i % 150);
    inserted.insert(inserted.begin() + static_cast<long>(at), {0x12, 0x34, 0x56, 0x78});
    cut.erase(cut.begin() + static_cast<long>(at) - 12, cut.begin() + static_cast<long>(at));  // runs into the marker early
    for (const auto* damaged : {&replaced, &inserted, &cut}) {
        TJPEGImage jpeg;
        jpeg.LoadFromBytes(*damaged);
        EXPECT_FALSE(jpeg.DecodedPastDamage());
        const TBitmap expected = DecodeAsLibjpegDoes(*damaged);
        EXPECT_TRUE(test::SameBitmap(jpeg.Bitmap(), expected));
        EXPECT_TRUE(jpeg.DecodedPastDamage());
        TOrvelBitmap streamed;  // the resampler's way: rows as they are decoded
        TJPEGImage again;
        again.LoadFromBytes(*damaged);
        streamed.SetPixelFormat(TPixelFormat::pf24bit);
        streamed.SetSize(96, 64);
        ResampleGraphic(again, streamed, ResampleFilters[0].Filter, ResampleFilters[0].Width);
        EXPECT_TRUE(again.DecodedPastDamage());
    }
    TJPEGImage intact;
    intact.LoadFromBytes(whole);
    intact.Bitmap();
    EXPECT_FALSE(intact.DecodedPastDamage());
}

TEST(Jpeg, AnnouncedSizeBeyondTheLimitIsRefusedAtLoad) {
    TJPEGImage huge;
    EXPECT_THROW(huge.LoadFromBytes(test::JpegAnnouncing(65280, 65280, false)), EInvalidGraphic);
    TJPEGImage within;  // 10000 x 20000 is inside the limit: the header alone loads
    within.LoadFromBytes(test::JpegAnnouncing(10000, 20000, false));
    EXPECT_EQ(within.Width(), 10000);
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// Decoding row by row into the resampler gives the bytes of decoding first.
TEST(JpegRows, StreamedResamplingEqualsDecodingFirst) {
    TTempDir dir;
    test::WriteJpeg(dir.File("colour.jpg"), test::MakeNoise(700, 500, 4), 85);
    test::WriteGreyJpeg(dir.File("grey.jpg"), 600, 450);
    const uint8_t cmyk[4] = {200, 30, 90, 240};
    test::WriteCmykJpeg(dir.File("cmyk.jpg"), 300, 200, cmyk);
    for (const char* name : {"colour.jpg", "grey.jpg", "cmyk.jpg"}) {
        for (int threads : {1, 2}) {
            SetResampleThreads(threads);
            TJPEGImage streamed;
            streamed.LoadFromFile(dir.File(name));
            ASSERT_NE(streamed.OpenRowSource(), nullptr);
            TOrvelBitmap a;
            a.SetSize(201, 133);
            ASSERT_EQ(ResampleGraphic(streamed, a, MitchellFilter, 2.0f), "");

            TBitmap decoded = test::LoadAs24(dir.File(name));
            TOrvelBitmap b;
            b.SetSize(201, 133);
            ASSERT_EQ(ResampleBitmap(decoded, b, MitchellFilter, 2.0f), "");
            for (int y = 0; y < 133; ++y)
                ASSERT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), 201 * 3), 0) << name << " row " << y;
        }
    }
    SetResampleThreads(0);
}

// Rows handed over in uneven pieces give the bytes of encoding the finished
// bitmap, for baseline and progressive, colour and grey.
TEST(JpegRowEncoder, PiecesGiveTheBytesOfTheWholeBitmap) {
    TBitmap picture = test::MakeNoise(75, 53, 11);
    for (bool progressive : {false, true})
        for (bool grey : {false, true}) {
            TJPEGImage whole, pieces;
            whole.CompressionQuality = pieces.CompressionQuality = 63;
            whole.ProgressiveEncoding = pieces.ProgressiveEncoding = progressive;
            whole.Grayscale = pieces.Grayscale = grey;
            whole.CompressFrom(picture);
            TJpegRowEncoder encoder(pieces, 75, 53);
            std::vector<const uint8_t*> rows;
            for (int y = 0; y < 53; ++y) rows.push_back(picture.ScanLine(y));
            for (int y = 0, n = 1; y < 53; y += n, n = n % 7 + 3) encoder.Write(rows.data() + y, std::min(n, 53 - y));
            encoder.Write(rows.data(), 5);  // beyond the height: ignored
            EXPECT_EQ(encoder.RowsWritten(), 53);
            encoder.FinishInto(pieces);
            EXPECT_EQ(pieces.Data(), whole.Data()) << progressive << grey;
            EXPECT_EQ(pieces.Width(), 75);
            EXPECT_EQ(pieces.Header().StoredHeight, 53);
        }
}

TEST(JpegRowEncoder, RefusesAnEmptyPictureAndAnUnfinishedOne) {
    TJPEGImage jpeg;
    EXPECT_THROW(TJpegRowEncoder(jpeg, 0, 10), EJPEG);
    TJpegRowEncoder encoder(jpeg, 8, 8);
    TBitmap row = test::MakeNoise(8, 1, 1);
    const uint8_t* rows[1] = {row.ScanLine(0)};
    encoder.Write(rows, 1);
    EXPECT_THROW(encoder.FinishInto(jpeg), EJPEG);
    EXPECT_TRUE(jpeg.Data().empty());
}

TEST(JpegRows, TurnedPicturesStreamTheSameRowsAsTheTurnedBitmap) {
    TJPEGImage plain;
    plain.Assign(test::MakeGradient(40, 20));
    plain.Compress();
    for (int orientation = 2; orientation <= 8; ++orientation) {
        TJPEGImage turned, whole;
        turned.LoadFromBytes(test::WithExifOrientation(plain.Data(), orientation, false));
        whole.LoadFromBytes(test::WithExifOrientation(plain.Data(), orientation, false));
        TOrvelBitmap streamed, reference;
        streamed.SetSize(13, 17);
        reference.SetSize(13, 17);
        ASSERT_NE(turned.OpenRowSource(), nullptr);
        EXPECT_EQ(ResampleGraphic(turned, streamed, MitchellFilter, 2.0f), "");
        TBitmap upright(whole.Bitmap());
        EXPECT_EQ(ResampleBitmap(upright, reference, MitchellFilter, 2.0f), "");
        for (int y = 0; y < 17; ++y)
            EXPECT_EQ(std::memcmp(streamed.ScanLine(y), reference.ScanLine(y), 13 * 3), 0) << orientation << " row " << y;
    }
}

// Work called off stops between rows: encoders and decoders raise ECancelled.
TEST(Cancel, EncodersAndDecodersStopWhenCalledOff) {
    std::atomic<bool> stop{false};
    SetThreadCancelFlag(&stop);
    TJPEGImage made;
    made.Assign(test::MakeNoise(64, 200, 4));
    made.Compress();
    const std::vector<uint8_t> data = made.Data();
    stop = true;
    TJPEGImage jpeg;
    jpeg.Assign(test::MakeNoise(64, 200, 4));
    EXPECT_THROW(jpeg.Compress(), ECancelled);
    TJPEGImage decoded;
    decoded.LoadFromBytes(data);
    EXPECT_THROW(decoded.Bitmap(), ECancelled);
    TPngImage png;
    png.Assign(test::MakeNoise(64, 200, 4));
    std::stringstream out;
    EXPECT_THROW(png.SaveToStream(out), ECancelled);
    SetThreadCancelFlag(nullptr);  // the flag belongs to this thread's work only
    EXPECT_EQ(decoded.Bitmap().Height(), 200);
}

}  // namespace
}  // namespace quorix
