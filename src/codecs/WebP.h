// WebP through libwebp: still pictures, and the first frame of an animation
// as it shows on its canvas. Written lossy at the quality asked for.
#pragma once

#include "RasterImage.h"

namespace quorix {

class TWebPImage : public TRasterImage {
public:
    const char* ClassName() const override { return "TWebPImage"; }
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

protected:
    void Decode(const uint8_t* data, size_t size) override;
    std::vector<uint8_t> Encode(const TBitmap& bitmap) const override;
};

}  // namespace quorix
