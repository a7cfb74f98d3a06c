// AVIF pictures read through libavif, the format's reference decoder (with
// dav1d): still images, grids, the first frame of a sequence, grey at any
// depth, alpha, and the container's crop, rotation and mirroring. Written
// as the HEIF writer writes AVIF.
#pragma once

#include "Heif.h"

namespace quorix {

class TAvifImage : public THeifImage {
public:
    const char* ClassName() const override { return "TAvifImage"; }
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

protected:
    void Decode(const uint8_t* data, size_t size) override;
};

// What an AVIF container carries beside the pixels, as libavif reads it: the
// ICC profile (or one made for its colour code points), EXIF (a TIFF
// structure) and XMP. Empty where the file cannot be read.
TContainerBlocks AvifBlocks(const std::string& fileName);

}  // namespace quorix
