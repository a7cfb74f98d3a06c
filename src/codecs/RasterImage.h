// What the formats decoded and encoded through a whole-picture library have in
// common: the decoded picture is held as a 24-bit bitmap, and the encoder
// takes a 24-bit bitmap and a quality.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quorix {

class TRasterImage : public TGraphic {
public:
    int Width() const override { return FBitmap.Width(); }
    int Height() const override { return FBitmap.Height(); }

    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    void Assign(const TGraphic& source) override;
    void AssignTo(TGraphic& dest) const override;
    void TakeBitmap(TBitmap& bitmap) override;
    std::unique_ptr<TRowSource> OpenRowSource() const override;

    void LoadFromBytes(const uint8_t* data, size_t size) { Decode(data, size); }
    const TBitmap& Bitmap() const { return FBitmap; }

    int Quality = 75;  // 5 to 99, for the lossy encoders

    // What the encoders whose containers exiv2 cannot write (AVIF, JPEG XL)
    // embed themselves: the colour profile, EXIF as a TIFF structure, XMP.
    struct TEmbedded {
        std::vector<uint8_t> Profile, Exif;
        std::string Xmp;
        // The blocks the library refused ("EXIF"), each with its reason: the
        // picture is written without them.
        mutable std::vector<std::pair<std::string, std::string>> Refused;
    } Embedded;

protected:
    // Fills FBitmap (24 bits) from the file's bytes or raises EInvalidGraphic.
    virtual void Decode(const uint8_t* data, size_t size) = 0;
    // The file's bytes for a 24-bit bitmap.
    virtual std::vector<uint8_t> Encode(const TBitmap& bitmap) const = 0;

    TBitmap FBitmap;
};

// Interleaved samples (grey, grey and alpha, RGB or RGBA; 1 or 2 bytes each in the machine's
// order, each up to maxValue) into the 24-bit bitmap's rows: samples of more
// than 8 bits scaled to 8 rounding to nearest, alpha composited over black.
// The bitmap must already have the size.
struct TSampleLayout {
    int Channels = 3;
    int BytesPerSample = 1;
    int MaxValue = 255;
};
void SamplesToRows(const uint8_t* samples, size_t stride, const TSampleLayout& layout, int firstRow, int rows,
                   TBitmap& bitmap);
// The same for count pixels, written from out on (3 bytes each).
void SamplesToPixels(const uint8_t* samples, const TSampleLayout& layout, int count, uint8_t* out);

}  // namespace quorix
