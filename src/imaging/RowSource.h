// Rows of a picture handed out in order, top first, as 24-bit pixels: a
// decoder can feed the resampler while it is still decoding, and a 24-bit
// bitmap can feed it without a copy.
#pragma once

#include "OrvelGraphics.h"

#include <climits>
#include <cstdint>

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

}  // namespace quorix
