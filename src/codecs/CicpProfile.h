// A colour profile for colours signalled as code points (CICP: ITU-T H.273),
// as HEIF and AVIF containers and AV1 and HEVC streams carry them instead of
// an ICC profile.
#pragma once

#include <cstdint>
#include <vector>

namespace quorix {

struct TCicp {
    int Primaries = 2, Transfer = 2;  // 2: unspecified
    // The primaries' and the white point's chromaticities (x, y), as the
    // container's library decoded them from Primaries.
    double Red[2] = {0, 0}, Green[2] = {0, 0}, Blue[2] = {0, 0}, White[2] = {0, 0};
};

// An RGB ICC profile (made with lcms2) for those colours; empty for plain
// sRGB, which every reader assumes without one, and for what is not known.
// PQ and HLG are tone-mapped into the profile's curve, so that the picture
// shows as SDR: reference white as white, highlights rolled off.
std::vector<uint8_t> CicpProfile(const TCicp& cicp);

}  // namespace quorix
