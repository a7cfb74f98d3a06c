// The option table's values read from text, in any locale. Each raises
// EOptionError with a message that names the option as the user wrote it
// (named: "--quality", or "quality" in a key list).
#pragma once

#include "OptionTable.h"

#include <string>

namespace quorix {

std::string AsciiLower(std::string text);
double ParseRealValue(const std::string& named, const std::string& text);
int ParseWholeValue(const std::string& named, const std::string& text, int low, int high);
bool ParseSwitchValue(const std::string& named, const std::string& text);  // yes/no, true/false, on/off, 1/0
TResizeMode ParseModeValue(const std::string& named, const std::string& text);
int ParseFilterValue(const std::string& named, const std::string& text);
std::string ParseFormatValue(const std::string& named, const std::string& text);
void ParseSizeValue(const std::string& named, const std::string& text, TResizeOptions& options);
// ImageMagick's and vips' geometry: WxH, WxH>, WxH!, Wx, xH, N%.
void ParseGeometryValue(const std::string& named, const std::string& text, TResizeOptions& options);
// The factor of the mode: a reduction from 1 to 20, an enlargement from 1 to 25.
double ParseFactorValue(const std::string& named, const std::string& text, bool enlarge);

// none, light, standard, strong, or AMOUNT,RADIUS (0 to 5, 0.2 to 3 pixels).
void ParseSharpenValue(const std::string& named, const std::string& text, TResizeOptions& options);
std::string SharpenText(const TResizeOptions& options);  // the preset's name, else "AMOUNT,RADIUS"
// The presets in the order the window lists them, "none" first.
struct TSharpenPreset {
    const char* Name;
    double Amount, Radius;
};
extern const TSharpenPreset SharpenPresets[4];

const char* ModeName(TResizeMode mode);  // "decrease", ..., "none"
std::string RealText(double value);      // "2.5", "2"

}  // namespace quorix
