// TIFF through libtiff: the first page, every photometric interpretation the
// library reads, 1 to 16 bits, the Orientation tag applied. Written as 24-bit
// RGB with deflate.
#pragma once

#include "RasterImage.h"

namespace quorix {

class TTiffImage : public TRasterImage {
public:
    const char* ClassName() const override { return "TTiffImage"; }
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

protected:
    void Decode(const uint8_t* data, size_t size) override;
    std::vector<uint8_t> Encode(const TBitmap& bitmap) const override;
};

}  // namespace quorix
