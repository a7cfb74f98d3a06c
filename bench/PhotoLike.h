// A generated picture with the texture of a photograph: smooth shading,
// edges and fine grain, so that codecs and filters work as on real photos.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>

namespace quorix::bench {

TBitmap MakePhotoLike(int width, int height, uint32_t seed);

}  // namespace quorix::bench
