// Colours from a picture's embedded profile to sRGB, with lcms2.
#pragma once

#include "DeepResample.h"
#include "OrvelGraphics.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quorix {

// Converts the 24-bit bitmap in place from the RGB profile to sRGB with the
// perceptual intent; false (and nothing changed) when the profile is not a
// usable RGB one.
// A grey profile converts the equal channels of a grey picture.
bool ConvertToSrgb(TBitmap& bitmap, const std::vector<uint8_t>& profile);
// The same for 16-bit pixels.
bool ConvertDeepToSrgb(TDeepPixels& pixels, const std::vector<uint8_t>& profile);
// Rows of three samples a pixel of bytes (1 or 2) each, as ConvertRowsToSrgb.
bool ConvertSampleRows(uint8_t* first, size_t stride, int width, int height, const std::vector<uint8_t>& profile,
                       const std::vector<uint8_t>& target, int bytes);
// The same for rows of 24-bit blue-green-red pixels anywhere in memory, to
// the target profile (sRGB when empty).
bool ConvertRowsToSrgb(uint8_t* first, size_t stride, int width, int height, const std::vector<uint8_t>& profile,
                       const std::vector<uint8_t>& target = {});

// Whether the profile describes RGB colours: a grey or CMYK profile cannot
// stand beside the 24-bit RGB pixels the program writes.
bool IsRgbProfile(const std::vector<uint8_t>& profile);

// Stored CMYK, however it is stored, through a CMYK profile to
// sRGB; empty when the profile is not a usable CMYK one.
TCmykConversion CmykToSrgb(const std::vector<uint8_t>& profile);

// The sRGB profile written beside converted pixels.
std::vector<uint8_t> SrgbProfileBytes();

}  // namespace quorix
