// Where a crop to fill takes its box from a picture that covers it.
#pragma once

#include "OrvelGraphics.h"
#include "ResizeOptions.h"

namespace quorix {

struct TCropPlace {
    int X = 0, Y = 0;
};

// The box's top left corner within picture (at least the box on each side).
// Centre: the middle. Attention: along the side that is longer than the box,
// the window with the most detail, saturation and skin tone, moved where
// needed so that the strongest feature's centre stays inside it.
TCropPlace CropPlace(const TBitmap& picture, int boxWidth, int boxHeight, TCropFocus focus);

}  // namespace quorix
