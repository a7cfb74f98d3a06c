#include "TestPictures.h"

#include "Graphic.h"
#include "Jpeg.h"

#include <gif_lib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>

extern "C" {
#include <jpeglib.h>
}

namespace quorix::test {

TTempDir::TTempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quorix-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("cannot make a temporary folder");
    FPath = std::string(buffer.data()) + "/";
}

TTempDir::~TTempDir() {
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
}

TBitmap MakeBitmap24(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    return bitmap;
}

TBitmap MakeGradient(int width, int height) {
    TBitmap bitmap = MakeBitmap24(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
        }
    return bitmap;
}

TBitmap MakeNoise(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    TBitmap bitmap = MakeBitmap24(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int b = 0; b < 3 * width; ++b) bitmap.ScanLine(y)[b] = static_cast<uint8_t>(random() & 0xFF);
    return bitmap;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteJpeg(const std::string& path, const TBitmap& bitmap, int quality) {
    TJPEGImage jpeg;
    jpeg.CompressionQuality = quality;
    jpeg.Assign(bitmap);
    jpeg.SaveToFile(path);
}

void WriteGreyJpeg(const std::string& path, int width, int height) {
    TJPEGImage jpeg;
    jpeg.Grayscale = true;
    jpeg.Assign(MakeGradient(width, height));
    jpeg.SaveToFile(path);
}

// libjpeg's own encoder: width x height pixels of components samples in
// space, rows asked for top first; restartRows > 0 puts a restart marker
// after that many MCU rows.
std::vector<uint8_t> CompressWithLibjpeg(int width, int height, int components, int space, int quality,
                                         int restartRows, const std::function<const uint8_t*(int y)>& row) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = static_cast<J_COLOR_SPACE>(space);
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.restart_in_rows = restartRows;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW r = const_cast<uint8_t*>(row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}


void WriteCmykJpeg(const std::string& path, int width, int height, const uint8_t cmyk[4]) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) row[4 * x + c] = cmyk[c];
    WriteFileBytes(path, CompressWithLibjpeg(width, height, 4, JCS_CMYK, 100, 0, [&](int) { return row.data(); }));
}

std::vector<uint8_t> JpegWithRestarts(const TBitmap& bitmap) {
    return CompressWithLibjpeg(bitmap.Width(), bitmap.Height(), 3, JCS_EXT_BGR, 75, 1,
                               [&](int y) { return bitmap.ScanLine(y); });
}

bool SameBitmap(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0) return false;
    return true;
}

std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation, bool bigEndian) {
    auto u16 = [&](std::vector<uint8_t>& out, unsigned v) {
        if (bigEndian) { out.push_back(v >> 8); out.push_back(v & 0xFF); }
        else { out.push_back(v & 0xFF); out.push_back(v >> 8); }
    };
    auto u32 = [&](std::vector<uint8_t>& out, uint32_t v) {
        if (bigEndian) { u16(out, v >> 16); u16(out, v & 0xFFFF); }
        else { u16(out, v & 0xFFFF); u16(out, v >> 16); }
    };
    std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.push_back(bigEndian ? 'M' : 'I');
    payload.push_back(bigEndian ? 'M' : 'I');
    u16(payload, 42);
    u32(payload, 8);
    u16(payload, 2);                // two entries: a harmless one, then the orientation
    u16(payload, 0x010F); u16(payload, 2); u32(payload, 1); u32(payload, 0);
    u16(payload, 0x0112); u16(payload, 3); u32(payload, 1); u16(payload, orientation); u16(payload, 0);
    u32(payload, 0);
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.push_back(0xFF);
    out.push_back(0xE1);
    size_t length = payload.size() + 2;
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length & 0xFF));
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

namespace {

// The offset of the first segment with this marker.
size_t SegmentAt(const std::vector<uint8_t>& data, int marker) {
    size_t p = 2;
    while (p + 4 <= data.size() && data[p + 1] != marker) p += 2 + ((data[p + 2] << 8) | data[p + 3]);
    if (p + 4 > data.size()) throw std::runtime_error("no such JPEG segment");
    return p;
}

}  // namespace

std::vector<uint8_t> JpegAnnouncing(int width, int height, bool cutScan) {
    TJPEGImage small;
    small.Assign(MakeGradient(16, 16));
    small.Compress();
    std::vector<uint8_t> data = small.Data();
    size_t p = SegmentAt(data, 0xC0);
    data[p + 5] = static_cast<uint8_t>(height >> 8);
    data[p + 6] = static_cast<uint8_t>(height & 0xFF);
    data[p + 7] = static_cast<uint8_t>(width >> 8);
    data[p + 8] = static_cast<uint8_t>(width & 0xFF);
    if (cutScan) {
        p = SegmentAt(data, 0xDA);
        data.resize(p + 2 + ((data[p + 2] << 8) | data[p + 3]));
    }
    return data;
}

std::vector<int> Bgr(const TBitmap& bitmap, int x, int y) {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

void WritePng(const std::string& path, const TPngLayout& layout) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, layout.Width, layout.Height, layout.BitDepth, layout.ColorType,
                 layout.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < layout.PaletteRgb.size(); i += 3)
        palette.push_back({layout.PaletteRgb[i], layout.PaletteRgb[i + 1], layout.PaletteRgb[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 colour{};
    if (!layout.TrnsAlpha.empty()) {
        png_set_tRNS(png, info, layout.TrnsAlpha.data(), static_cast<int>(layout.TrnsAlpha.size()), nullptr);
    } else if (layout.TrnsGrey >= 0) {
        colour.gray = static_cast<png_uint_16>(layout.TrnsGrey);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    } else if (layout.TrnsRgb[0] >= 0) {
        colour.red = static_cast<png_uint_16>(layout.TrnsRgb[0]);
        colour.green = static_cast<png_uint_16>(layout.TrnsRgb[1]);
        colour.blue = static_cast<png_uint_16>(layout.TrnsRgb[2]);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    size_t rowBytes = layout.Rows.size() / layout.Height;
    std::vector<png_bytep> rows;
    for (int y = 0; y < layout.Height; ++y) rows.push_back(const_cast<png_bytep>(&layout.Rows[y * rowBytes]));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

namespace {

ColorMapObject* MakeMap(const std::vector<uint8_t>& rgb) {
    int count = static_cast<int>(rgb.size() / 3);
    int size = 2;
    while (size < count) size *= 2;
    std::vector<GifColorType> colours(size, GifColorType{0, 0, 0});
    for (int i = 0; i < count; ++i) colours[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    return GifMakeMapObject(size, colours.data());
}

void PutGraphicsControl(GifFileType* gif, int transparent) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    gcb.TransparentColor = transparent;
    GifByteType block[4];
    size_t length = EGifGCBToExtension(&gcb, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), block);
}

}  // namespace

void WriteGif(const std::string& path, const TGifLayout& layout) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) throw std::runtime_error("cannot write " + path);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = layout.GlobalRgb.empty() ? nullptr : MakeMap(layout.GlobalRgb);
    ColorMapObject* local = layout.LocalRgb.empty() ? nullptr : MakeMap(layout.LocalRgb);
    EGifPutScreenDesc(gif, layout.ScreenWidth, layout.ScreenHeight, 8, layout.Background, global);
    if (layout.Transparent >= 0) PutGraphicsControl(gif, layout.Transparent);
    EGifPutImageDesc(gif, layout.Left, layout.Top, layout.Width, layout.Height, layout.Interlaced, local);
    std::vector<uint8_t> indices = layout.Indices;
    if (layout.Interlaced) {
        static const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = starts[pass]; y < layout.Height; y += steps[pass])
                EGifPutLine(gif, &indices[static_cast<size_t>(y) * layout.Width], layout.Width);
    } else {
        for (int y = 0; y < layout.Height; ++y) EGifPutLine(gif, &indices[static_cast<size_t>(y) * layout.Width], layout.Width);
    }
    std::vector<uint8_t> ones(static_cast<size_t>(layout.Width), 1);
    for (int f = 0; f < layout.ExtraFrames; ++f) {
        EGifPutImageDesc(gif, layout.Left, layout.Top, layout.Width, layout.Height, false, nullptr);
        for (int y = 0; y < layout.Height; ++y) EGifPutLine(gif, ones.data(), layout.Width);
    }
    EGifCloseFile(gif, &error);
    if (global) GifFreeMapObject(global);
    if (local) GifFreeMapObject(local);
}

TBitmap LoadAs24(const std::string& path) {
    TPicture picture;
    picture.LoadFromFile(path);
    TBitmap bitmap;
    bitmap.Assign(*picture.Graphic());
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    return bitmap;
}

}  // namespace quorix::test
