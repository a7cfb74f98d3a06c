// JPEG 2000 pictures through OpenJPEG: JP2 files and raw codestreams are
// decoded into the bitmap's own pixels; saving writes a JP2 file.
#pragma once

#include "OrvelGraphics.h"
#include "QuorixError.h"

#include <cstdint>
#include <vector>

namespace quorix {

class EJpeg2000Error : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// The role of a decoded component.
enum OPJ_COMPONENT_TYPE : int32_t {
    COMPTYPE_UNKNOWN = 0,
    COMPTYPE_R = 1,
    COMPTYPE_G = 2,
    COMPTYPE_B = 3,
    COMPTYPE_Y = 4,
    COMPTYPE_CB = 5,
    COMPTYPE_CR = 6,
    COMPTYPE_OPACITY = 7,
};

enum class TJp2ColourSpace { None, Srgb, Grey, Sycc };

// How one stored component becomes one byte of every pixel.
struct TChannelInfo {
    int32_t DestOffset;  // byte in the pixel: 0 blue, 1 green, 2 red, 3 alpha
    int32_t CompType;    // OPJ_COMPONENT_TYPE
    int32_t MaxValue;    // 2^precision - 1
    int32_t Shift;       // 2^(precision - 1) for a signed component, else 0
};

// The byte a component of this role lands in, for a pixel of pixelBytes bytes
// and a component at index i; -1 or a value of pixelBytes or more means the
// component has no place in the pixel and is skipped.
int32_t ChannelDestOffset(OPJ_COMPONENT_TYPE role, int index, int pixelBytes, TJp2ColourSpace space);

// The compression ratio of the one quality layer for a lossy save.
float Jpeg2000Ratio(int quality, int components, int64_t pixels);

class TJpeg2000Bitmap : public TBitmap {
public:
    const char* ClassName() const override { return "TJpeg2000Bitmap"; }
    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;


    bool LosslessCompression = false;
    int CompressionQuality = 80;  // 1 to 100
};

}  // namespace quorix
