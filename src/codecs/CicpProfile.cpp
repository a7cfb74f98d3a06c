#include "CicpProfile.h"

#include <lcms2.h>

namespace quorix {

namespace {

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
    default: return nullptr;  // unspecified, PQ, HLG and the rest
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
