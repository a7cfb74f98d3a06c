// JPEG XL through libjxl: the first frame, 8 to 16 bits, the orientation
// applied. Written lossy, the quality mapped to a distance.
#pragma once

#include "RasterImage.h"

namespace quorix {

class TJpegXlImage : public TRasterImage {
public:
    const char* ClassName() const override { return "TJpegXlImage"; }
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

protected:
    void Decode(const uint8_t* data, size_t size) override;
    std::vector<uint8_t> Encode(const TBitmap& bitmap) const override;
};

// The ICC profile a JPEG XL file carries, when its colours are described by
// one (not by the format's own colour encoding); empty otherwise.
std::vector<uint8_t> JpegXlIccProfile(const uint8_t* data, size_t size);

// The Butteraugli distance that the JPEG XL tools give a JPEG-like quality.
float JpegXlDistance(int quality);

// Encoder effort (1 fastest, 9 slowest): close to the default's size at a
// fraction of its time.
constexpr int JpegXlEffort = 5;

}  // namespace quorix
