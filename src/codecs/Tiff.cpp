#include "Tiff.h"

#include "DeepResample.h"

#include "Jpeg.h"
#include "QuorixError.h"
#include "RasterImage.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace quorix {

namespace {

// The file as libtiff sees it: bytes in memory, read or written.
struct TTiffMemory {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    std::vector<uint8_t>* Out = nullptr;
    uint64_t Position = 0;
    std::string Error;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    auto* m = static_cast<TTiffMemory*>(handle);
    if (size < 0 || m->Position >= m->Size) return 0;
    const size_t n = std::min<uint64_t>(static_cast<uint64_t>(size), m->Size - m->Position);
    std::memcpy(buffer, m->Data + m->Position, n);
    m->Position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    auto* m = static_cast<TTiffMemory*>(handle);
    if (!m->Out || size < 0) return -1;
    const uint64_t end = m->Position + static_cast<uint64_t>(size);
    if (end > m->Out->size()) m->Out->resize(end);
    std::memcpy(m->Out->data() + m->Position, buffer, static_cast<size_t>(size));
    m->Position = end;
    return size;
}

uint64_t Length(const TTiffMemory& m) { return m.Out ? m.Out->size() : m.Size; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* m = static_cast<TTiffMemory*>(handle);
    uint64_t base = whence == SEEK_CUR ? m->Position : whence == SEEK_END ? Length(*m) : 0;
    if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
    m->Position = base + offset;
    return m->Position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return Length(*static_cast<TTiffMemory*>(handle)); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages go to the picture's error, not to standard error.
int ErrorHandler(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* m = static_cast<TTiffMemory*>(user);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    if (m->Error.empty()) m->Error = text;
    return 1;
}
int WarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

TTiffPtr Open(TTiffMemory& memory, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, ErrorHandler, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options, WarningHandler, &memory);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{1} << 30);
    TIFF* tif = TIFFClientOpenExt("picture.tif", mode, &memory, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                  MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return TTiffPtr(tif);
}

[[noreturn]] void Fail(const TTiffMemory& memory, const char* what) {
    throw EInvalidGraphic(std::string("TIFF error: ") + (memory.Error.empty() ? what : memory.Error));
}

// 16-bit grey, RGB (with or without alpha) or CMYK, and CMYK of 8 or 16
// bits to be shown through its profile, in strips or tiles: read as stored,
// so that each sample is rounded to 8 bits rather than cut.
struct TSixteenBits {
    int Samples = 0, Colours = 0, Bytes = 2;
    bool Unassociated = false, DropExtra = false;
    bool Cmyk = false;  // ink amounts, 0 for none (libtiff's RGBA reader takes only 8 bits of them)
    const TCmykConversion* Convert = nullptr;  // CMYK through the picture's profile
};

bool SixteenBitLayout(TIFF* tif, const TCmykConversion& convert, TSixteenBits& layout) {
    uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, extra = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
    uint16_t inks = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK, rgb = photometric == PHOTOMETRIC_RGB;
    layout.Cmyk = photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK;
    layout.Colours = grey ? 1 : layout.Cmyk ? 4 : 3;
    layout.Samples = samples;
    // An associated (premultiplied) alpha is already over black: it is left out.
    layout.Unassociated = !layout.Cmyk && extra == 1 && extraTypes && extraTypes[0] == EXTRASAMPLE_UNASSALPHA;
    layout.DropExtra = extra == 1 && !layout.Unassociated;
    if (layout.Cmyk && convert) layout.Convert = &convert;
    layout.Bytes = bits / 8;
    return (bits == 16 || (bits == 8 && layout.Convert)) && planar == PLANARCONFIG_CONTIG && (grey || rgb || layout.Cmyk) &&
           extra <= 1 && samples == layout.Colours + extra;
}

// 16-bit ink amounts as the plain formula shows them, as libtiff's RGBA reader
// does for 8 bits: each colour is what its ink and black leave of white.
void CmykRow(const uint8_t* stored, const TSixteenBits& layout, uint8_t* out, int width) {
    constexpr uint64_t Full = 65535, Whole = Full * Full;
    for (int x = 0; x < width; ++x, out += 3) {
        uint16_t ink[4];
        std::memcpy(ink, stored + static_cast<size_t>(x) * layout.Samples * 2, sizeof ink);
        for (int c = 0; c < 3; ++c)  // cyan gives red, magenta green, yellow blue
            out[2 - c] = static_cast<uint8_t>(((Full - ink[c]) * (Full - ink[3]) * 255 + Whole / 2) / Whole);
    }
}

// One row of stored samples into the bitmap's row y.
// deep, when given, gets the row's 16-bit pixels too.
void SixteenBitRow(const uint8_t* stored, const TSixteenBits& layout, int y, std::vector<uint8_t>& picked, TBitmap& bitmap,
                   TDeepPixels* deep) {
    if (layout.Convert) {
        const size_t inkBytes = 4 * static_cast<size_t>(layout.Bytes), pixelBytes = layout.Samples * static_cast<size_t>(layout.Bytes);
        if (layout.Samples != 4) {  // the extra sample left out
            picked.resize(static_cast<size_t>(bitmap.Width()) * inkBytes);
            for (int x = 0; x < bitmap.Width(); ++x) std::memcpy(&picked[x * inkBytes], stored + x * pixelBytes, inkBytes);
            stored = picked.data();
        }
        return (*layout.Convert)(stored, layout.Bytes, false, bitmap.ScanLine(y), bitmap.Width());
    }
    if (layout.Cmyk) return CmykRow(stored, layout, bitmap.ScanLine(y), bitmap.Width());
    TSampleLayout samples;
    samples.Channels = layout.Colours + (layout.Unassociated ? 1 : 0);
    samples.BytesPerSample = 2;
    samples.MaxValue = 65535;
    if (layout.DropExtra) {
        picked.resize(static_cast<size_t>(bitmap.Width()) * layout.Colours * 2);
        for (int x = 0; x < bitmap.Width(); ++x)
            std::memcpy(&picked[static_cast<size_t>(x) * layout.Colours * 2], stored + static_cast<size_t>(x) * layout.Samples * 2,
                        layout.Colours * 2);
        stored = picked.data();
    }
    SamplesToPixels(stored, samples, bitmap.Width(), bitmap.ScanLine(y));
    if (deep) SamplesToDeepPixels(stored, samples, bitmap.Width(), deep->Row(y));
}

// deep, when given, is sized and filled where the samples are RGB or grey
// (not inks), else left empty.
bool ReadSixteenBits(TIFF* tif, TTiffMemory& memory, const TCmykConversion& convert, TBitmap& bitmap,
                     std::shared_ptr<TDeepPixels>& deep) {
    TSixteenBits layout;
    if (!SixteenBitLayout(tif, convert, layout)) return false;
    if (layout.Cmyk || layout.Convert) deep.reset();
    if (deep) deep->SetSize(bitmap.Width(), bitmap.Height());
    const size_t pixelBytes = static_cast<size_t>(layout.Samples) * layout.Bytes, width = static_cast<size_t>(bitmap.Width());
    std::vector<uint8_t> picked;
    if (!TIFFIsTiled(tif)) {
        std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
        if (row.size() < width * pixelBytes) Fail(memory, "bad scanline size");
        for (int y = 0; y < bitmap.Height(); ++y) {
            if (TIFFReadScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0) Fail(memory, "cannot read a row");
            SixteenBitRow(row.data(), layout, y, picked, bitmap, deep.get());
        }
        return true;
    }
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t tileBytes = TIFFTileSize(tif);
    const uint64_t tilePixels = uint64_t{tileWidth} * tileLength;
    if (tileWidth == 0 || tileLength == 0 || tileBytes <= 0 || static_cast<uint64_t>(tileBytes) < tilePixels * pixelBytes ||
        uint64_t{tileLength} * width * pixelBytes > (uint64_t{1} << 30))  // a band of rows is held at once
        Fail(memory, "bad tile size");
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes)), band(width * pixelBytes * tileLength);
    for (uint32_t top = 0; top < static_cast<uint32_t>(bitmap.Height()); top += tileLength) {
        const uint32_t rows = std::min<uint32_t>(tileLength, static_cast<uint32_t>(bitmap.Height()) - top);
        for (uint32_t left = 0; left < width; left += tileWidth) {
            if (TIFFReadTile(tif, tile.data(), left, top, 0, 0) < 0) Fail(memory, "cannot read a tile");
            const size_t columns = std::min<size_t>(tileWidth, width - left);
            for (uint32_t r = 0; r < rows; ++r)
                std::memcpy(&band[(r * width + left) * pixelBytes], &tile[static_cast<size_t>(r) * tileWidth * pixelBytes],
                            columns * pixelBytes);
        }
        for (uint32_t r = 0; r < rows; ++r)
            SixteenBitRow(&band[r * width * pixelBytes], layout, static_cast<int>(top + r), picked, bitmap, deep.get());
    }
    return true;
}

// The rows libtiff's RGBA reader is asked for at a time. JPEG data (old style
// or new) is decoded by whole tiles or strips: a band that cuts one is read
// wrongly, and old-style JPEG corrupts memory then. Other data goes by whole
// strips or tiles of up to 4 megapixels (each band that cuts one decodes and
// allocates it again), else 64 rows at a time.
int RgbaBand(TIFF* tif, TTiffMemory& memory, int width, int height) {
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    uint32_t rows = 0;
    if (TIFFIsTiled(tif)) TIFFGetField(tif, TIFFTAG_TILELENGTH, &rows);
    else TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    rows = std::min<uint32_t>(rows, static_cast<uint32_t>(height));
    if (compression != COMPRESSION_JPEG && compression != COMPRESSION_OJPEG)
        return rows > 64 && uint64_t{rows} * static_cast<uint64_t>(width) <= (uint64_t{4} << 20) ? static_cast<int>(rows)
                                                                                                 : std::min(64, height);
    if (rows == 0 || uint64_t{rows} * static_cast<uint64_t>(width) * 4 > (uint64_t{1} << 30))
        Fail(memory, "tiles or strips too large to read");
    return static_cast<int>(rows);
}

// Every photometric interpretation libtiff knows, through its RGBA reader, a
// band of rows at a time.
void ReadThroughRgba(TIFF* tif, TTiffMemory& memory, TBitmap& bitmap) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message)) throw EInvalidGraphic(std::string("TIFF error: ") + message);
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 0, message)) throw EInvalidGraphic(std::string("TIFF error: ") + message);
    std::unique_ptr<TIFFRGBAImage, void (*)(TIFFRGBAImage*)> end(&image, TIFFRGBAImageEnd);
    image.req_orientation = image.orientation;  // rows as stored; the orientation is applied afterwards
    const int width = bitmap.Width(), band = RgbaBand(tif, memory, width, bitmap.Height());
    std::vector<uint32_t> raster(static_cast<size_t>(width) * band);
    for (int y = 0; y < bitmap.Height(); y += band) {
        const int rows = std::min(band, bitmap.Height() - y);
        image.row_offset = y;
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, raster.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(rows)))
            Fail(memory, "cannot read the picture");
        for (int r = 0; r < rows; ++r) {
            // Colours come premultiplied by alpha: over black already.
            const uint32_t* in = raster.data() + static_cast<size_t>(r) * width;
            uint8_t* out = bitmap.ScanLine(y + r);
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = static_cast<uint8_t>(TIFFGetB(in[x]));
                out[1] = static_cast<uint8_t>(TIFFGetG(in[x]));
                out[2] = static_cast<uint8_t>(TIFFGetR(in[x]));
            }
        }
    }
}

}  // namespace

void TTiffImage::Decode(const uint8_t* data, size_t size) {
    TTiffMemory memory;
    memory.Data = data;
    memory.Size = size;
    TTiffPtr tif = Open(memory, "rm");
    if (!tif) Fail(memory, "not a TIFF file");
    uint32_t width = 0, height = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        Fail(memory, "no picture size");
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (orientation < 1 || orientation > 8) orientation = ORIENTATION_TOPLEFT;
    CheckHeader(width, height);
    if (width == 0 || height == 0) Fail(memory, "empty picture");
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(static_cast<int>(width), static_cast<int>(height));
    // 16-bit samples are kept for a picture stored upright.
    std::shared_ptr<TDeepPixels> deep = Limits.Deep && orientation == ORIENTATION_TOPLEFT ? std::make_shared<TDeepPixels>() : nullptr;
    if (!ReadSixteenBits(tif.get(), memory, Limits.CmykToBgr, bitmap, deep)) {
        deep.reset();
        ReadThroughRgba(tif.get(), memory, bitmap);
    }
    ApplyOrientation(bitmap, orientation);
    FBitmap.Swap(bitmap);
    FDeep = std::move(deep);
}

namespace {

// The samples of one row as the file stores them: RGB, 8 or 16 bits.
void StoredRow(const TBitmap& bitmap, const TDeepPixels* deep, int y, std::vector<uint8_t>& row) {
    const int width = bitmap.Width();
    if (deep) {
        auto* out = reinterpret_cast<uint16_t*>(row.data());
        const uint16_t* in = deep->Row(y);
        for (int x = 0; x < width; ++x) out[3 * x] = in[3 * x + 2], out[3 * x + 1] = in[3 * x + 1], out[3 * x + 2] = in[3 * x];
        return;
    }
    const uint8_t* in = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) row[3 * x] = in[3 * x + 2], row[3 * x + 1] = in[3 * x + 1], row[3 * x + 2] = in[3 * x];
}

}  // namespace

std::vector<uint8_t> TTiffImage::Encode(const TBitmap& bitmap) const {
    std::vector<uint8_t> out;
    TTiffMemory memory;
    memory.Out = &out;
    TTiffPtr tif = Open(memory, "w");
    if (!tif) Fail(memory, "cannot start the file");
    const int width = bitmap.Width(), height = bitmap.Height();
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 3);
    // 16 bits a sample where the pixels to write have them.
    const TDeepPixels* deep = FDeep && FDeep->Width() == width && FDeep->Height() == height ? FDeep.get() : nullptr;
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, deep ? 16 : 8);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif.get(), 0));
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3 * (deep ? 2 : 1));
    for (int y = 0; y < height; ++y) {
        StoredRow(bitmap, deep, y, row);
        if (TIFFWriteScanline(tif.get(), row.data(), static_cast<uint32_t>(y), 0) < 0) Fail(memory, "cannot write a row");
    }
    if (!TIFFWriteDirectory(tif.get())) Fail(memory, "cannot finish the file");
    tif.reset();
    if (!memory.Error.empty()) Fail(memory, "");
    return out;
}

bool TTiffImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    TTiffMemory memory;
    memory.Data = head;
    memory.Size = size;
    TTiffPtr tif = Open(memory, "rm");  // the first directory, when it lies within the head
    uint32_t width = 0, height = 0;
    if (!tif || !TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        return false;
    peek.Width = width;
    peek.Height = height;
    peek.BytesPerPixel = 7;  // the 24-bit picture and, turned, its upright copy
    return true;
}

}  // namespace quorix
