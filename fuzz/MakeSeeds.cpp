// Writes the fuzz targets' starting corpora from the tests' own picture
// generators: quorix-fuzz-seeds <folder>.
#include "Bmp.h"
#include "Jpeg2000Bitmap.h"
#include "FormatPictures.h"
#include "TestPictures.h"

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quorix;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::vector<uint8_t>& bytes, int prefix = -1) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    if (prefix >= 0) out.put(static_cast<char>(prefix));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Saved(TGraphic& graphic) {
    std::ostringstream out;
    graphic.SaveToStream(out);
    const std::string s = out.str();
    return {s.begin(), s.end()};
}

void PictureSeeds(const fs::path& folder) {
    const fs::path tmp = fs::temp_directory_path() / "quorix-seeds";
    fs::create_directories(tmp);
    auto file = [&](const char* name) { return (tmp / name).string(); };
    // Prefix bytes pick the format: 0 bmp, 1 jpg, 2 png, 3 gif, 4 jp2, 5 j2k, 6 tif, 7 webp, 8 heic, 9 avif, 10 jxl.
    for (int bits : {24, 32}) {
        TBmpImage bmp;
        bmp.Assign(test::MakeGradient(13, 7));
        bmp.SetPixelFormat(static_cast<TPixelFormat>(bits));
        Write(folder / ("bmp-" + std::to_string(bits)), Saved(bmp), 0);
    }
    test::WriteJpeg(file("a.jpg"), test::MakeGradient(24, 16), 75);
    Write(folder / "jpeg", test::ReadFileBytes(file("a.jpg")), 1);
    Write(folder / "jpeg-exif", test::WithExifOrientation(test::ReadFileBytes(file("a.jpg")), 6, true), 1);
    test::WriteGreyJpeg(file("g.jpg"), 16, 8);
    Write(folder / "jpeg-grey", test::ReadFileBytes(file("g.jpg")), 1);
    const uint8_t cmyk[4] = {10, 200, 30, 40};
    test::WriteCmykJpeg(file("c.jpg"), 8, 8, cmyk);
    Write(folder / "jpeg-cmyk", test::ReadFileBytes(file("c.jpg")), 1);
    test::TPngSpec rgb;
    rgb.Width = rgb.Height = 4;
    for (int i = 0; i < 4 * 4 * 3; ++i) rgb.Rows.push_back(static_cast<uint8_t>(i * 5));
    test::WritePng(file("a.png"), rgb);
    Write(folder / "png-rgb", test::ReadFileBytes(file("a.png")), 2);
    test::TPngSpec palette;
    palette.Width = 4;
    palette.Height = 2;
    palette.ColorType = 3;
    palette.PaletteRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    palette.TrnsAlpha = {0, 128};
    palette.Rows = {0, 1, 2, 1, 2, 1, 0, 0};
    palette.Interlaced = true;
    test::WritePng(file("p.png"), palette);
    Write(folder / "png-palette", test::ReadFileBytes(file("p.png")), 2);
    test::TGifSpec gif;
    gif.ScreenWidth = gif.Width = 2;
    gif.ScreenHeight = gif.Height = 2;
    gif.GlobalRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    gif.Indices = {0, 1, 2, 3};
    gif.Transparent = 3;
    test::WriteGif(file("a.gif"), gif);
    Write(folder / "gif", test::ReadFileBytes(file("a.gif")), 3);
    TJpeg2000Bitmap jp2;
    jp2.Assign(test::MakeGradient(16, 16));
    Write(folder / "jp2", Saved(jp2), 4);
    // 6 tif, 7 webp, 8 heic, 9 avif, 10 jxl: small, with the features each decoder branches on.
    const test::TSamples rgb8 = test::MakeSamples(12, 9, 3, 8), rgba16 = test::MakeSamples(10, 7, 4, 16);
    Write(folder / "tif-rgb", test::TiffBytes({{rgb8, 1, false, false}}), 6);
    Write(folder / "tif-rgba16-turned", test::TiffBytes({{rgba16, 6, false, false}, {rgb8, 1, false, false}}), 6);
    Write(folder / "tif-grey-tiled", test::TiffBytes({{test::MakeSamples(20, 18, 1, 8), 3, false, true}}), 6);
    Write(folder / "tif-old-jpeg-strips", test::OldJpegTiffBytes(test::MakeSamples(32, 32, 3, 8), 16, false), 6);
    Write(folder / "tif-old-jpeg-tiles", test::OldJpegTiffBytes(test::MakeSamples(32, 48, 3, 8), 32, true), 6);
    Write(folder / "webp", test::WebPBytes(test::MakeSamples(12, 9, 4, 8)), 7);
    Write(folder / "webp-animated", test::AnimatedWebPBytes({test::MakeSamples(8, 8, 4, 8), test::MakeSamples(8, 8, 4, 8)}), 7);
    Write(folder / "heic", test::HeifBytes(test::MakeSamples(16, 16, 3, 8), "hevc", 6, 50), 8);
    Write(folder / "avif-alpha", test::HeifBytes(test::MakeSamples(16, 16, 4, 8), "av1", 1, 50), 9);
    test::TAvifOptions grid, turned, sequence;
    grid.GridColumns = 2;
    turned.QuarterTurns = 1, turned.Mirror = 0, turned.Premultiplied = true;
    sequence.Frames = 2, sequence.Grey = true, sequence.Depth = 10, sequence.LimitedRange = true;
    Write(folder / "avif-grid-reversed",
          test::WithReferencesReversed(test::AvifBytes(test::MakeSamples(128, 64, 3, 8), grid), "dimg"), 9);
    Write(folder / "avif-alpha-turned", test::AvifBytes(test::MakeSamples(16, 12, 4, 8), turned), 9);
    Write(folder / "avif-grey-sequence", test::AvifBytes(test::MakeSamples(16, 12, 1, 10), sequence), 9);
    Write(folder / "jxl", test::JpegXlBytes(test::MakeSamples(12, 9, 3, 8), 6), 10);
    Write(folder / "jxl-rgba16", test::JpegXlBytes(rgba16), 10);
    fs::remove_all(tmp);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path root = argv[1];
    PictureSeeds(root / "picture");
    for (int i = 0; i < 4; ++i) {
        std::vector<uint8_t> seed{static_cast<uint8_t>(13 * i + 5), static_cast<uint8_t>(9 * i + 3),
                                  static_cast<uint8_t>(40 + 50 * i), static_cast<uint8_t>(200 - 40 * i),
                                  static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
        TBitmap noise = test::MakeNoise(8, 8, static_cast<uint32_t>(i));
        seed.insert(seed.end(), noise.ScanLine(0), noise.ScanLine(0) + noise.ByteSize());
        Write(root / "resample" / ("seed-" + std::to_string(i)), seed);
    }
    const std::string ini = "[WindowState]\r\nLeft=10\r\nMaximized=1\r\n[Settings]\r\ntrkQuality=0x50\r\n"
                            "spnDecFactor=2.5\r\nLastPath=/home/user/Pictures/\r\n[Updates]\r\nLastCheck=0\r\n";
    Write(root / "ini" / "settings", {ini.begin(), ini.end()});
    const std::string page = "<html><head>\n<META NAME=\"OrvelProduct\" CONTENT=\"Quorix\">\n"
                             "<meta name=\"OrvelVersion\" content=\"2.4.0.1\">\n2.3.0.0\n</head></html>\n";
    Write(root / "update" / "page", {page.begin(), page.end()});
    return 0;
}
