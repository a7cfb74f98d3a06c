#include "CropFocus.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace quorix {

namespace {

// How much a pixel draws the eye: its edges (luma differences with the
// pixels right and below), its saturation and, strongly, skin tone.
int Interest(const uint8_t* p, const uint8_t* right, const uint8_t* below) {
    const int luma = (p[2] * 77 + p[1] * 150 + p[0] * 29) >> 8;
    const int lumaRight = (right[2] * 77 + right[1] * 150 + right[0] * 29) >> 8;
    const int lumaBelow = (below[2] * 77 + below[1] * 150 + below[0] * 29) >> 8;
    const int detail = std::abs(luma - lumaRight) + std::abs(luma - lumaBelow);
    const int saturation = std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]});
    // Skin in Y'CbCr (the usual chroma box), any brightness but the darkest.
    const int cb = 128 + ((-43 * p[2] - 85 * p[1] + 128 * p[0]) >> 8);
    const int cr = 128 + ((128 * p[2] - 107 * p[1] - 21 * p[0]) >> 8);
    const bool skin = luma > 40 && cb >= 77 && cb <= 127 && cr >= 133 && cr <= 173;
    return 2 * detail + saturation / 2 + (skin ? 48 : 0);
}

// The interest of each column (across) or row of the picture.
std::vector<int64_t> Profile(const TBitmap& picture, bool across) {
    const int w = picture.Width(), h = picture.Height();
    std::vector<int64_t> profile(static_cast<size_t>(across ? w : h), 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = picture.ScanLine(y);
        const uint8_t* next = picture.ScanLine(std::min(y + 1, h - 1));
        for (int x = 0; x < w; ++x) {
            const int v = Interest(row + 3 * x, row + 3 * std::min(x + 1, w - 1), next + 3 * x);
            profile[static_cast<size_t>(across ? x : y)] += v;
        }
    }
    return profile;
}

// The start of the window of length box with the largest sum; then, if the
// strongest feature (the peak of the profile smoothed over a tenth of the
// box) lies outside it, the nearest start that takes it in with a margin.
int BestWindow(const std::vector<int64_t>& profile, int box) {
    const int length = static_cast<int>(profile.size());
    std::vector<int64_t> prefix(profile.size() + 1, 0);
    for (int i = 0; i < length; ++i) prefix[i + 1] = prefix[i] + profile[i];
    int best = (length - box) / 2;
    int64_t bestSum = prefix[best + box] - prefix[best];
    for (int start = 0; start + box <= length; ++start) {
        const int64_t sum = prefix[start + box] - prefix[start];
        if (sum > bestSum) best = start, bestSum = sum;
    }
    const int reach = std::max(1, box / 20);
    int peak = 0;
    int64_t peakSum = -1;
    for (int i = 0; i < length; ++i) {
        const int64_t sum = prefix[std::min(length, i + reach + 1)] - prefix[std::max(0, i - reach)];
        if (sum > peakSum) peak = i, peakSum = sum;
    }
    const int margin = std::min(reach, box / 2);
    if (peak < best + margin) best = peak - margin;
    if (peak >= best + box - margin) best = peak + margin - box + 1;
    return std::clamp(best, 0, length - box);
}

}  // namespace

TCropPlace CropPlace(const TBitmap& picture, int boxWidth, int boxHeight, TCropFocus focus) {
    TCropPlace place{(picture.Width() - boxWidth) / 2, (picture.Height() - boxHeight) / 2};
    if (focus != TCropFocus::Attention) return place;
    if (picture.Width() > boxWidth) place.X = BestWindow(Profile(picture, true), boxWidth);
    if (picture.Height() > boxHeight) place.Y = BestWindow(Profile(picture, false), boxHeight);
    return place;
}

}  // namespace quorix
