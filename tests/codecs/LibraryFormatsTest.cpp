// HEIF/AVIF, WebP, TIFF and JPEG XL: files written by the libraries' own
// encoders read back right, the header is judged before any pixel, and
// damaged files are refused with an error.
#include "FormatPictures.h"
#include "Graphic.h"
#include "QuorixError.h"
#include "RowSource.h"
#include "TestPictures.h"
#include "YuvRows.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <functional>
#include <sstream>

namespace quorix {
namespace {

using test::TSamples;

TBitmap Load(const std::string& path, bool protect = false) {
    TPicture picture;
    TDecodeLimits limits;
    limits.Protect = protect;
    picture.LoadFromFile(path, limits);
    TBitmap bitmap;
    bitmap.Assign(*picture.Graphic());
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit) bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    return bitmap;
}

// Where the stored pixel (x, y) of a w x h picture lands once turned upright.
std::pair<int, int> Upright(int x, int y, int w, int h, int orientation) {
    switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {h - 1 - y, x};
    case 7: return {h - 1 - y, w - 1 - x};
    case 8: return {y, w - 1 - x};
    default: return {x, y};
    }
}

// Compares the decoded picture with the samples: opaque pixels rounded to 8
// bits, transparent ones black, half-transparent ones half as bright. Lossy
// formats may differ by tolerance on average.
void ExpectPixels(const TBitmap& got, const TSamples& s, int orientation, double tolerance, const std::string& what) {
    const bool turned = orientation >= 5;
    ASSERT_EQ(got.Width(), turned ? s.Height : s.Width) << what;
    ASSERT_EQ(got.Height(), turned ? s.Width : s.Height) << what;
    const bool alpha = s.Channels == 2 || s.Channels == 4;
    const int max = (1 << s.Bits) - 1;
    double error = 0;
    int count = 0, worst = 0;
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x) {
            const auto [ux, uy] = Upright(x, y, s.Width, s.Height, orientation);
            const uint8_t* p = got.ScanLine(uy) + 3 * ux;
            const int a = alpha ? s.At(x, y, s.Channels - 1) : max;
            for (int c = 0; c < 3; ++c) {
                const int channel = s.Channels <= 2 ? 0 : c;
                int want = test::To8(s.At(x, y, channel), s.Bits);
                if (a == 0) want = 0;
                else if (a != max) want = want / 2;
                const int diff = std::abs(p[2 - c] - want) - (a != max && a != 0 ? 1 : 0);
                error += std::max(0, diff);
                worst = std::max(worst, diff);
                ++count;
            }
        }
    if (tolerance == 0) EXPECT_LE(worst, 0) << what;
    else EXPECT_LE(error / count, tolerance) << what;
}

std::string Write(const test::TTempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    test::WriteFileBytes(dir.File(name), bytes);
    return dir.File(name);
}

TEST(LibraryFormats, TiffDepthsGreyAlphaTilesOrientationAndPages) {
    test::TTempDir dir;
    const struct {
        const char* what;
        int channels, bits, orientation;
        bool tiled, associated;
    } cases[] = {
        {"RGB 8", 3, 8, 1, false, false},        {"RGB 16", 3, 16, 1, false, false},
        {"grey 16", 1, 16, 1, false, false},     {"grey 8 turned", 1, 8, 6, false, false},
        {"RGBA 8", 4, 8, 1, false, false},       {"RGBA 16", 4, 16, 1, false, false},
        {"RGB 16 tiled", 3, 16, 1, true, false}, {"RGBA 8 tiled mirrored", 4, 8, 2, true, false},
        {"grey alpha 16", 2, 16, 8, false, false}, {"RGB 8 turned", 3, 8, 5, false, false},
        {"grey 16 tiled", 1, 16, 1, true, false},   {"RGBA 16 tiled", 4, 16, 3, true, false},
    };
    for (const auto& c : cases) {
        test::TTiffPage page{test::MakeSamples(37, 29, c.channels, c.bits), c.orientation, c.associated, c.tiled};
        test::TTiffPage second{test::MakeSamples(8, 8, 3, 8), 1, false, false};  // the first page is the picture
        const std::string path = Write(dir, "p.tif", test::TiffBytes({page, second}));
        ExpectPixels(Load(path), page.Samples, c.orientation, 0, c.what);
    }
}

// A new TIFF file for libtiff to write a w x h picture of interleaved samples into.
TIFF* StartTiff(const std::string& path, uint32_t w, uint32_t h, int samples, int bits, int photometric, int compression) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    return tif;
}

// A JPEG-compressed YCbCr 4:2:0 TIFF as libtiff writes one: tiles of 240 x
// 224 (those of a camera file the reader once misread) or strips of 16 rows.
void WriteJpegTiff(const std::string& path, const TBitmap& bitmap, bool tiled) {
    const uint32_t w = static_cast<uint32_t>(bitmap.Width()), h = static_cast<uint32_t>(bitmap.Height());
    TIFF* tif = StartTiff(path, w, h, 3, 8, PHOTOMETRIC_YCBCR, COMPRESSION_JPEG);
    TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    auto rgb = [&](uint32_t x, uint32_t y, uint8_t* out) {
        const uint8_t* in = bitmap.ScanLine(static_cast<int>(std::min(y, h - 1))) + 3 * std::min(x, w - 1);
        out[0] = in[2], out[1] = in[1], out[2] = in[0];
    };
    if (tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 240);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 224);
        std::vector<uint8_t> tile(240 * 224 * 3);
        for (uint32_t ty = 0; ty < h; ty += 224)
            for (uint32_t tx = 0; tx < w; tx += 240) {
                for (uint32_t y = 0; y < 224; ++y)
                    for (uint32_t x = 0; x < 240; ++x) rgb(tx + x, ty + y, &tile[(y * 240 + x) * 3]);
                ASSERT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0), 0);
            }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        std::vector<uint8_t> row(w * 3);
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) rgb(x, y, &row[x * 3]);
            ASSERT_GE(TIFFWriteScanline(tif, row.data(), y, 0), 0);
        }
    }
    TIFFClose(tif);
}

// JPEG in TIFF, tiled and in strips, decodes as libtiff's whole-picture RGBA
// reader (tiff2rgba) decodes it, with the bands of rows along its tiles.
TEST(LibraryFormats, JpegTiffDecodesAsTheWholePictureReaderDoes) {
    test::TTempDir dir;
    const TBitmap picture = test::MakeGradient(500, 470);  // partial tiles at the right and the bottom
    for (const bool tiled : {true, false}) {
        const std::string path = dir.File(tiled ? "tiled.tif" : "strips.tif");
        WriteJpegTiff(path, picture, tiled);
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        std::vector<uint32_t> whole(500 * 470);
        ASSERT_TRUE(TIFFReadRGBAImageOriented(tif, 500, 470, whole.data(), ORIENTATION_TOPLEFT, 1));
        TIFFClose(tif);
        const TBitmap got = Load(path);
        int wrong = 0;
        for (int y = 0; y < 470; ++y)
            for (int x = 0; x < 500; ++x) {
                const uint32_t want = whole[static_cast<size_t>(y) * 500 + x];
                const uint8_t* p = got.ScanLine(y) + 3 * x;
                wrong += p[0] != TIFFGetB(want) || p[1] != TIFFGetG(want) || p[2] != TIFFGetR(want);
            }
        EXPECT_EQ(wrong, 0) << (tiled ? "tiled" : "strips");
    }
}

// 16-bit CMYK, which libtiff's RGBA reader refuses, in strips and tiles:
// each colour is what its ink and black leave of white.
TEST(LibraryFormats, SixteenBitCmykTiff) {
    test::TTempDir dir;
    const uint32_t w = 37, h = 29;
    auto ink = [](uint32_t x, uint32_t y, int c) { return static_cast<uint16_t>((x * 1777 + y * 2311 + c * 9001) % 65536); };
    for (const bool tiled : {false, true}) {
        const std::string path = dir.File(tiled ? "cmyk-tiled.tif" : "cmyk.tif");
        TIFF* tif = StartTiff(path, w, h, 4, 16, PHOTOMETRIC_SEPARATED, COMPRESSION_ADOBE_DEFLATE);
        const uint32_t tileSide = 16, rowsAt = tiled ? tileSide : 1, columns = tiled ? tileSide : w;
        if (tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, tileSide);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, tileSide);
        }
        std::vector<uint16_t> block(static_cast<size_t>(columns) * rowsAt * 4);
        for (uint32_t top = 0; top < h; top += rowsAt)
            for (uint32_t left = 0; left < w; left += columns) {
                for (uint32_t y = 0; y < rowsAt; ++y)
                    for (uint32_t x = 0; x < columns; ++x)
                        for (int c = 0; c < 4; ++c) block[(y * columns + x) * 4 + c] = ink(left + x, top + y, c);
                if (tiled) ASSERT_GE(TIFFWriteTile(tif, block.data(), left, top, 0, 0), 0);
                else ASSERT_GE(TIFFWriteScanline(tif, block.data(), top, 0), 0);
            }
        TIFFClose(tif);
        const TBitmap got = Load(path);
        int wrong = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double left = (65535.0 - ink(x, y, c)) / 65535 * (65535.0 - ink(x, y, 3)) / 65535;
                    wrong += got.ScanLine(static_cast<int>(y))[3 * x + 2 - c] != static_cast<int>(std::lround(left * 255));
                }
        EXPECT_EQ(wrong, 0) << path;
    }
}

// RGBA samples whose alpha is opaque everywhere.
TSamples Opaque(int width, int height) {
    TSamples s = test::MakeSamples(width, height, 4, 8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) s.At(x, y, 3) = 255;
    return s;
}

TEST(LibraryFormats, WebPStillAlphaAndTheFirstFrameOfAnAnimation) {
    test::TTempDir dir;
    const TSamples opaque = Opaque(41, 23);
    const TSamples alpha = test::MakeSamples(41, 23, 4, 8);
    ExpectPixels(Load(Write(dir, "o.webp", test::WebPBytes(opaque))), opaque, 1, 0, "opaque");
    ExpectPixels(Load(Write(dir, "a.WEBP", test::WebPBytes(alpha))), alpha, 1, 0, "alpha");
    TSamples second = opaque;
    for (uint16_t& v : second.Values) v = 255 - v;
    ExpectPixels(Load(Write(dir, "anim.webp", test::AnimatedWebPBytes({alpha, second}))), alpha, 1, 0, "animation");
}

TEST(LibraryFormats, HeifAndAvifDepthsAlphaAndOrientation) {
    test::TTempDir dir;
    const struct {
        const char* what;
        const char* compression;
        int channels, bits, orientation;
        const char* extension;
    } cases[] = {
        {"AVIF 8", "av1", 3, 8, 1, "avif"},        {"HEIC 10", "hevc", 3, 10, 1, "hif"},
        {"HEIC 12", "hevc", 3, 12, 1, "heic"},
        {"AVIF alpha", "av1", 4, 8, 1, "avif"},
        {"HEIC 8", "hevc", 3, 8, 1, "heic"},       {"HEIC mirrored", "hevc", 3, 8, 4, "HEIF"},
    };
    for (const auto& c : cases) {
        const TSamples s = test::MakeSamples(64, 48, c.channels, c.bits);
        const std::string path = Write(dir, std::string("p.") + c.extension, test::HeifBytes(s, c.compression, c.orientation));
        ExpectPixels(Load(path), s, c.orientation, 4.0, c.what);
    }
}

// Old-style JPEG in TIFF, striped and tiled, reads exactly as libtiff's
// whole-picture RGBA reader (tiff2rgba) reads it.
TEST(LibraryFormats, OldStyleJpegTiffReadsAsTiff2rgba) {
    test::TTempDir dir;
    const TSamples s = test::MakeSamples(96, 80, 3, 8);
    for (const bool tiled : {false, true})
        for (const int rows : {16, 48}) {
            const std::string what = std::string(tiled ? "tiles of " : "strips of ") + std::to_string(rows) + " rows";
            const std::string path = Write(dir, "old.tif", test::OldJpegTiffBytes(s, rows, tiled));
            TIFF* tif = TIFFOpen(path.c_str(), "r");
            ASSERT_NE(tif, nullptr) << what;
            std::vector<uint32_t> reference(static_cast<size_t>(s.Width) * s.Height);
            const int read = TIFFReadRGBAImageOriented(tif, s.Width, s.Height, reference.data(), ORIENTATION_TOPLEFT, 0);
            TIFFClose(tif);
            ASSERT_EQ(read, 1) << what;
            const TBitmap got = Load(path);
            ASSERT_EQ(got.Width(), s.Width) << what;
            int differing = 0;
            for (int y = 0; y < s.Height; ++y)
                for (int x = 0; x < s.Width; ++x) {
                    const uint32_t want = reference[static_cast<size_t>(y) * s.Width + x];
                    const uint8_t* p = got.ScanLine(y) + 3 * x;
                    differing += p[2] != TIFFGetR(want) || p[1] != TIFFGetG(want) || p[0] != TIFFGetB(want);
                }
            EXPECT_EQ(differing, 0) << what;
            ExpectPixels(got, s, 1, 3.0, what);
        }
}

// AVIF files as libavif writes them: depths, grey in limited range, alpha
// stored straight or premultiplied under every transform, a grid whose cells
// are listed out of order, a sequence with no still image.
TEST(LibraryFormats, AvifAsItsReferenceLibraryReadsIt) {
    test::TTempDir dir;
    const TSamples rgb = test::MakeSamples(64, 48, 3, 8), rgba = test::MakeSamples(64, 48, 4, 8);
    const TSamples grey10 = test::MakeSamples(64, 48, 1, 10), grey12 = test::MakeSamples(64, 48, 1, 12);
    auto with = [](auto set) {
        test::TAvifOptions o;
        set(o);
        return o;
    };
    const struct {
        const char* what;
        const TSamples& samples;
        test::TAvifOptions options;
        int orientation;
        double tolerance;
    } cases[] = {
        {"RGB 8", rgb, {}, 1, 1.0},
        {"RGB 10", test::MakeSamples(64, 48, 3, 10), with([](auto& o) { o.Depth = 10; }), 1, 1.0},
        {"grey 10, limited range", grey10, with([](auto& o) { o.Depth = 10, o.Grey = true, o.LimitedRange = true; }), 1, 1.0},
        {"grey 12, limited range", grey12, with([](auto& o) { o.Depth = 12, o.Grey = true, o.LimitedRange = true; }), 1, 1.0},
        {"alpha", rgba, {}, 1, 1.0},
        {"alpha premultiplied", rgba, with([](auto& o) { o.Premultiplied = true; }), 1, 1.5},
        {"alpha, quarter turn", rgba, with([](auto& o) { o.QuarterTurns = 1; }), 8, 1.0},
        {"alpha, three quarter turns", rgba, with([](auto& o) { o.QuarterTurns = 3; }), 6, 1.0},
        {"alpha, half turn", rgba, with([](auto& o) { o.QuarterTurns = 2; }), 3, 1.0},
        {"alpha, left and right", rgba, with([](auto& o) { o.Mirror = 1; }), 2, 1.0},
        {"alpha, top and bottom", rgba, with([](auto& o) { o.Mirror = 0; }), 4, 1.0},
        {"alpha, turned and mirrored", rgba, with([](auto& o) { o.QuarterTurns = 1, o.Mirror = 1; }), 7, 1.0},
        {"turned and flipped", rgb, with([](auto& o) { o.QuarterTurns = 1, o.Mirror = 0; }), 5, 1.0},
    };
    for (const auto& c : cases) {
        const std::string path = Write(dir, "p.avif", test::AvifBytes(c.samples, c.options));
        ExpectPixels(Load(path), c.samples, c.orientation, c.tolerance, c.what);
    }
}

TEST(LibraryFormats, AvifGridCellsInTheirListedOrderAndSequences) {
    test::TTempDir dir;
    const TSamples s = test::MakeSamples(128, 64, 3, 8);
    test::TAvifOptions grid;
    grid.GridColumns = 2;
    // The cells listed right one first: the right half shows on the left.
    const std::vector<uint8_t> reversed = test::WithReferencesReversed(test::AvifBytes(s, grid), "dimg");
    TSamples swapped = s;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x)
            for (int c = 0; c < 3; ++c) swapped.At(x, y, c) = s.At((x + 64) % 128, y, c);
    ExpectPixels(Load(Write(dir, "grid.avif", reversed)), swapped, 1, 1.0, "reversed grid");
    test::TAvifOptions sequence;
    sequence.Frames = 3;
    const TSamples small = test::MakeSamples(64, 48, 3, 8);
    const std::vector<uint8_t> frames = test::AvifBytes(small, sequence);
    ExpectPixels(Load(Write(dir, "seq.avif", frames)), small, 1, 1.0, "sequence");
    ExpectPixels(Load(Write(dir, "moving.avif", test::WithFourCcRenamed(test::WithFourCcRenamed(frames, "meta", "free"), "avif", "iso8"))), small, 1, 1.0,
                 "sequence without a still image");
}

// Planes converted a few rows at a time give the picture converted whole:
// chroma is upsampled across the bands' edges as within them.
TEST(LibraryFormats, YuvBandsJoinWithoutSeams) {
    const avifPixelFormat formats[] = {AVIF_PIXEL_FORMAT_YUV420, AVIF_PIXEL_FORMAT_YUV422, AVIF_PIXEL_FORMAT_YUV444};
    TYuvTransform cropped;
    cropped.CropX = 3, cropped.CropY = 5, cropped.CropWidth = 20, cropped.CropHeight = 17;
    cropped.QuarterTurns = 1, cropped.Mirror = 1;
    for (const avifPixelFormat format : formats)
        for (const uint32_t depth : {8u, 10u})
            for (const TYuvTransform& transform : {TYuvTransform(), cropped}) {
                std::unique_ptr<avifImage, void (*)(avifImage*)> image(avifImageCreate(37, 29, depth, format), avifImageDestroy);
                ASSERT_EQ(avifImageAllocatePlanes(image.get(), AVIF_PLANES_YUV), AVIF_RESULT_OK);
                uint32_t seed = 7;
                for (int plane = 0; plane < 3; ++plane) {
                    const uint32_t rows = plane > 0 && format == AVIF_PIXEL_FORMAT_YUV420 ? 15 : 29;
                    for (uint32_t y = 0; y < rows; ++y)
                        for (uint32_t x = 0; x < image->yuvRowBytes[plane] / (depth > 8 ? 2 : 1); ++x) {
                            seed = seed * 1103515245 + 12345;
                            const uint16_t v = static_cast<uint16_t>((seed >> 8) % (1u << depth));
                            uint8_t* at = image->yuvPlanes[plane] + y * image->yuvRowBytes[plane];
                            if (depth > 8) reinterpret_cast<uint16_t*>(at)[x] = v;
                            else at[x] = static_cast<uint8_t>(v);
                        }
                }
                TBitmap whole, banded;
                YuvToBitmap(*image, transform, whole, 1 << 20);
                YuvToBitmap(*image, transform, banded, 2);
                ASSERT_EQ(whole.Width(), transform.QuarterTurns ? 17 : 37);
                for (int y = 0; y < whole.Height(); ++y)
                    ASSERT_EQ(std::memcmp(whole.ScanLine(y), banded.ScanLine(y), 3 * static_cast<size_t>(whole.Width())), 0)
                        << "format " << format << ", depth " << depth << ", row " << y;
            }
}

// The rows the resampler reads from AVIF and HEIF planes, made as they are
// read, are the rows of the whole picture, under every transform.
TEST(LibraryFormats, RowsReadFromThePlanesAreThePictures) {
    test::TTempDir dir;
    const TSamples s = test::MakeSamples(150, 139, 4, 8);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"p.heic", test::HeifBytes(test::MakeSamples(150, 139, 3, 10), "hevc", 3)}};
    for (const int turns : {-1, 1, 2})
        for (const int mirror : {-1, 0, 1}) {
            test::TAvifOptions o;
            o.QuarterTurns = turns, o.Mirror = mirror, o.Quality = 80;
            files.emplace_back("t" + std::to_string(turns) + "m" + std::to_string(mirror) + ".avif", test::AvifBytes(s, o));
        }
    for (const auto& [name, bytes] : files) {
        const std::string path = Write(dir, name, bytes);
        const TBitmap whole = Load(path);
        TPicture picture;
        picture.LoadFromFile(path);
        std::unique_ptr<TRowSource> rows = picture.Graphic()->OpenRowSource();
        ASSERT_TRUE(rows) << name;
        ASSERT_EQ(rows->Width(), whole.Width()) << name;
        ASSERT_EQ(rows->Height(), whole.Height()) << name;
        const uint8_t* row[8];
        int y = 0;
        for (int n; (n = rows->ReadRows(8, row)) > 0;)
            for (int i = 0; i < n; ++i, ++y)
                ASSERT_EQ(std::memcmp(row[i], whole.ScanLine(y), 3 * static_cast<size_t>(whole.Width())), 0) << name << " row " << y;
        EXPECT_EQ(y, whole.Height()) << name;
    }
}

// Asked to decode smaller, WebP scales while decoding and HEIF takes a stored
// thumbnail that is large enough; an animation, a picture without a thumbnail
// or with too small a one decode in full. The full size is known either way.
TEST(LibraryFormats, DecodedSmallerWhereTheFormatCan) {
    test::TTempDir dir;
    const TSamples opaque = Opaque(160, 120);
    const TSamples rgb = test::MakeSamples(160, 120, 3, 8);
    TSamples inverted = opaque;
    for (uint16_t& v : inverted.Values) v = 255 - v;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* extension;
        int shrink, width, height;
    } cases[] = {
        {"WebP by 4", test::WebPBytes(opaque), "webp", 4, 40, 30},
        {"WebP by 3, rounded up", test::WebPBytes(opaque), "webp", 3, 54, 40},
        {"WebP animation", test::AnimatedWebPBytes({opaque, inverted}), "webp", 4, 160, 120},
        {"HEIC thumbnail", test::HeifBytes(rgb, "hevc", 1, 90, nullptr, 80), "heic", 2, 80, 60},
        {"HEIC thumbnail larger than needed", test::HeifBytes(rgb, "hevc", 1, 90, nullptr, 80), "heic", 4, 80, 60},
        {"HEIC thumbnail too small", test::HeifBytes(rgb, "hevc", 1, 90, nullptr, 64), "heic", 2, 160, 120},
        {"HEIC turned, thumbnail", test::HeifBytes(rgb, "hevc", 6, 90, nullptr, 80), "heic", 2, 60, 80},
        {"HEIC without thumbnail", test::HeifBytes(rgb, "hevc", 1), "heic", 4, 160, 120},
    };
    for (const auto& c : cases) {
        const std::string path = Write(dir, std::string("p.") + c.extension, c.bytes);
        TPicture picture;
        TDecodeLimits limits;
        limits.Shrink = c.shrink;
        picture.LoadFromFile(path, limits);
        const TGraphic& graphic = *picture.Graphic();
        EXPECT_EQ(graphic.Width(), c.width) << c.what;
        EXPECT_EQ(graphic.Height(), c.height) << c.what;
        int fullWidth = 0, fullHeight = 0;
        graphic.FullSize(fullWidth, fullHeight);
        EXPECT_EQ(fullWidth, c.height > c.width ? 120 : 160) << c.what;
        EXPECT_EQ(fullHeight, c.height > c.width ? 160 : 120) << c.what;
        // What was decoded is the picture: its centre pixel is the picture's.
        TBitmap bitmap;
        bitmap.Assign(graphic);
        const TBitmap full = Load(path);
        const uint8_t* small = bitmap.ScanLine(bitmap.Height() / 2) + 3 * (bitmap.Width() / 2);
        const uint8_t* large = full.ScanLine(full.Height() / 2) + 3 * (full.Width() / 2);
        for (int channel = 0; channel < 3; ++channel) EXPECT_NEAR(small[channel], large[channel], 12) << c.what;
    }
}

// A HEIC grid as phones write one: the cells in their places.
TEST(LibraryFormats, HeicGrid) {
    test::TTempDir dir;
    const TSamples s = test::MakeSamples(192, 128, 3, 10);
    ExpectPixels(Load(Write(dir, "grid.heic", test::HeifGridBytes(s, 64, 90))), s, 1, 4.0, "grid");
}

TEST(LibraryFormats, JpegXlDepthsGreyAlphaAndOrientation) {
    test::TTempDir dir;
    const struct {
        const char* what;
        int channels, bits, orientation;
    } cases[] = {
        {"RGB 8", 3, 8, 1}, {"RGB 16", 3, 16, 1}, {"grey 16", 1, 16, 1},
        {"RGBA 8", 4, 8, 1}, {"RGB 8 turned", 3, 8, 6}, {"RGBA 16 turned", 4, 16, 7},
    };
    for (const auto& c : cases) {
        const TSamples s = test::MakeSamples(33, 21, c.channels, c.bits);
        ExpectPixels(Load(Write(dir, "p.jxl", test::JpegXlBytes(s, c.orientation))), s, c.orientation, 0, c.what);
    }
}

// What each output format writes reads back at the same size; the lossless
// ones give every pixel back.
TEST(LibraryFormats, EveryOutputFormatReadsBack) {
    for (const TOutputFormatInfo& format : OutputFormats()) {
        // Noise for the lossless formats, which must keep it; shading for the lossy ones.
        const TBitmap source = format.Lossy ? test::MakeGradient(64, 48) : test::MakeNoise(64, 48, 5);
        std::unique_ptr<TGraphic> encoder = format.Create(90);
        encoder->Assign(source);
        std::stringstream stream;
        encoder->SaveToStream(stream);
        const TFileFormat* reader = FileFormats().Find(format.Extension.substr(1));
        ASSERT_NE(reader, nullptr) << format.Key;
        std::unique_ptr<TGraphic> decoded = reader->Create();
        stream.seekg(0);
        decoded->LoadFromStream(stream);
        TBitmap back;
        back.Assign(*decoded);
        back.SetPixelFormat(TPixelFormat::pf24bit);
        ASSERT_EQ(back.Width(), 64) << format.Key;
        ASSERT_EQ(back.Height(), 48) << format.Key;
        double error = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64 * 3; ++x) error += std::abs(back.ScanLine(y)[x] - source.ScanLine(y)[x]);
        EXPECT_LE(error / (64 * 48 * 3), format.Lossy ? 3.0 : 0.0) << format.Key;
    }
}

TEST(LibraryFormats, TheGuardAndTheLimitJudgeTheHeader) {
    test::TTempDir dir;
    const struct {
        const char* extension;
        std::function<std::vector<uint8_t>(uint32_t)> announce;
    } cases[] = {{"tif", test::TiffAnnouncing}, {"webp", test::WebPAnnouncing}, {"avif", test::AvifAnnouncing},
                 {"jxl", test::JpegXlAnnouncing}};
    for (const auto& c : cases) {
        const std::string guarded = Write(dir, std::string("g.") + c.extension, c.announce(17000));
        EXPECT_THROW(Load(guarded, true), EHugeImage) << c.extension;
        const std::string beyond = Write(dir, std::string("l.") + c.extension, c.announce(20000));
        try {
            Load(beyond);
            ADD_FAILURE() << c.extension << " loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << c.extension << ": " << e.what();
        }
    }
}

TEST(LibraryFormats, TruncatedAndCorruptFilesAreRefusedCleanly) {
    test::TTempDir dir;
    const TSamples s = test::MakeSamples(48, 40, 4, 8);
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"tif", test::TiffBytes({{s, 1, false, false}})}, {"webp", test::WebPBytes(s)},
        {"avif", test::HeifBytes(s, "av1", 1)},          {"heic", test::HeifBytes(test::MakeSamples(48, 40, 3, 8), "hevc", 1)},
        {"jxl", test::JpegXlBytes(s)},
    };
    for (const auto& [extension, bytes] : files) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
        EXPECT_THROW(Load(Write(dir, std::string("cut.") + extension, cut)), EInvalidGraphic) << extension;
        EXPECT_THROW(Load(Write(dir, std::string("empty.") + extension, {})), EInvalidGraphic) << extension;
        for (uint8_t seed : {0x5A, 0xA5, 0x33}) {
            std::vector<uint8_t> spoiled = bytes;
            for (size_t i = 16; i < spoiled.size(); i += 7) spoiled[i] ^= seed;
            try {  // either refused or decoded at the size of the header; never a crash
                const TBitmap got = Load(Write(dir, std::string("bad.") + extension, spoiled));
                EXPECT_GT(got.Width(), 0) << extension;
            } catch (const EInvalidGraphic&) {
            }
        }
    }
}

}  // namespace
}  // namespace quorix
