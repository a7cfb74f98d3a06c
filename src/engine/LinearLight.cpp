#include "LinearLight.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace quorix {

namespace {

double SrgbToLight(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double SrgbFromLight(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055; }

using TCurveFunction = std::function<double(double)>;

// A channel's curve both ways.
struct TChannelCurve {
    TCurveFunction ToLight, ToStored;
};

struct TProfileFree {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TCurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using TCurve = std::shared_ptr<cmsToneCurve>;

// The curve of a TRC tag both ways; false where the profile has none or it
// does not go up from black to white.
bool ReadCurve(cmsHPROFILE profile, cmsTagSignature tag, TChannelCurve& channel) {
    if (!cmsIsTag(profile, tag)) return false;
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
    if (!curve || !cmsIsToneCurveMonotonic(curve) || cmsEvalToneCurveFloat(curve, 1.0f) <= cmsEvalToneCurveFloat(curve, 0.0f))
        return false;
    const TCurve forward(cmsDupToneCurve(curve), TCurveFree()), inverse(cmsReverseToneCurve(curve), TCurveFree());
    if (!forward || !inverse) return false;
    channel.ToLight = [forward](double v) { return cmsEvalToneCurveFloat(forward.get(), static_cast<cmsFloat32Number>(v)); };
    channel.ToStored = [inverse](double v) { return cmsEvalToneCurveFloat(inverse.get(), static_cast<cmsFloat32Number>(v)); };
    return true;
}

// The three channels' curves in the bitmap's order, sRGB's where the profile's cannot be read.
std::array<TChannelCurve, 3> ChannelCurves(const std::vector<uint8_t>& profile) {
    std::array<TChannelCurve, 3> srgb;
    for (TChannelCurve& c : srgb) c = {SrgbToLight, SrgbFromLight};
    if (profile.empty()) return srgb;
    std::unique_ptr<void, TProfileFree> p(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!p) return srgb;
    const bool grey = cmsGetColorSpace(p.get()) == cmsSigGrayData;
    const cmsTagSignature tags[3] = {grey ? cmsSigGrayTRCTag : cmsSigBlueTRCTag, grey ? cmsSigGrayTRCTag : cmsSigGreenTRCTag,
                                     grey ? cmsSigGrayTRCTag : cmsSigRedTRCTag};
    std::array<TChannelCurve, 3> curves;
    for (int c = 0; c < 3; ++c)
        if (!ReadCurve(p.get(), tags[c], curves[c])) return srgb;
    return curves;
}

// A table from levels stored values (or light) to the other, scaled to top.
template <class T>
void FillTable(T* table, int levels, const TCurveFunction& f, double top) {
    for (int v = 0; v < levels; ++v)
        table[v] = static_cast<T>(std::lround(std::clamp(static_cast<double>(f(v / (levels - 1.0))), 0.0, 1.0) * top));
}

}  // namespace

std::shared_ptr<const TToneCurves> ToneCurvesFor(const std::vector<uint8_t>& profile) {
    static const std::shared_ptr<const TToneCurves> srgb = ToneCurvesOf({});
    return profile.empty() ? srgb : ToneCurvesOf(profile);
}

std::shared_ptr<const TToneCurves> ToneCurvesOf(const std::vector<uint8_t>& profile) {
    auto curves = std::make_shared<TToneCurves>();
    const std::array<TChannelCurve, 3> channels = ChannelCurves(profile);
    for (int c = 0; c < 3; ++c) {
        FillTable(curves->ToLight[c].data(), 256, channels[c].ToLight, 65535.0);
        curves->ToStored[c].resize(65536);
        FillTable(curves->ToStored[c].data(), 65536, channels[c].ToStored, 255.0);
    }
    return curves;
}

std::shared_ptr<const TDeepToneCurves> DeepToneCurvesFor(const std::vector<uint8_t>& profile) {
    auto curves = std::make_shared<TDeepToneCurves>();
    const std::array<TChannelCurve, 3> channels = ChannelCurves(profile);
    for (int c = 0; c < 3; ++c) {
        curves->ToLight[c].resize(65536);
        curves->ToStored[c].resize(65536);
        FillTable(curves->ToLight[c].data(), 65536, channels[c].ToLight, 65535.0);
        FillTable(curves->ToStored[c].data(), 65536, channels[c].ToStored, 65535.0);
    }
    return curves;
}

int TDeepLightRows::ReadRows(int maxRows, const uint16_t** rows) {
    const uint16_t* stored[256];
    const int n = FRows.ReadRows(std::min(maxRows, 256), stored);
    const size_t samples = static_cast<size_t>(Width()) * 3;
    FStrips[0].swap(FStrips[1]);  // the previous strip stays valid one call more
    std::vector<uint16_t>& strip = FStrips[0];
    strip.resize(samples * static_cast<size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        uint16_t* out = strip.data() + samples * i;
        for (size_t x = 0; x < samples; x += 3)
            for (int c = 0; c < 3; ++c) out[x + c] = FCurves.ToLight[c][stored[i][x + c]];
        rows[i] = out;
    }
    return n;
}

void DeepLightToStored(TDeepPixels& pixels, const TDeepToneCurves& curves) {
    for (int y = 0; y < pixels.Height(); ++y) {
        uint16_t* row = pixels.Row(y);
        for (int x = 0; x < pixels.Width() * 3; x += 3)
            for (int c = 0; c < 3; ++c) row[x + c] = curves.ToStored[c][row[x + c]];
    }
}

int TLightRows::ReadRows(int maxRows, const uint16_t** rows) {
    const size_t samples = static_cast<size_t>(Width()) * 3;
    FStrips[0].swap(FStrips[1]);  // the previous strip stays valid one call more
    std::vector<uint16_t>& strip = FStrips[0];
    strip.resize(samples * static_cast<size_t>(std::max(maxRows, 0)));
    FStored.resize(static_cast<size_t>(std::max(maxRows, 0)));
    // The rows of one read stay valid for KeptReads() reads more: the strip
    // takes no more reads than that, so all its rows are there at once.
    int n = 0;
    for (int reads = 0; n < maxRows && reads < std::max(1, std::min(FRows.KeptReads(), 64)); ++reads) {
        const int got = FRows.ReadRows(std::min(maxRows - n, 64), FStored.data() + n);
        if (got <= 0) break;
        n += got;
    }
    for (int i = 0; i < n; ++i) {
        uint16_t* out = strip.data() + samples * i;
        const uint8_t* in = FStored[i];
        for (size_t x = 0; x < samples; x += 3) {
            out[x] = FCurves.ToLight[0][in[x]];
            out[x + 1] = FCurves.ToLight[1][in[x + 1]];
            out[x + 2] = FCurves.ToLight[2][in[x + 2]];
        }
    }
    for (int i = 0; i < n; ++i) rows[i] = strip.data() + samples * i;
    return n;
}

void LightToRow(const uint16_t* in, int width, const TToneCurves& curves, uint8_t* out) {
    for (int x = 0; x < width * 3; x += 3) {
        out[x] = curves.ToStored[0][in[x]];
        out[x + 1] = curves.ToStored[1][in[x + 1]];
        out[x + 2] = curves.ToStored[2][in[x + 2]];
    }
}

}  // namespace quorix
