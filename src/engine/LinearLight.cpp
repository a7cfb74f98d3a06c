#include "LinearLight.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

namespace quorix {

namespace {

double SrgbToLight(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double SrgbFromLight(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055; }

template <class Forward, class Inverse>
void FillChannel(TToneCurves& curves, int channel, Forward forward, Inverse inverse) {
    for (int v = 0; v < 256; ++v)
        curves.ToLight[channel][v] = static_cast<uint16_t>(std::lround(std::clamp(static_cast<double>(forward(v / 255.0)), 0.0, 1.0) * 65535.0));
    std::vector<uint8_t>& stored = curves.ToStored[channel];
    stored.resize(65536);
    for (int l = 0; l < 65536; ++l)
        stored[l] = static_cast<uint8_t>(std::lround(std::clamp(static_cast<double>(inverse(l / 65535.0)), 0.0, 1.0) * 255.0));
}

std::shared_ptr<const TToneCurves> SrgbCurves() {
    static const std::shared_ptr<const TToneCurves> curves = [] {
        auto c = std::make_shared<TToneCurves>();
        for (int channel = 0; channel < 3; ++channel) FillChannel(*c, channel, SrgbToLight, SrgbFromLight);
        return std::shared_ptr<const TToneCurves>(c);
    }();
    return curves;
}

struct TProfileFree {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TCurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using TCurve = std::unique_ptr<cmsToneCurve, TCurveFree>;

// The curve of a TRC tag and its inverse; false where the profile has none
// or it does not go from black to white.
bool ReadCurve(cmsHPROFILE profile, cmsTagSignature tag, TCurve& forward, TCurve& inverse) {
    if (!cmsIsTag(profile, tag)) return false;
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
    if (!curve || !cmsIsToneCurveMonotonic(curve)) return false;
    forward.reset(cmsDupToneCurve(curve));
    inverse.reset(cmsReverseToneCurve(curve));
    return forward && inverse && cmsEvalToneCurveFloat(curve, 1.0f) > cmsEvalToneCurveFloat(curve, 0.0f);
}

}  // namespace

std::shared_ptr<const TToneCurves> ToneCurvesFor(const std::vector<uint8_t>& profile) {
    if (profile.empty()) return SrgbCurves();
    std::unique_ptr<void, TProfileFree> p(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!p) return SrgbCurves();
    const bool grey = cmsGetColorSpace(p.get()) == cmsSigGrayData;
    const cmsTagSignature tags[3] = {grey ? cmsSigGrayTRCTag : cmsSigBlueTRCTag, grey ? cmsSigGrayTRCTag : cmsSigGreenTRCTag,
                                     grey ? cmsSigGrayTRCTag : cmsSigRedTRCTag};
    auto curves = std::make_shared<TToneCurves>();
    for (int channel = 0; channel < 3; ++channel) {
        TCurve forward, inverse;
        if (!ReadCurve(p.get(), tags[channel], forward, inverse)) return SrgbCurves();
        FillChannel(
            *curves, channel, [&](double v) { return cmsEvalToneCurveFloat(forward.get(), static_cast<cmsFloat32Number>(v)); },
            [&](double v) { return cmsEvalToneCurveFloat(inverse.get(), static_cast<cmsFloat32Number>(v)); });
    }
    return curves;
}

int TLightRows::ReadRows(int maxRows, const uint16_t** rows) {
    const size_t samples = static_cast<size_t>(Width()) * 3;
    FStrip.resize(samples * static_cast<size_t>(std::max(maxRows, 0)));
    int n = 0;
    while (n < maxRows) {
        const uint8_t* stored[64];
        const int got = FRows.ReadRows(std::min(maxRows - n, 64), stored);
        if (got <= 0) break;
        for (int i = 0; i < got; ++i, ++n) {
            uint16_t* out = FStrip.data() + samples * n;
            for (size_t x = 0; x < samples; x += 3) {
                out[x] = FCurves.ToLight[0][stored[i][x]];
                out[x + 1] = FCurves.ToLight[1][stored[i][x + 1]];
                out[x + 2] = FCurves.ToLight[2][stored[i][x + 2]];
            }
            rows[n] = out;
        }
    }
    return n;
}

void LightToBitmap(const TDeepPixels& light, const TToneCurves& curves, TBitmap& dest) {
    for (int y = 0; y < light.Height(); ++y) {
        const uint16_t* in = light.Row(y);
        uint8_t* out = dest.ScanLine(y);
        for (int x = 0; x < light.Width() * 3; x += 3) {
            out[x] = curves.ToStored[0][in[x]];
            out[x + 1] = curves.ToStored[1][in[x + 1]];
            out[x + 2] = curves.ToStored[2][in[x + 2]];
        }
    }
}

}  // namespace quorix
