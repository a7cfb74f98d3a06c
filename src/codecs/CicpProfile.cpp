#include "CicpProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorix {

namespace {

// HDR transfers are shown on an SDR screen as BT.2408 advises: reference
// white (203 cd/m2) becomes white, brighter light up to a 1000 cd/m2 master
// rolls off smoothly above a knee, beyond it clips.
constexpr double ReferenceWhite = 203, MasterPeak = 1000, Knee = 0.75;

double RollOff(double light) {
    if (light <= Knee) return light;
    const double t = (light - Knee) / (1 - Knee), top = (MasterPeak / ReferenceWhite - Knee) / (1 - Knee);
    if (t >= top) return 1;
    return Knee + (1 - Knee) * t * (1 + t / (top * top)) / (1 + t);
}

// SMPTE ST 2084: signal to cd/m2.
double PqLight(double signal) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32,
                 c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(signal, 1 / m2);
    return 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

// BT.2100 HLG: signal to scene light, then the display's light on a 1000 cd/m2
// screen (the system gamma 1.2, per channel).
double HlgLight(double signal) {
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * std::log(4 * a);
    const double scene = signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
    return MasterPeak * std::pow(scene, 1.2);
}

cmsToneCurve* HdrCurve(double (*light)(double)) {
    std::vector<float> table(4096);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<float>(RollOff(light(static_cast<double>(i) / (table.size() - 1)) / ReferenceWhite));
    return cmsBuildTabulatedToneCurveFloat(nullptr, static_cast<cmsUInt32Number>(table.size()), table.data());
}

// The transfer's curve from signal to light; null for none a curve alone
// describes.
cmsToneCurve* TransferCurve(int transfer) {
    switch (transfer) {
    case 1: case 6: case 14: case 15: {  // BT.709, BT.601, BT.2020: 1.099 L^0.45 - 0.099, 4.5 L near black
        const double p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    case 13: {  // sRGB
        const double p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    case 4: return cmsBuildGamma(nullptr, 2.2);
    case 5: return cmsBuildGamma(nullptr, 2.8);
    case 8: return cmsBuildGamma(nullptr, 1.0);
    case 16: return HdrCurve(PqLight);
    case 18: return HdrCurve(HlgLight);
    default: return nullptr;  // unspecified and the rest
    }
}

bool Chromaticity(const double xy[2]) { return xy[0] > 0 && xy[0] < 1 && xy[1] > 0 && xy[1] < 1; }

}  // namespace

std::vector<uint8_t> CicpProfile(const TCicp& cicp) {
    if (cicp.Primaries == 1 && cicp.Transfer == 13) return {};  // sRGB
    if (!Chromaticity(cicp.Red) || !Chromaticity(cicp.Green) || !Chromaticity(cicp.Blue) || !Chromaticity(cicp.White))
        return {};
    cmsToneCurve* curve = TransferCurve(cicp.Transfer);
    if (!curve) return {};
    const cmsCIExyY white{cicp.White[0], cicp.White[1], 1};
    const cmsCIExyYTRIPLE primaries{{cicp.Red[0], cicp.Red[1], 1}, {cicp.Green[0], cicp.Green[1], 1},
                                    {cicp.Blue[0], cicp.Blue[1], 1}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile) return {};
    cmsUInt32Number size = 0;
    std::vector<uint8_t> bytes;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace quorix
