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

std::shared_ptr<const TToneCurves> ToneCurvesFor(const std::vector<uint8_t>& profile);  // sRGB's made once
std::shared_ptr<const TToneCurves> ToneCurvesOf(const std::vector<uint8_t>& profile);

// The same for 16-bit stored values: each way a table of 65536.
struct TDeepToneCurves {
    std::array<std::vector<uint16_t>, 3> ToLight, ToStored;
};
std::shared_ptr<const TDeepToneCurves> DeepToneCurvesFor(const std::vector<uint8_t>& profile);

// 16-bit rows as light, a strip at a time.
class TDeepLightRows : public TDeepRowSource {
public:
    TDeepLightRows(TDeepRowSource& rows, const TDeepToneCurves& curves) : FRows(rows), FCurves(curves) {}
    int Width() const override { return FRows.Width(); }
    int Height() const override { return FRows.Height(); }
    int ReadRows(int maxRows, const uint16_t** rows) override;

private:
    TDeepRowSource& FRows;
    const TDeepToneCurves& FCurves;
    std::vector<uint16_t> FStrips[2];  // this read's and the last one's
};
// Light back into 16-bit stored values, in place.
void DeepLightToStored(TDeepPixels& pixels, const TDeepToneCurves& curves);

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
    std::vector<uint16_t> FStrips[2];  // this read's and the last one's
    std::vector<const uint8_t*> FStored;
};

// A row of light into row y of dest's stored 8-bit values.
void LightToRow(const uint16_t* light, int width, const TToneCurves& curves, uint8_t* out);

}  // namespace quorix
