// Decoded Y'CbCr planes (an AV1 or HEVC picture as its library hands it out)
// into the 24-bit bitmap, converted by libavif a band of rows at a time, so
// that no whole-picture RGB copy is ever held; the container's crop,
// rotation and mirroring are applied on the way.
#pragma once

#include "OrvelGraphics.h"
#include "RasterImage.h"

#include <avif/avif.h>

#include <cstdint>
#include <memory>

namespace quorix {

// The container's transforms in the order they apply: crop, rotation
// (anticlockwise quarter turns), mirroring.
struct TYuvTransform {
    uint32_t CropX = 0, CropY = 0, CropWidth = 0, CropHeight = 0;  // 0 x 0: no crop
    int QuarterTurns = 0;                                           // 0 to 3
    int Mirror = -1;  // -1 none, 0 top and bottom exchanged, 1 left and right
};

// The size the picture shows with the transforms applied.
void TransformedSize(const avifImage& image, const TYuvTransform& transform, uint32_t& width, uint32_t& height);

// Fills bitmap (made 24-bit at the transformed size); alpha, unpremultiplied
// when the picture says it is premultiplied, is composited over black.
// bandRows is how many rows are converted at a time. Raises EInvalidGraphic
// when libavif refuses the planes.
void YuvToBitmap(const avifImage& image, const TYuvTransform& transform, TBitmap& bitmap, int bandRows = 64);

// The picture's samples of more than 8 bits at 16 bits a sample, alpha
// composited over black; null for 8 bits or a turned or mirrored picture.
std::shared_ptr<TDeepPixels> YuvToDeep(const avifImage& image, const TYuvTransform& transform);

// The picture's rows made as they are read, a band of planes converted at a
// time; owner keeps the planes alive (the library's decoder or image) and
// image is a view of them.
std::unique_ptr<TDeferredRows> DeferredYuvRows(std::shared_ptr<void> owner, const avifImage& image,
                                               const TYuvTransform& transform);

}  // namespace quorix
