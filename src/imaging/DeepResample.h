// The resampler's two passes on 16-bit samples: linear light, and pictures
// of more than 8 bits. The contributor lists are the 8-bit passes' own; each
// sum is taken in single precision in list order, then rounded to nearest and
// clamped, so every build gives the same samples.
#pragma once

#include "Resample.h"

#include <cstdint>
#include <vector>

namespace quorix {

// Three samples a pixel, in the order of the 24-bit bitmap (blue, green, red).
struct TDeepPixels {
    int Width = 0, Height = 0;
    std::vector<uint16_t> Samples;
    void SetSize(int width, int height);
    uint16_t* Row(int y) { return Samples.data() + static_cast<size_t>(y) * Width * 3; }
    const uint16_t* Row(int y) const { return Samples.data() + static_cast<size_t>(y) * Width * 3; }
};

// dest must have its size; threads parts of the rows are made side by side.
void ResampleDeep(const TDeepPixels& source, TDeepPixels& dest, TFilterProc filter, float width, int threads);

}  // namespace quorix
