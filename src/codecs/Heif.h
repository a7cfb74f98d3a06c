// HEIF pictures through libheif: HEIC (HEVC) and AVIF (AV1), the primary
// image with its rotation and mirroring applied, 8 to 16 bits. Written as
// AVIF, lossy at the quality asked for.
#pragma once

#include "RasterImage.h"

#include <string>
#include <vector>

namespace quorix {

class THeifImage : public TRasterImage {
public:
    const char* ClassName() const override { return "THeifImage"; }
    // From the first megabyte: phones and encoders put the boxes that
    // describe the picture before its data.
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

protected:
    void Decode(const uint8_t* data, size_t size) override;
    std::vector<uint8_t> Encode(const TBitmap& bitmap) const override;
};

// The ICC profile for colours the file signals as code points (an nclx
// "colr" box); empty for sRGB, an ICC "colr" box (exiv2 reads that) or none.
std::vector<uint8_t> HeifCicpProfile(const std::string& fileName);

// The AV1 encoder's speed: a 12-megapixel picture takes 0.8 s on one core
// here (speed 7: 1.9 s, 6: 2.8 s), its file 4 % larger than at speed 7.
constexpr int AvifEncoderSpeed = 8;

}  // namespace quorix
