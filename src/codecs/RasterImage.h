// What the formats decoded and encoded through a whole-picture library have in
// common: the decoded picture is held as a 24-bit bitmap, and the encoder
// takes a 24-bit bitmap and a quality.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorix {

// Decoded pixels a decoder keeps in its library's layout (Y'CbCr planes) and
// turns into 24-bit rows when asked: a picture resampled from them never
// needs a 24-bit copy of the whole.
class TDeferredRows {
public:
    virtual ~TDeferredRows() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // The rows top first, made as they are read; null where they cannot be
    // made one at a time (a quarter turn).
    virtual std::unique_ptr<TRowSource> OpenRowSource() = 0;
    // The whole picture, made 24-bit at its size.
    virtual void Fill(TBitmap& bitmap) = 0;
};

class TRasterImage : public TGraphic {
public:
    int Width() const override { return FDeferred ? FDeferred->Width() : FBitmap.Width(); }
    int Height() const override { return FDeferred ? FDeferred->Height() : FBitmap.Height(); }

    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    void Assign(const TGraphic& source) override;
    void AssignTo(TGraphic& dest) const override;
    void TakeBitmap(TBitmap& bitmap) override;
    std::unique_ptr<TRowSource> OpenRowSource() const override;

    void LoadFromBytes(const uint8_t* data, size_t size) { Decode(data, size); }
    const TBitmap& Bitmap() const {
        Settle();
        return FBitmap;
    }

    int Quality = 75;  // 5 to 99, for the lossy encoders

    // What the encoders whose containers exiv2 cannot write (AVIF, JPEG XL)
    // embed themselves.
    TEmbeddedBlocks Embedded;
    TEmbeddedBlocks* EmbeddedBlocks() override { return &Embedded; }
    void FullSize(int& width, int& height) const override;
    std::shared_ptr<const TDeepPixels> Deep() const override { return FDeep; }
    void TakeDeep(std::shared_ptr<const TDeepPixels> deep) override { FDeep = std::move(deep); }

protected:
    // Fills FBitmap (24 bits), or sets FDeferred, from the file's bytes or
    // raises EInvalidGraphic.
    virtual void Decode(const uint8_t* data, size_t size) = 0;
    // The file's bytes for a 24-bit bitmap.
    virtual std::vector<uint8_t> Encode(const TBitmap& bitmap) const = 0;
    // Makes FBitmap from FDeferred, where the whole picture is wanted.
    void Settle() const;
    // The picture's own size, for a decoder that decoded it smaller.
    void SetFullSize(int width, int height) {
        FFullWidth = width;
        FFullHeight = height;
    }

    mutable TBitmap FBitmap;
    mutable std::unique_ptr<TDeferredRows> FDeferred;
    std::shared_ptr<const TDeepPixels> FDeep;  // 16-bit samples decoded or to encode, beside the bitmap

private:
    int FFullWidth = 0, FFullHeight = 0;  // 0: as decoded
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
// The same for 16-bit samples (in the machine's order) into 16-bit pixels.
void SamplesToDeepPixels(const uint8_t* samples, const TSampleLayout& layout, int count, uint16_t* out);

// The threads a library may use for one picture: every core when the job
// works on one picture at a time, one when pictures run side by side.
int PictureThreads();

}  // namespace quorix
