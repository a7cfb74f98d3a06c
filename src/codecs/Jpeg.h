// JPEG pictures through the libjpeg 6.2 interface. Loading reads the header
// only; the pixels are decoded the first time a bitmap is needed.
#pragma once

#include "OrvelGraphics.h"
#include "QuorixError.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace quorix {

class EJPEG : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

// The settings every image carries, copied from JPEGDefaults when it is made.
struct TJPEGSettings {
    int CompressionQuality = 90;
    bool Grayscale = false;
    TJPEGPerformance Performance = TJPEGPerformance::jpBestQuality;
    TJPEGPixelFormat PixelFormat = TJPEGPixelFormat::jf24Bit;
    bool ProgressiveDisplay = false;
    bool ProgressiveEncoding = false;
    TJPEGScale Scale = TJPEGScale::jsFullSize;
    bool Smoothing = true;
};

extern TJPEGSettings JPEGDefaults;

// What the header says, before any pixel is decoded.
struct TJPEGHeader {
    int StoredWidth = 0;
    int StoredHeight = 0;
    int Orientation = 1;  // EXIF orientation, 1 to 8
    bool Grayscale = false;
    bool Progressive = false;
};

class TJPEGImage : public TGraphic, public TJPEGSettings {
public:
    TJPEGImage();
    ~TJPEGImage() override;

    const char* ClassName() const override { return "TJPEGImage"; }
    // The upright size: a camera's orientation tag is applied.
    int Width() const override;
    int Height() const override;

    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    void Assign(const TGraphic& source) override;
    void AssignTo(TGraphic& dest) const override;

    std::unique_ptr<TRowSource> OpenRowSource() const override;
    // Rows compressed as they come, with this image's settings.
    std::unique_ptr<TRowEncoder> OpenRowEncoder(int width, int height) override;
    bool DecodedPastDamage() const override { return FDamaged; }
    void KeepDecoded() const override;
    void FullSize(int& width, int& height) const override;
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

    void LoadFromBytes(std::vector<uint8_t> data);
    // Encodes the held bitmap when there is no compressed data yet.
    void Compress();
    // Encodes a 24-bit bitmap without keeping a copy of it.
    void CompressFrom(const TBitmap& bitmap);
    // The decoded picture, decoded on first use.
    const TBitmap& Bitmap() const;
    const std::vector<uint8_t>& Data() const { return FData; }
    const TJPEGHeader& Header() const { return FHeader; }

private:
    friend class TJpegRowEncoder;
    // Compressed data made elsewhere from a width x height picture, with this
    // object's settings.
    void AdoptCompressed(std::vector<uint8_t> data, int width, int height);

public:

private:
    void Decode() const;
    void Encode(const TBitmap& bitmap);

    std::vector<uint8_t> FData;
    TJPEGHeader FHeader;
    mutable std::unique_ptr<TBitmap> FBitmap;
    mutable std::atomic<bool> FDamaged{false};
};

// A JPEG encoded from 24-bit rows as they come, top first, with the settings
// of an image: the rows need not exist all at once. Raises the library's
// errors as EJPEG.
class TJpegRowEncoder {
public:
    TJpegRowEncoder(const TJPEGSettings& settings, int width, int height);
    ~TJpegRowEncoder();
    TJpegRowEncoder(const TJpegRowEncoder&) = delete;
    TJpegRowEncoder& operator=(const TJpegRowEncoder&) = delete;
    // The next count rows (those beyond the height are ignored).
    void Write(const uint8_t* const* rows, int count);
    int RowsWritten() const;
    // Ends the data, once every row was written, and gives it to jpeg.
    void FinishInto(TJPEGImage& jpeg);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

// The EXIF orientation in an APP1 payload ("Exif\0\0" and a TIFF block); 1 when absent.
int ExifOrientation(const uint8_t* data, size_t size);
// Turns a decoded picture (8, 24 or 32 bits) upright for an EXIF orientation.
void ApplyOrientation(TBitmap& bitmap, int orientation);

}  // namespace quorix
