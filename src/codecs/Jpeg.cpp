#include "Jpeg.h"

#include "Cancel.h"
#include "JpegScans.h"
#include "RowSource.h"
#include "StreamBytes.h"

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace quorix {

TJPEGSettings JPEGDefaults;

namespace {

// libjpeg leaves an error by longjmp; the calls that may do so live in the
// *Stage functions below, which touch no C++ object with a destructor, and
// the error becomes an exception after they return.
struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    int Code;
    bool Corrupt;  // damaged data was met and decoded past, as libjpeg does
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
    error->Code = cinfo->err->msg_code;
    std::longjmp(error->Jump, 1);
}

// Data that ends early, or runs into the end of the picture before it is
// complete, would decode as grey padding; treat it as the error it is. Other
// corruption inside complete data (bad bytes before a restart marker, from
// which the decoder resynchronises) decodes as libjpeg does, and is noted.
extern "C" void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    const int code = cinfo->err->msg_code;
    const int marker = cinfo->is_decompressor ? reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker : 0;
    const bool restart = marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7;
    if (code == JWRN_JPEG_EOF || (code == JWRN_HIT_MARKER && !restart)) JpegErrorExit(cinfo);
    reinterpret_cast<TJpegError*>(cinfo->err)->Corrupt = true;
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

void InitError(TJpegError& error) {
    jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    error.Manager.emit_message = JpegEmitMessage;
    error.Manager.output_message = JpegOutputMessage;
    error.Code = 0;
    error.Corrupt = false;
}

[[noreturn]] void RaiseJpegError(int code) {
    char text[64];
    std::snprintf(text, sizeof text, "JPEG error #%d", code);
    throw EJPEG(text);
}

struct TDecompressor {
    TDecompressor() { InitError(Error); Info.err = &Error.Manager; }
    ~TDecompressor() { jpeg_destroy_decompress(&Info); }
    TDecompressor(const TDecompressor&) = delete;
    TDecompressor& operator=(const TDecompressor&) = delete;
    jpeg_decompress_struct Info{};
    TJpegError Error;
};

// The compressed bytes grow in a buffer that only this destination owns:
// libjpeg's own memory destination frees its first buffer when it grows and
// leaves the caller's pointer stale, so abandoning an encoder half-way freed
// that block twice.
struct TGrowingDestination {
    jpeg_destination_mgr Pub{};
    unsigned char* Buffer = nullptr;
    size_t Capacity = 0;
    size_t Size = 0;  // bytes finished, set when the data ends
};

extern "C" void DestinationInit(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TGrowingDestination*>(cinfo->dest);
    if (!dest->Buffer) {
        dest->Buffer = static_cast<unsigned char*>(std::malloc(65536));
        if (!dest->Buffer) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
        dest->Capacity = 65536;
    }
    dest->Pub.next_output_byte = dest->Buffer;
    dest->Pub.free_in_buffer = dest->Capacity;
}

extern "C" boolean DestinationGrow(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TGrowingDestination*>(cinfo->dest);
    const size_t used = dest->Capacity;  // the library asks only when the buffer is full
    auto* grown = static_cast<unsigned char*>(std::realloc(dest->Buffer, used * 2));
    if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    dest->Buffer = grown;
    dest->Capacity = used * 2;
    dest->Pub.next_output_byte = grown + used;
    dest->Pub.free_in_buffer = dest->Capacity - used;
    return TRUE;
}

extern "C" void DestinationTerm(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TGrowingDestination*>(cinfo->dest);
    dest->Size = dest->Capacity - dest->Pub.free_in_buffer;
}

struct TCompressor {
    TCompressor() {
        InitError(Error);
        Info.err = &Error.Manager;
        Destination.Pub.init_destination = DestinationInit;
        Destination.Pub.empty_output_buffer = DestinationGrow;
        Destination.Pub.term_destination = DestinationTerm;
    }
    ~TCompressor() {
        jpeg_destroy_compress(&Info);
        std::free(Destination.Buffer);
    }
    TCompressor(const TCompressor&) = delete;
    TCompressor& operator=(const TCompressor&) = delete;
    jpeg_compress_struct Info{};
    TJpegError Error;
    TGrowingDestination Destination;
};

int ReadHeaderStage(TDecompressor* d, const uint8_t* data, size_t size) {
    if (setjmp(d->Error.Jump)) return d->Error.Code;
    d->Info.err = &d->Error.Manager;
    jpeg_create_decompress(&d->Info);
    jpeg_mem_src(&d->Info, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&d->Info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&d->Info, TRUE);
    return 0;
}

struct TDecodeSettings {
    J_COLOR_SPACE OutColorSpace;
    bool Quantize;
    bool Smoothing;
    bool BestSpeed;
    unsigned ScaleDenom;
};

int StartStage(TDecompressor* d, const TDecodeSettings* settings) {
    if (setjmp(d->Error.Jump)) return d->Error.Code;
    jpeg_decompress_struct& info = d->Info;
    info.out_color_space = settings->OutColorSpace;
    info.scale_num = 1;
    info.scale_denom = settings->ScaleDenom;
    info.do_block_smoothing = settings->Smoothing ? TRUE : FALSE;
    info.dct_method = settings->BestSpeed ? JDCT_IFAST : JDCT_ISLOW;
    info.do_fancy_upsampling = settings->BestSpeed ? FALSE : TRUE;
    info.buffered_image = FALSE;
    if (settings->Quantize) {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = 236;
    }
    jpeg_start_decompress(&info);
    return 0;
}

int ReadScanlinesStage(TDecompressor* d, JSAMPROW* rows, int count, bool finish) {
    if (setjmp(d->Error.Jump)) return d->Error.Code;
    jpeg_decompress_struct& info = d->Info;
    for (int done = 0; done < count;)
        done += static_cast<int>(jpeg_read_scanlines(&info, rows + done, static_cast<JDIMENSION>(count - done)));
    if (finish) jpeg_finish_decompress(&info);
    return 0;
}

struct TEncodeSettings {
    int Quality;
    bool Grayscale;
    bool Progressive;
};

int StartCompressStage(TCompressor* c, int width, int height, const TEncodeSettings* settings) {
    if (setjmp(c->Error.Jump)) return c->Error.Code;
    jpeg_compress_struct& info = c->Info;
    jpeg_create_compress(&info);
    info.dest = &c->Destination.Pub;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;  // the bitmap's byte order, converted as RGB
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, settings->Quality, TRUE);
    if (settings->Grayscale) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    if (settings->Progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    return 0;
}

int WriteRowsStage(TCompressor* c, const uint8_t* const* rows, int count) {
    if (setjmp(c->Error.Jump)) return c->Error.Code;
    for (int done = 0; done < count;) {
        JSAMPROW chunk[16];  // the library reads the rows, it does not write them
        const int n = std::min(16, count - done);
        for (int r = 0; r < n; ++r) chunk[r] = const_cast<JSAMPROW>(rows[done + r]);
        done += static_cast<int>(jpeg_write_scanlines(&c->Info, chunk, static_cast<JDIMENSION>(n)));
    }
    return 0;
}

int FinishCompressStage(TCompressor* c) {
    if (setjmp(c->Error.Jump)) return c->Error.Code;
    jpeg_finish_compress(&c->Info);
    return 0;
}

int OrientationOf(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1) {
            int orientation = ExifOrientation(m->data, m->data_length);
            if (orientation != 1) return orientation;
        }
    return 1;
}

std::vector<TPaletteEntry> GreyPalette() {
    std::vector<TPaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) {
        uint8_t v = static_cast<uint8_t>(i);
        palette[i] = {v, v, v, 0};
    }
    return palette;
}

std::vector<TPaletteEntry> QuantizerPalette(const jpeg_decompress_struct& info) {
    std::vector<TPaletteEntry> palette(static_cast<size_t>(info.actual_number_of_colors));
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = {info.colormap[2][i], info.colormap[1][i], info.colormap[0][i], 0};
    return palette;
}

// Stored CMYK is inverted (255 means no ink), as Adobe writes it.
void CmykToBgra(TBitmap& bitmap) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, p += 4) {
            unsigned c = p[0], m = p[1], yy = p[2], k = p[3];
            p[0] = static_cast<uint8_t>(yy * k / 255);
            p[1] = static_cast<uint8_t>(m * k / 255);
            p[2] = static_cast<uint8_t>(c * k / 255);
            p[3] = 255;
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- EXIF

int ExifOrientation(const uint8_t* data, size_t size) {
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) return 1;
    const uint8_t* tiff = data + 6;
    size_t length = size - 6;
    bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
    auto u16 = [&](size_t at) -> unsigned {
        return little ? tiff[at] | (tiff[at + 1] << 8) : (tiff[at] << 8) | tiff[at + 1];
    };
    auto u32 = [&](size_t at) -> uint32_t {
        return little ? (u16(at) | (static_cast<uint32_t>(u16(at + 2)) << 16))
                      : ((static_cast<uint32_t>(u16(at)) << 16) | u16(at + 2));
    };
    uint32_t ifd = u32(4);
    if (ifd > length || length - ifd < 2) return 1;
    unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        size_t entry = ifd + 2 + 12 * static_cast<size_t>(i);
        if (entry + 12 > length) return 1;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
            unsigned value = u16(entry + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

void ApplyOrientation(TBitmap& bitmap, int orientation) {
    if (orientation <= 1 || orientation > 8) return;
    const int w = bitmap.Width(), h = bitmap.Height();
    const bool swap = orientation >= 5;
    const size_t step = static_cast<size_t>(bitmap.BitsPerPixel() / 8);
    TBitmap upright;
    upright.SetPixelFormat(bitmap.PixelFormat());
    upright.SetSize(swap ? h : w, swap ? w : h);
    upright.SetPalette(bitmap.Palette());
    for (int y = 0; y < upright.Height(); ++y) {
        uint8_t* out = upright.ScanLine(y);
        for (int x = 0; x < upright.Width(); ++x, out += step) {
            int sx, sy;  // the stored pixel shown at (x, y)
            StoredPixelFor(orientation, w, h, x, y, sx, sy);
            std::memcpy(out, bitmap.ScanLine(sy) + sx * step, step);
        }
    }
    bitmap.Swap(upright);
}

// ---------------------------------------------------------------- TJPEGImage

TJPEGImage::TJPEGImage() : TJPEGSettings(JPEGDefaults) {}

TJPEGImage::~TJPEGImage() = default;

namespace {

// A side as libjpeg decodes it at the scale: rounded up.
int Scaled(int side, TJPEGScale scale) {
    const int denominator = 1 << static_cast<int>(scale);
    return (side + denominator - 1) / denominator;
}

}  // namespace

int TJPEGImage::Width() const {
    if (FBitmap) return FBitmap->Width();
    return Scaled(FHeader.Orientation >= 5 ? FHeader.StoredHeight : FHeader.StoredWidth, Scale);
}

int TJPEGImage::Height() const {
    if (FBitmap) return FBitmap->Height();
    return Scaled(FHeader.Orientation >= 5 ? FHeader.StoredWidth : FHeader.StoredHeight, Scale);
}

void TJPEGImage::FullSize(int& width, int& height) const {
    width = FHeader.Orientation >= 5 ? FHeader.StoredHeight : FHeader.StoredWidth;
    height = FHeader.Orientation >= 5 ? FHeader.StoredWidth : FHeader.StoredHeight;
}

void TJPEGImage::LoadFromStream(std::istream& stream) {
    LoadFromBytes(ReadAllBytes(stream));
}

bool TJPEGImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    int width, height;
    if (!JpegFrameSize(head, size, width, height)) return false;
    peek.Width = width;
    peek.Height = height;
    return true;
}

void TJPEGImage::LoadFromBytes(std::vector<uint8_t> data) {
    TDecompressor d;
    if (int code = ReadHeaderStage(&d, data.data(), data.size())) RaiseJpegError(code);
    TJPEGHeader header;
    header.StoredWidth = static_cast<int>(d.Info.image_width);
    header.StoredHeight = static_cast<int>(d.Info.image_height);
    header.Grayscale = d.Info.jpeg_color_space == JCS_GRAYSCALE;
    header.Progressive = d.Info.progressive_mode != 0;
    header.Orientation = OrientationOf(d.Info);
    CheckHeader(header.StoredWidth, header.StoredHeight);  // the guard asks both sides: turning changes nothing
    const TJpegScans scans = WalkJpegScans(data.data(), data.size(), MaxJpegScans);
    if (scans.Scans > MaxJpegScans) throw EJPEG("JPEG error: more than " + std::to_string(MaxJpegScans) + " scans");
    if (!scans.EveryComponent) throw EJPEG("JPEG error #" + std::to_string(JERR_NO_IMAGE));
    FData = std::move(data);
    FDamaged = false;
    FHeader = header;
    FBitmap.reset();
    // Decoded smaller where the reader asked (a large reduction): libjpeg's DCT scaling.
    if (Limits.Shrink >= 8) Scale = TJPEGScale::jsEighth;
    else if (Limits.Shrink >= 4) Scale = TJPEGScale::jsQuarter;
    else if (Limits.Shrink >= 2) Scale = TJPEGScale::jsHalf;
}

namespace {

// How a file decodes: the output colour space follows the file's.
struct TDecodeMode {
    bool Grey, Cmyk, Quantize;
};

TDecodeMode StartDecoding(TDecompressor& d, const std::vector<uint8_t>& data, const TJPEGSettings& options) {
    if (int code = ReadHeaderStage(&d, data.data(), data.size())) RaiseJpegError(code);
    J_COLOR_SPACE source = d.Info.jpeg_color_space;
    TDecodeMode mode;
    mode.Cmyk = source == JCS_CMYK || source == JCS_YCCK;
    mode.Grey = source == JCS_GRAYSCALE || options.Grayscale;
    // Greyscale files keep all 256 levels: quantising them only adds noise.
    mode.Quantize = !mode.Grey && !mode.Cmyk && options.PixelFormat == TJPEGPixelFormat::jf8Bit;
    static const unsigned denominators[] = {1, 2, 4, 8};
    TDecodeSettings settings{mode.Grey ? JCS_GRAYSCALE : mode.Cmyk ? JCS_CMYK : mode.Quantize ? JCS_RGB : JCS_EXT_BGR,
                             mode.Quantize, options.Smoothing, options.Performance == TJPEGPerformance::jpBestSpeed,
                             denominators[static_cast<int>(options.Scale)]};
    if (int code = StartStage(&d, &settings)) RaiseJpegError(code);
    return mode;
}

// Decodes strip by strip into a ring of strips, turning grey and CMYK rows
// into 24-bit pixels on the way.
class TJpegRowSource : public TRowSource {
public:
    TJpegRowSource(const std::vector<uint8_t>& data, const TJPEGSettings& options, const TCmykConversion& cmykToBgr,
                   std::atomic<bool>& damaged)
        : FMode(StartDecoding(FDecompressor, data, options)), FDamaged(damaged) {
        FWidth = static_cast<int>(FDecompressor.Info.output_width);
        FHeight = static_cast<int>(FDecompressor.Info.output_height);
        FRowBytes = static_cast<size_t>(FWidth) * 3;
        FRing.resize(FRowBytes * StripRows * Strips);
        if (FMode.Grey || FMode.Cmyk)
            FRaw.resize(static_cast<size_t>(FWidth) * (FMode.Cmyk ? 4 : 1) * StripRows);
        FConvertCmyk = cmykToBgr;
    }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    int KeptReads() const override { return Strips - 1; }

    int ReadRows(int maxRows, const uint8_t** rows) override {
        int n = std::min({maxRows, StripRows, FHeight - FNext});
        if (n <= 0) return 0;
        uint8_t* strip = FRing.data() + FRowBytes * StripRows * (FReads++ % Strips);
        const bool convert = FMode.Grey || FMode.Cmyk;
        const size_t rawBytes = FRaw.size() / StripRows;
        JSAMPROW targets[StripRows];
        for (int i = 0; i < n; ++i) targets[i] = convert ? FRaw.data() + rawBytes * i : strip + FRowBytes * i;
        if (int code = ReadScanlinesStage(&FDecompressor, targets, n, FNext + n == FHeight)) RaiseJpegError(code);
        if (FDecompressor.Error.Corrupt) FDamaged = true;
        for (int i = 0; i < n; ++i) {
            uint8_t* out = strip + FRowBytes * i;
            if (convert) ConvertRow(targets[i], out);
            rows[i] = out;
        }
        FNext += n;
        return n;
    }

private:
    static constexpr int StripRows = 16;
    static constexpr int Strips = 4;

    void ConvertRow(const uint8_t* raw, uint8_t* out) const {
        if (FMode.Cmyk && FConvertCmyk) return FConvertCmyk(raw, 1, true, out, FWidth);
        for (int x = 0; x < FWidth; ++x, out += 3) {
            if (FMode.Grey) {
                out[0] = out[1] = out[2] = raw[x];
                continue;
            }
            const uint8_t* p = raw + 4 * x;
            unsigned k = p[3];
            out[0] = static_cast<uint8_t>(p[2] * k / 255);
            out[1] = static_cast<uint8_t>(p[1] * k / 255);
            out[2] = static_cast<uint8_t>(p[0] * k / 255);
        }
    }

    TDecompressor FDecompressor;
    TDecodeMode FMode;
    std::atomic<bool>& FDamaged;
    TCmykConversion FConvertCmyk;
    int FWidth = 0, FHeight = 0, FNext = 0;
    int64_t FReads = 0;
    size_t FRowBytes = 0;
    std::vector<uint8_t> FRing, FRaw;
};

}  // namespace

std::unique_ptr<TRowSource> TJPEGImage::OpenRowSource() const {
    if (FBitmap) return FBitmap->OpenRowSource();
    // An 8-bit palette is decoded whole by the quantiser.
    if (FData.empty() || PixelFormat == TJPEGPixelFormat::jf8Bit) return nullptr;
    auto rows = std::make_unique<TJpegRowSource>(FData, *this, Limits.CmykToBgr, FDamaged);
    if (FHeader.Orientation == 1) return rows;
    // A turned picture needs every stored row before its first upright one:
    // decoded once at 24 bits and turned row by row as the resampler reads.
    auto stored = std::make_unique<TBitmap>();
    stored->SetSize(rows->Width(), rows->Height());
    const uint8_t* strip[16];
    for (int y = 0, n; (n = rows->ReadRows(16, strip)) > 0; y += n)
        for (int i = 0; i < n; ++i) std::memcpy(stored->ScanLine(y + i), strip[i], static_cast<size_t>(rows->Width()) * 3);
    return OrientedRowSource(std::move(stored), FHeader.Orientation);
}

void TJPEGImage::Decode() const {
    auto bitmap = std::make_unique<TBitmap>();
    if (FData.empty()) {
        FBitmap = std::move(bitmap);
        return;
    }
    TDecompressor d;
    TDecodeMode mode = StartDecoding(d, FData, *this);
    const bool grey = mode.Grey, cmyk = mode.Cmyk, quantize = mode.Quantize;

    bitmap->SetPixelFormat(grey || quantize ? TPixelFormat::pf8bit : cmyk ? TPixelFormat::pf32bit
                                                                          : TPixelFormat::pf24bit);
    bitmap->SetSize(static_cast<int>(d.Info.output_width), static_cast<int>(d.Info.output_height));
    std::vector<JSAMPROW> rows(static_cast<size_t>(bitmap->Height()));
    for (int y = 0; y < bitmap->Height(); ++y) rows[y] = bitmap->ScanLine(y);
    // In bands, so that work called off ends within one of them.
    const int height = bitmap->Height();
    for (int y = 0, n; y < height; y += n) {
        CheckCancelled();
        n = std::min(64, height - y);
        if (int code = ReadScanlinesStage(&d, rows.data() + y, n, y + n == height)) RaiseJpegError(code);
    }
    if (d.Error.Corrupt) FDamaged = true;

    if (grey) bitmap->SetPalette(GreyPalette());
    if (quantize) bitmap->SetPalette(QuantizerPalette(d.Info));
    if (cmyk && Limits.CmykToBgr) {  // through the picture's profile, row by row into a 24-bit copy
        auto converted = std::make_unique<TBitmap>();
        converted->SetPixelFormat(TPixelFormat::pf24bit);
        converted->SetSize(bitmap->Width(), bitmap->Height());
        for (int y = 0; y < bitmap->Height(); ++y)
            Limits.CmykToBgr(bitmap->ScanLine(y), 1, true, converted->ScanLine(y), bitmap->Width());
        bitmap = std::move(converted);
    } else if (cmyk) {
        CmykToBgra(*bitmap);
    }
    ApplyOrientation(*bitmap, FHeader.Orientation);
    FBitmap = std::move(bitmap);
}

void TJPEGImage::KeepDecoded() const {
    if (!FBitmap) Decode();
}

const TBitmap& TJPEGImage::Bitmap() const {
    if (!FBitmap) Decode();
    return *FBitmap;
}

void TJPEGImage::Compress() {
    if (FData.empty()) Encode(Bitmap());
}

void TJPEGImage::CompressFrom(const TBitmap& bitmap) {
    FBitmap.reset();
    FData.clear();
    Encode(bitmap);
}

void TJPEGImage::Encode(const TBitmap& bitmap) {
    const TBitmap* source = &bitmap;
    TBitmap converted;
    if (source->PixelFormat() != TPixelFormat::pf24bit) {
        converted = *source;
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
    }
    if (source->Empty()) throw EJPEG("JPEG error #" + std::to_string(JERR_EMPTY_IMAGE));
    TJpegRowEncoder encoder(*this, source->Width(), source->Height());
    for (int y = 0; y < source->Height(); y += 16) {
        CheckCancelled();
        const uint8_t* rows[16];
        const int n = std::min(16, source->Height() - y);
        for (int r = 0; r < n; ++r) rows[r] = source->ScanLine(y + r);
        encoder.Write(rows, n);
    }
    encoder.FinishInto(*this);
}

void TJPEGImage::AdoptCompressed(std::vector<uint8_t> data, int width, int height) {
    FBitmap.reset();
    FData = std::move(data);
    FHeader.StoredWidth = width;
    FHeader.StoredHeight = height;
    FHeader.Orientation = 1;
    FHeader.Grayscale = Grayscale;
    FHeader.Progressive = ProgressiveEncoding;
}

struct TJpegRowEncoder::TState {
    TCompressor Compressor;
    int Width = 0, Height = 0, Written = 0;
};

TJpegRowEncoder::TJpegRowEncoder(const TJPEGSettings& settings, int width, int height)
    : FState(std::make_unique<TState>()) {
    if (width <= 0 || height <= 0) throw EJPEG("JPEG error #" + std::to_string(JERR_EMPTY_IMAGE));
    FState->Width = width;
    FState->Height = height;
    TEncodeSettings encode{settings.CompressionQuality, settings.Grayscale, settings.ProgressiveEncoding};
    if (int code = StartCompressStage(&FState->Compressor, width, height, &encode)) RaiseJpegError(code);
}

TJpegRowEncoder::~TJpegRowEncoder() = default;

int TJpegRowEncoder::RowsWritten() const {
    return FState->Written;
}

void TJpegRowEncoder::Write(const uint8_t* const* rows, int count) {
    count = std::min(count, FState->Height - FState->Written);
    if (count <= 0) return;
    if (int code = WriteRowsStage(&FState->Compressor, rows, count)) RaiseJpegError(code);
    FState->Written += count;
}

void TJpegRowEncoder::FinishInto(TJPEGImage& jpeg) {
    if (FState->Written < FState->Height) throw EJPEG("JPEG error #" + std::to_string(JERR_TOO_LITTLE_DATA));
    TCompressor& c = FState->Compressor;
    if (int code = FinishCompressStage(&c)) RaiseJpegError(code);
    const unsigned char* bytes = c.Destination.Buffer;
    jpeg.AdoptCompressed(std::vector<uint8_t>(bytes, bytes + c.Destination.Size), FState->Width, FState->Height);
}

void TJPEGImage::SaveToStream(std::ostream& stream) {
    Compress();
    WriteAllBytes(stream, FData.data(), FData.size());
}

void TJPEGImage::Assign(const TGraphic& source) {
    if (auto jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        if (jpeg == this) return;
        FData = jpeg->FData;
        FHeader = jpeg->FHeader;
        FBitmap = jpeg->FBitmap ? std::make_unique<TBitmap>(*jpeg->FBitmap) : nullptr;
        return;
    }
    if (auto bitmap = dynamic_cast<const TBitmap*>(&source)) {
        FBitmap = std::make_unique<TBitmap>(*bitmap);
        FData.clear();
        FHeader = TJPEGHeader();
        FHeader.StoredWidth = bitmap->Width();
        FHeader.StoredHeight = bitmap->Height();
        return;
    }
    TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TGraphic& dest) const {
    if (auto bitmap = dynamic_cast<TBitmap*>(&dest)) {
        bitmap->Assign(Bitmap());
        return;
    }
    TGraphic::AssignTo(dest);
}

namespace {

class TJpegRows : public TRowEncoder {
public:
    TJpegRows(TJPEGImage& jpeg, int width, int height) : FJpeg(jpeg), FEncoder(jpeg, width, height) {}
    void Write(const uint8_t* const* rows, int count) override { FEncoder.Write(rows, count); }
    int RowsWritten() const override { return FEncoder.RowsWritten(); }
    void Finish() override { FEncoder.FinishInto(FJpeg); }

private:
    TJPEGImage& FJpeg;
    TJpegRowEncoder FEncoder;
};

}  // namespace

std::unique_ptr<TRowEncoder> TJPEGImage::OpenRowEncoder(int width, int height) {
    return std::make_unique<TJpegRows>(*this, width, height);
}

}  // namespace quorix
