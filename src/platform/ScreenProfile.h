// The colour profile of the screen the window is on, as the desktop's colour
// manager publishes it (the _ICC_PROFILE property of the X11 root window).
#pragma once

#include <cstdint>
#include <vector>

namespace quorix {

// Empty when the desktop publishes none (or it is not X11): sRGB is assumed.
std::vector<uint8_t> ScreenColourProfile();

}  // namespace quorix
