// Rows of a picture handed out in order, top first, as 24-bit pixels: a
// decoder can feed the resampler while it is still decoding, and a 24-bit
// bitmap can feed it without a copy.
#pragma once

#include "OrvelGraphics.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorix {

class TRowSource {
public:
    virtual ~TRowSource() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Points rows[0 .. n) at the next n <= maxRows rows and returns n, 0 at the
    // end. May raise the decoder's error. The rows of one call stay valid
    // until KeptReads() further calls have been made.
    virtual int ReadRows(int maxRows, const uint8_t** rows) = 0;
    virtual int KeptReads() const = 0;
};

// The rows of a 24-bit bitmap, valid as long as the bitmap is.
class TBitmapRowSource : public TRowSource {
public:
    explicit TBitmapRowSource(const TBitmap& bitmap) : FBitmap(bitmap) {}
    int Width() const override { return FBitmap.Width(); }
    int Height() const override { return FBitmap.Height(); }
    int ReadRows(int maxRows, const uint8_t** rows) override {
        int n = 0;
        for (; n < maxRows && FNext < FBitmap.Height(); ++n) rows[n] = FBitmap.ScanLine(FNext++);
        return n;
    }
    int KeptReads() const override { return INT_MAX; }

private:
    const TBitmap& FBitmap;
    int FNext = 0;
};

// Rows made one at a time into a ring of strips: a picture that is stored in
// another layout (a palette, an alpha byte, turned) feeds the resampler
// without a 24-bit copy of the whole picture.
class TRingRowSource : public TRowSource {
public:
    TRingRowSource(int width, int height);
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    int ReadRows(int maxRows, const uint8_t** rows) override;
    int KeptReads() const override { return Strips - 1; }

protected:
    // Writes row y (top first) as width 24-bit pixels.
    virtual void MakeRow(int y, uint8_t* out) = 0;

private:
    static constexpr int StripRows = 16;
    static constexpr int Strips = 4;
    int FWidth, FHeight, FNext = 0;
    int64_t FReads = 0;
    std::vector<uint8_t> FRing;
};

// The stored pixel (sx, sy) that an EXIF orientation (1 to 8) shows at (x, y)
// of the upright picture; w and h are the stored sides.
void StoredPixelFor(int orientation, int w, int h, int x, int y, int& sx, int& sy);

// The upright rows of a stored 24-bit picture with an EXIF orientation.
std::unique_ptr<TRowSource> OrientedRowSource(std::unique_ptr<TBitmap> stored, int orientation);

}  // namespace quorix
