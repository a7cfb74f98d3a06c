// Graphics, bitmaps and the working bitmap of the resize pipeline.
// A bitmap is one contiguous buffer of rows from the top, each row padded to
// four bytes; 24-bit pixels are blue, green, red.
#pragma once

#include "PixelMemory.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorix {

// A colour as 0x00BBGGRR.
using TColor = uint32_t;

enum class TPixelFormat { pf1bit = 1, pf4bit = 4, pf8bit = 8, pf24bit = 24, pf32bit = 32 };

// Display-compatible or memory-section storage: recorded, it changes nothing here.
enum class TBitmapHandleType { bmDIB, bmDDB };

struct TPaletteEntry {
    uint8_t Blue = 0, Green = 0, Red = 0, Reserved = 0;
};

// Decoders refuse pictures with more pixels than the resampler accepts,
// before they allocate anything.
constexpr int64_t MaxPicturePixels = 300000000;
void CheckPictureSize(int64_t width, int64_t height);
// The decoders' limit: MaxPicturePixels, lowered only where a harness must
// keep every input small (the fuzz targets).
int64_t DecoderPixelLimit();
void SetDecoderPixelLimit(int64_t pixels);

// Picture sides above which the huge-picture guard refuses a picture (both
// must exceed it).
constexpr int HugeImageSide = 10000;
// More scans than any real encoder writes: each one is a pass over the whole
// picture, so a crafted file with thousands of them costs minutes.
constexpr int MaxJpegScans = 500;

// Stored CMYK samples (bytesPerSample 1 or 2, in the machine's order; inverted
// where 0 is full ink, as Adobe writes JPEG) into count blue-green-red pixels.
// May be called from several threads at once.
using TCmykConversion =
    std::function<void(const uint8_t* cmyk, int bytesPerSample, bool inverted, uint8_t* bgr, int count)>;

// What a caller lets a decoder spend, checked against the header before any
// pixel buffer exists, and how it wants the pixels.
struct TDecodeLimits {
    bool Protect = false;  // refuse pictures with both sides above HugeImageSide
    // CMYK pictures through their profile; when empty, by the plain formula.
    TCmykConversion CmykToBgr;
    // A decoder that can decode smaller (JPEG's DCT scaling, WebP's scaling,
    // a HEIF file's stored thumbnail) may: to no less than the size divided
    // by this, on each side; 1: full size.
    int Shrink = 1;
    // A decoder of a picture of more than 8 bits a sample keeps them too
    // (Deep), where it can.
    bool Deep = false;
};

// Raised by a decoder whose header shows a picture the guard refuses.
class EHugeImage : public std::runtime_error {
public:
    EHugeImage() : std::runtime_error("Huge image") {}
};

class TRowSource;
class TDeepPixels;

// What an encoder whose library writes the container embeds itself (AVIF,
// JPEG XL): the colour profile, EXIF as a TIFF structure, XMP.
struct TEmbeddedBlocks {
    std::vector<uint8_t> Profile, Exif;
    std::string Xmp;
    // The blocks the library refused ("EXIF"), each with its reason: the
    // picture is written without them.
    mutable std::vector<std::pair<std::string, std::string>> Refused;
};

// An encoder fed 24-bit rows as they are made, top first: the picture need
// not exist whole.
class TRowEncoder {
public:
    virtual ~TRowEncoder() = default;
    // The next count rows (those beyond the height are ignored).
    virtual void Write(const uint8_t* const* rows, int count) = 0;
    virtual int RowsWritten() const = 0;
    // Ends the data once every row was written: the graphic that opened it
    // then holds the encoded picture.
    virtual void Finish() = 0;
};

// An abstract decoded picture.
class TBitmap;

// How hard a lossless encoder works for a smaller file.
enum class TEncodeEffort { Fast, Balanced, Smallest };

class TGraphic {
public:
    virtual ~TGraphic() = default;
    virtual const char* ClassName() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const { return Width() <= 0 || Height() <= 0; }

    virtual void LoadFromStream(std::istream& stream) = 0;
    virtual void SaveToStream(std::ostream& stream) = 0;
    void LoadFromFile(const std::string& fileName);

    // What the next load may spend; every decoder checks its header's sizes
    // against them (CheckHeader) before it allocates a pixel.
    TDecodeLimits Limits;
    // Raises EInvalidGraphic beyond the pixel limit and EHugeImage where the
    // guard refuses the (upright) picture.
    void CheckHeader(int64_t width, int64_t height) const;
    // Writes to a temporary file beside the target and renames it over the
    // target only when everything was written; finish, when given, works on
    // the written temporary file first (and may raise to abandon it).
    void SaveToFile(const std::string& fileName, const std::function<void(const std::string&)>& finish = nullptr);

    // Takes the content of another graphic; classes that do not know the
    // source class ask the source to put itself in (AssignTo).
    virtual void Assign(const TGraphic& source);
    virtual void AssignTo(TGraphic& dest) const;
    // Takes a bitmap's pixels to encode them, without a copy where the class
    // can hold them as they are; bitmap may be left empty.
    virtual void TakeBitmap(TBitmap& bitmap);

    // The picture's size and the bytes a pixel costs while it is decoded, read
    // from the first bytes of a file without decoding; false where the class
    // cannot tell from them.
    struct TPeek {
        int64_t Width = 0, Height = 0;
        int BytesPerPixel = 4;  // a decoded picture holds at most 32 bits a pixel
    };
    virtual bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const;

    // The picture's rows as 24-bit pixels, without converting the whole
    // picture first; null where the class has no such way and must be
    // assigned to a bitmap instead. May raise the decoder's error.
    virtual std::unique_ptr<TRowSource> OpenRowSource() const;
    // An encoder of this class's format for a width x height picture fed
    // row by row; null where the class encodes only a whole picture.
    virtual std::unique_ptr<TRowEncoder> OpenRowEncoder(int width, int height);
    // The blocks this class's encoder embeds itself; null where the file
    // takes them after encoding, or not at all.
    virtual TEmbeddedBlocks* EmbeddedBlocks() { return nullptr; }

    // True once the pixels were decoded past damaged data, as the format's own
    // library does (a viewer shows them, with a warning).
    virtual bool DecodedPastDamage() const { return false; }
    // For an encoder that can trade time for size (PNG's deflate); others ignore it.
    virtual void SetEffort(TEncodeEffort) {}
    // For a picture read more than once (several outputs of it): a graphic
    // that decodes as its rows are read decodes the whole picture now and
    // keeps it, so that each reading takes the kept pixels.
    virtual void KeepDecoded() const {}
    // The picture's 16-bit samples when it was decoded with Limits.Deep and
    // has more than 8 bits; null otherwise.
    virtual std::shared_ptr<const TDeepPixels> Deep() const { return nullptr; }
    // For an encoder that writes 16 bits a sample (PNG, TIFF, JPEG XL): the
    // pixels to write instead of the 8-bit ones, at the same size; others
    // ignore it.
    virtual void TakeDeep(std::shared_ptr<const TDeepPixels>) {}
    // The picture's size before a decoder's shrinking (Limits.Shrink).
    virtual void FullSize(int& width, int& height) const {
        width = Width();
        height = Height();
    }
};

// Removes the temporary files that SaveToFile of a process that no longer
// runs left in folder (a killed run): this machine's whose process is gone,
// and any more than a day old (another machine's writes into a shared folder
// are left alone until then).
void RemoveStaleTemporaries(const std::string& folder);
// How this process's temporary files' names begin (".quorix-MACHINE-").
std::string TemporaryNameStart();

// Removes the temporary files SaveToFile is writing at this moment. Safe to
// call from a signal handler, for a process about to end at once.
void RemoveTemporariesNow() noexcept;

[[noreturn]] void RaiseAssignError(const TGraphic& source, const TGraphic& dest);

class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    ~TBitmap() override = default;

    const char* ClassName() const override { return "TBitmap"; }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }

    // Plain bitmaps are rasters; the BMP codec's class gives them a file format.
    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    void Assign(const TGraphic& source) override;
    std::unique_ptr<TRowSource> OpenRowSource() const override;

    void SetSize(int width, int height);
    void SetWidth(int width) { SetSize(width, FHeight); }
    void SetHeight(int height) { SetSize(FWidth, height); }

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    int BitsPerPixel() const { return static_cast<int>(FPixelFormat); }
    // Converts the content: palettes are expanded, an alpha byte dropped.
    void SetPixelFormat(TPixelFormat format);

    const std::vector<TPaletteEntry>& Palette() const { return FPalette; }
    void SetPalette(std::vector<TPaletteEntry> palette) { FPalette = std::move(palette); }

    TBitmapHandleType HandleType() const { return FHandleType; }
    void SetHandleType(TBitmapHandleType type) { FHandleType = type; }

    size_t Stride() const { return FStride; }
    uint8_t* ScanLine(int y) { return FData.get() + static_cast<size_t>(y) * FStride; }
    const uint8_t* ScanLine(int y) const { return FData.get() + static_cast<size_t>(y) * FStride; }
    size_t ByteSize() const { return FStride * static_cast<size_t>(FHeight); }

    // Exchanges content with another bitmap without copying pixels.
    void Swap(TBitmap& other) noexcept;

    static size_t StrideFor(int width, TPixelFormat format);

private:
    void Reallocate(int width, int height, TPixelFormat format);

    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FPixelFormat = TPixelFormat::pf24bit;
    TBitmapHandleType FHandleType = TBitmapHandleType::bmDIB;
    size_t FStride = 0;
    std::vector<TPaletteEntry> FPalette;
    TPixelMemory FData;
};

// The 24-bit working bitmap of the resize pipeline.
class TOrvelBitmap : public TBitmap {
public:
    const char* ClassName() const override { return "TOrvelBitmap"; }
    // Clamps each side to 1..32768 and refuses more than 2^30 bytes with
    // "Image is too large.".
    void SetLargeSize(int width, int height);
    void FillColor(TColor color);
};

}  // namespace quorix
