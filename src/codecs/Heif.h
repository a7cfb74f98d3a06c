// HEIF pictures through libheif: HEIC (HEVC) and AVIF (AV1), the primary
// image with its rotation and mirroring applied, 8 to 16 bits. Written as
// AVIF, lossy at the quality asked for.
#pragma once

#include "RasterImage.h"

#include <string>
#include <vector>

struct heif_image_handle;

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

private:
    void DecodeItem(heif_image_handle* handle);
};

// What a HEIF or AVIF container carries beside the pixels.
struct TContainerBlocks {
    std::vector<uint8_t> Profile, Exif;  // EXIF as a TIFF structure
    std::string Xmp;
};

// As libheif reads them: the ICC profile for colours the file signals as
// code points (an nclx "colr" box; none for sRGB, an ICC "colr" box, which
// exiv2 reads, or no box), EXIF and XMP.
TContainerBlocks HeifBlocks(const std::string& fileName);

// The size the primary picture shows, as libheif reads the header; false
// where it cannot.
bool HeifShownSize(const uint8_t* data, size_t size, int& width, int& height);

// The AV1 encoder's speed: a 12-megapixel picture takes 0.8 s on one core
// here (speed 7: 1.9 s, 6: 2.8 s), its file 4 % larger than at speed 7.
constexpr int AvifEncoderSpeed = 8;

}  // namespace quorix
