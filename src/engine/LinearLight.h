// The tone curves that turn a picture's stored values into light and back:
// its profile's own (the red, green and blue or grey TRC tags), sRGB's when
// it has no profile or one whose curves cannot be read.
#pragma once

#include "DeepResample.h"
#include "OrvelGraphics.h"
#include "RowSource.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorix {

// By channel in the bitmap's order (blue, green, red).
struct TToneCurves {
    std::array<std::array<uint16_t, 256>, 3> ToLight;  // a stored 8-bit value as light, 0 to 65535
    std::array<std::vector<uint8_t>, 3> ToStored;      // light 0 to 65535 as the nearest stored 8-bit value
};

std::shared_ptr<const TToneCurves> ToneCurvesFor(const std::vector<uint8_t>& profile);

// The 8-bit rows of a picture as light, a strip at a time.
class TLightRows : public TDeepRowSource {
public:
    TLightRows(TRowSource& rows, const TToneCurves& curves) : FRows(rows), FCurves(curves) {}
    int Width() const override { return FRows.Width(); }
    int Height() const override { return FRows.Height(); }
    int ReadRows(int maxRows, const uint16_t** rows) override;

private:
    TRowSource& FRows;
    const TToneCurves& FCurves;
    std::vector<uint16_t> FStrip;
};

// light (at dest's size) into dest's stored 8-bit values.
void LightToBitmap(const TDeepPixels& light, const TToneCurves& curves, TBitmap& dest);

}  // namespace quorix
