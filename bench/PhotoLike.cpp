#include "PhotoLike.h"

#include <cmath>

namespace quorix::bench {

TBitmap MakePhotoLike(int width, int height, uint32_t seed) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    uint32_t state = seed * 2654435761u + 1;
    const double fx = 6.2831853 / width, fy = 6.2831853 / height;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        double sy = std::sin(y * fy * 3.0);
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            int grain = static_cast<int>((state >> 24) & 15) - 8;
            double shade = 0.5 + 0.35 * std::sin(x * fx * 2.0 + sy) * std::cos(y * fy * 1.5);
            bool edge = ((x / 97) + (y / 61)) % 5 == 0;
            int base = static_cast<int>(shade * 220) + (edge ? 30 : 0);
            int values[3] = {base + grain, base * 3 / 4 + 40 + grain, 255 - base / 2 + grain};
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<uint8_t>(values[c] < 0 ? 0 : values[c] > 255 ? 255 : values[c]);
        }
    }
    return bitmap;
}

}  // namespace quorix::bench
