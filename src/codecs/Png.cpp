#include "Png.h"

#include "Cancel.h"

#include "DeepResample.h"
#include "QuorixError.h"
#include "RasterImage.h"
#include "RowSource.h"
#include "StreamBytes.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

namespace quorix {

namespace {

// libpng leaves an error by longjmp to the *Stage function that called it; the
// message is kept here and becomes an exception after that function returns.
}  // namespace

struct TPngContext {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    size_t Position = 0;
    std::istream* Stream = nullptr;  // read from here instead, when set
    char Message[256] = "";
    std::ostream* Out = nullptr;  // written to
};

namespace {

extern "C" void PngError(png_structp png, png_const_charp message) {
    auto* context = static_cast<TPngContext*>(png_get_error_ptr(png));
    std::snprintf(context->Message, sizeof context->Message, "%s", message ? message : "PNG error");
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

extern "C" void PngRead(png_structp png, png_bytep out, png_size_t length) {
    auto* context = static_cast<TPngContext*>(png_get_io_ptr(png));
    if (context->Stream) {
        context->Stream->read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(length));
        if (static_cast<png_size_t>(context->Stream->gcount()) != length) png_error(png, "Unexpected end of PNG data");
        return;
    }
    if (context->Size - context->Position < length) png_error(png, "Unexpected end of PNG data");
    std::memcpy(out, context->Data + context->Position, length);
    context->Position += length;
}

extern "C" void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* context = static_cast<TPngContext*>(png_get_io_ptr(png));
    if (!context->Out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length)))
        png_error(png, std::strerror(errno ? errno : EIO));
}

extern "C" void PngFlush(png_structp) {}

struct TPngReader {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TPngContext Context;
    ~TPngReader() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

struct TPngHeader {
    png_uint_32 Width, Height;
    int BitDepth, ColorType;
    bool HasTrns;
    bool PartialTrns;  // a palette tRNS with values other than 0 and 255
};

int ReadInfoStage(TPngReader* r, TPngHeader* header) {
    if (setjmp(png_jmpbuf(r->Png))) return 1;
    png_set_read_fn(r->Png, &r->Context, PngRead);
    png_set_sig_bytes(r->Png, 8);  // the caller checked the signature
    png_set_user_limits(r->Png, 0x7fffffff, 0x7fffffff);
    png_read_info(r->Png, r->Info);
    png_get_IHDR(r->Png, r->Info, &header->Width, &header->Height, &header->BitDepth, &header->ColorType,
                 nullptr, nullptr, nullptr);
    header->HasTrns = png_get_valid(r->Png, r->Info, PNG_INFO_tRNS) != 0;
    header->PartialTrns = false;
    if (header->HasTrns && header->ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_bytep alpha = nullptr;
        int count = 0;
        png_get_tRNS(r->Png, r->Info, &alpha, &count, nullptr);
        for (int i = 0; i < count; ++i)
            if (alpha[i] != 0 && alpha[i] != 255) header->PartialTrns = true;
    }
    return 0;
}

// Asks libpng for 8-bit BGRA when compositing, else for the stored layout with
// 16-bit samples scaled to 8 and 2-bit indices widened to bytes.
int SetTransformsStage(TPngReader* r, const TPngHeader* header, bool composite) {
    if (setjmp(png_jmpbuf(r->Png))) return 1;
    png_structp png = r->Png;
    if (header->BitDepth == 16) png_set_scale_16(png);
    if (composite) {
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_set_bgr(png);
    } else if (header->ColorType == PNG_COLOR_TYPE_RGB) {
        png_set_bgr(png);
    } else if (header->ColorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        png_set_strip_alpha(png);
        png_set_bgr(png);
    } else if (header->BitDepth == 2) {
        png_set_packing(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, r->Info);
    return 0;
}

int ReadRowStage(TPngReader* r, png_bytep row) {
    if (setjmp(png_jmpbuf(r->Png))) return 1;
    png_read_row(r->Png, row, nullptr);
    return 0;
}

int ReadEndStage(TPngReader* r) {
    if (setjmp(png_jmpbuf(r->Png))) return 1;
    png_read_end(r->Png, nullptr);
    return 0;
}

int ReadRowsStage(TPngReader* r, png_bytepp rows) {
    if (setjmp(png_jmpbuf(r->Png))) return 1;
    png_read_image(r->Png, rows);
    png_read_end(r->Png, nullptr);
    return 0;
}

[[noreturn]] void RaisePngError(const TPngContext& context) {
    throw EInvalidGraphic(std::string("PNG error: ") + context.Message);
}

std::vector<TPaletteEntry> StoredPalette(TPngReader& r, const TPngHeader& header) {
    std::vector<TPaletteEntry> palette;
    if (header.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colours = nullptr;
        int count = 0;
        if (png_get_PLTE(r.Png, r.Info, &colours, &count))
            for (int i = 0; i < count; ++i) palette.push_back({colours[i].blue, colours[i].green, colours[i].red, 0});
    } else {  // grey of 1, 2, 4 or 8 bits (16 is scaled to 8)
        int depth = header.BitDepth > 8 ? 8 : header.BitDepth;
        int levels = 1 << depth;
        for (int i = 0; i < levels; ++i) {
            uint8_t v = static_cast<uint8_t>(i * 255 / (levels - 1));
            palette.push_back({v, v, v, 0});
        }
    }
    return palette;
}

TPixelFormat StoredFormat(const TPngHeader& header) {
    if (header.ColorType & PNG_COLOR_MASK_COLOR && header.ColorType != PNG_COLOR_TYPE_PALETTE)
        return TPixelFormat::pf24bit;
    switch (header.BitDepth) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    default: return TPixelFormat::pf8bit;
    }
}

// Fully transparent pixels come out black; the alpha byte is kept.
void CompositeOverBlack(TBitmap& bitmap) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, p += 4) {
            unsigned a = p[3];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * a + 127) / 255);
        }
    }
}

struct TPngWriter {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TPngContext Context;
    ~TPngWriter() { png_destroy_write_struct(&Png, Info ? &Info : nullptr); }
};

// zlib's level, the row filters tried and the deflate strategy for an effort,
// chosen by measurement on a 3-megapixel photo (2000x1500): fast 0.30 s,
// balanced 0.40 s, smallest 5.3 s, against 3.1 s for libpng's own defaults;
// the files 17 % and 7 % larger than those, and 1 % smaller.
void SetEffortStage(png_structp png, TEncodeEffort effort) {
    switch (effort) {
    case TEncodeEffort::Fast:
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_strategy(png, Z_FILTERED);
        break;
    case TEncodeEffort::Balanced:
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
        png_set_compression_strategy(png, Z_RLE);
        break;
    case TEncodeEffort::Smallest:
        png_set_compression_level(png, 9);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
        png_set_compression_strategy(png, Z_FILTERED);
        break;
    }
}

// deep, when given, is written at 16 bits a sample instead of the bitmap.
int WriteStage(TPngWriter* w, const TBitmap* bitmap, const TDeepPixels* deep, TEncodeEffort effort) {
    if (setjmp(png_jmpbuf(w->Png))) return 1;
    png_set_write_fn(w->Png, &w->Context, PngWrite, PngFlush);
    SetEffortStage(w->Png, effort);
    png_set_IHDR(w->Png, w->Info, static_cast<png_uint_32>(bitmap->Width()),
                 static_cast<png_uint_32>(bitmap->Height()), deep ? 16 : 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w->Png, w->Info);
    png_set_bgr(w->Png);
    if (deep) png_set_swap(w->Png);  // the samples are in the machine's order, the file's are big-endian
    for (int y = 0; y < bitmap->Height(); ++y) {
        if ((y & 63) == 0) CheckCancelled();  // between libpng's calls, never inside one
        png_write_row(w->Png, deep ? reinterpret_cast<png_bytep>(const_cast<uint16_t*>(deep->Row(y)))
                                   : const_cast<png_bytep>(bitmap->ScanLine(y)));
    }
    png_write_end(w->Png, nullptr);
    return 0;
}

// For a picture of 16 bits a sample: grey expanded to RGB, an alpha channel
// added where there is none, in the machine's order.
int DeepTransformsStage(TPngReader* r, int* passes) {
    if (setjmp(png_jmpbuf(r->Png))) return 1;
    png_set_expand(r->Png);
    png_set_gray_to_rgb(r->Png);
    png_set_add_alpha(r->Png, 0xFFFF, PNG_FILLER_AFTER);
    png_set_swap(r->Png);
    *passes = png_set_interlace_handling(r->Png);
    png_read_update_info(r->Png, r->Info);
    return 0;
}

// The 16-bit picture, alpha composited over black, and its 24-bit copy
// (each sample rounded to 8 bits).
void DecodeDeep(TPngReader& r, const TPngHeader& header, TBitmap& bitmap, TDeepPixels& deep) {
    int passes = 1;
    if (DeepTransformsStage(&r, &passes)) RaisePngError(r.Context);
    const int width = static_cast<int>(header.Width), height = static_cast<int>(header.Height);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    deep.SetSize(width, height);
    // Interlaced pictures fill their rows over seven passes: the whole RGBA picture is held then.
    std::vector<uint16_t> rows(static_cast<size_t>(width) * 4 * (passes > 1 ? height : 1), 0);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < height; ++y) {
            uint16_t* row = rows.data() + (passes > 1 ? static_cast<size_t>(y) * width * 4 : 0);
            if (ReadRowStage(&r, reinterpret_cast<png_bytep>(row))) RaisePngError(r.Context);
            if (pass + 1 < passes) continue;
            TSampleLayout layout;
            layout.Channels = 4, layout.BytesPerSample = 2, layout.MaxValue = 65535;
            SamplesToDeepPixels(reinterpret_cast<const uint8_t*>(row), layout, width, deep.Row(y));
            const uint16_t* in = deep.Row(y);
            uint8_t* out = bitmap.ScanLine(y);
            for (int x = 0; x < 3 * width; ++x) out[x] = static_cast<uint8_t>((in[x] * 255u + 32767u) / 65535u);
        }
    if (ReadEndStage(&r)) RaisePngError(r.Context);
}

// Rows with alpha composited over black one at a time into 24 bits: the
// picture is never held with its alpha (an RGBA picture would take a third
// more than the 24-bit one).
TBitmap CompositedRows(TPngReader& r, const TPngHeader& header) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(static_cast<int>(header.Width), static_cast<int>(header.Height));
    std::vector<uint8_t> row(static_cast<size_t>(header.Width) * 4);
    for (int y = 0; y < bitmap.Height(); ++y) {
        if (ReadRowStage(&r, row.data())) RaisePngError(r.Context);
        uint8_t* out = bitmap.ScanLine(y);
        for (size_t x = 0; x < header.Width; ++x, out += 3) {
            const uint8_t* p = row.data() + 4 * x;
            const unsigned a = p[3];
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((p[c] * a + 127) / 255);
        }
    }
    if (ReadEndStage(&r)) RaisePngError(r.Context);
    return bitmap;
}

}  // namespace

// The file is read as libpng asks for it: only the decoded picture is held.
void TPngImage::LoadFromStream(std::istream& stream) {
    uint8_t signature[8];
    stream.read(reinterpret_cast<char*>(signature), 8);
    if (stream.gcount() != 8 || png_sig_cmp(signature, 0, 8) != 0) throw EInvalidGraphic("PNG error: Not a PNG file");
    TPngContext context;
    context.Stream = &stream;
    Decode(context);
}

void TPngImage::LoadFromBytes(const uint8_t* data, size_t size) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) throw EInvalidGraphic("PNG error: Not a PNG file");
    TPngContext context;
    context.Data = data;
    context.Size = size;
    context.Position = 8;
    Decode(context);
}

void TPngImage::Decode(TPngContext& context) {
    TPngReader r;
    r.Context = context;
    r.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.Context, PngError, PngWarning);
    if (!r.Png) throw std::bad_alloc();
    r.Info = png_create_info_struct(r.Png);
    if (!r.Info) throw std::bad_alloc();

    TPngHeader header{};
    if (ReadInfoStage(&r, &header)) RaisePngError(r.Context);
    CheckHeader(header.Width, header.Height);
    FDeep.reset();
    if (Limits.Deep && header.BitDepth == 16) {
        TBitmap bitmap;
        auto deep = std::make_shared<TDeepPixels>();
        DecodeDeep(r, header, bitmap, *deep);
        FBitmap.Swap(bitmap);
        FDeep = std::move(deep);
        FTransparency = TPngTransparency::ptmNone;
        return;
    }
    bool alpha = (header.ColorType & PNG_COLOR_MASK_ALPHA) != 0;
    bool composite = alpha || header.PartialTrns;
    TPngTransparency mode = composite ? TPngTransparency::ptmPartial
                          : header.HasTrns ? TPngTransparency::ptmBit : TPngTransparency::ptmNone;
    if (SetTransformsStage(&r, &header, composite)) RaisePngError(r.Context);

    const bool interlaced = png_get_interlace_type(r.Png, r.Info) != PNG_INTERLACE_NONE;
    if (composite && !interlaced) {
        TBitmap rows = CompositedRows(r, header);
        FBitmap.Swap(rows);
        FTransparency = mode;
        return;
    }
    TBitmap bitmap;
    bitmap.SetPixelFormat(composite ? TPixelFormat::pf32bit : StoredFormat(header));
    bitmap.SetSize(static_cast<int>(header.Width), static_cast<int>(header.Height));
    if (!composite && !(header.ColorType & PNG_COLOR_MASK_COLOR && header.ColorType != PNG_COLOR_TYPE_PALETTE))
        bitmap.SetPalette(StoredPalette(r, header));
    std::vector<png_bytep> rows(header.Height);
    for (int y = 0; y < bitmap.Height(); ++y) rows[y] = bitmap.ScanLine(y);
    if (ReadRowsStage(&r, rows.data())) RaisePngError(r.Context);
    if (composite) CompositeOverBlack(bitmap);
    FBitmap.Swap(bitmap);
    FTransparency = mode;
}

bool TPngImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    if (size < 24 || png_sig_cmp(head, 0, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
    auto big = [&](size_t at) { return (uint32_t{head[at]} << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3]; };
    peek.Width = big(16);
    peek.Height = big(20);
    return true;
}

std::unique_ptr<TRowSource> TPngImage::OpenRowSource() const {
    return FBitmap.OpenRowSource();
}

void TPngImage::SaveToStream(std::ostream& stream) {
    // A 24-bit picture is written as it is; others through a 24-bit copy.
    TBitmap converted;
    const TBitmap* rgb = &FBitmap;
    if (FBitmap.PixelFormat() != TPixelFormat::pf24bit) {
        converted = FBitmap;
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        rgb = &converted;
    }
    TPngWriter w;
    w.Context.Out = &stream;  // straight into the file: the encoded picture is never held whole
    w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.Context, PngError, PngWarning);
    if (!w.Png) throw std::bad_alloc();
    w.Info = png_create_info_struct(w.Png);
    if (!w.Info) throw std::bad_alloc();
    const TDeepPixels* deep = FDeep && FDeep->Width() == rgb->Width() && FDeep->Height() == rgb->Height() ? FDeep.get() : nullptr;
    if (WriteStage(&w, rgb, deep, FEffort)) RaisePngError(w.Context);
    if (!stream) throw EFileError("Cannot write the file: " + std::string(w.Context.Message));
}

void TPngImage::Assign(const TGraphic& source) {
    FDeep.reset();
    if (auto png = dynamic_cast<const TPngImage*>(&source)) {
        FBitmap = png->FBitmap;
        FTransparency = png->FTransparency;
    } else if (auto bitmap = dynamic_cast<const TBitmap*>(&source)) {
        FBitmap = *bitmap;
        FTransparency = TPngTransparency::ptmNone;
    } else {
        TGraphic::Assign(source);
    }
}

void TPngImage::TakeBitmap(TBitmap& bitmap) {
    FDeep.reset();
    FBitmap.Swap(bitmap);
    FTransparency = TPngTransparency::ptmNone;
}

void TPngImage::AssignTo(TGraphic& dest) const {
    if (auto bitmap = dynamic_cast<TBitmap*>(&dest)) {
        bitmap->Assign(FBitmap);
        return;
    }
    TGraphic::AssignTo(dest);
}

}  // namespace quorix
