#include "OptionValues.h"

#include "Graphic.h"
#include "NumberText.h"
#include "Resample.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace quorix {

namespace {

const struct {
    const char* name;
    TResizeMode mode;
} Modes[] = {{"decrease", TResizeMode::XDecrease}, {"increase", TResizeMode::XIncrease},
             {"same-size", TResizeMode::SameSize}, {"fit", TResizeMode::FitWithin},
             {"same-width", TResizeMode::SameWidth}, {"same-height", TResizeMode::SameHeight}, {"fill", TResizeMode::FillBox},
             {"none", TResizeMode::None}};

// A side of a size, as the window's width and height take it.
int ParseSide(const std::string& named, const std::string& text) { return ParseWholeValue(named, text, 1, 32768); }

}  // namespace

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');  // ASCII only, in any locale
    return text;
}

double ParseRealValue(const std::string& named, const std::string& text) {
    double value;
    if (text.empty() || text.front() == ' ' || text.back() == ' ' || !ParseDecimal(text, value))
        throw EOptionError("invalid number for " + named + ": '" + text + "'");
    return value;
}

int ParseWholeValue(const std::string& named, const std::string& text, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
        throw EOptionError("invalid whole number for " + named + ": '" + text + "'");
    if (value < low || value > high)
        throw EOptionError(named + " must be from " + std::to_string(low) + " to " + std::to_string(high) + ": '" + text + "'");
    return static_cast<int>(value);
}

bool ParseSwitchValue(const std::string& named, const std::string& text) {
    const std::string t = AsciiLower(text);
    if (t == "yes" || t == "true" || t == "on" || t == "1") return true;
    if (t == "no" || t == "false" || t == "off" || t == "0") return false;
    throw EOptionError("invalid value for " + named + ": '" + text + "' (yes or no)");
}

TResizeMode ParseModeValue(const std::string& named, const std::string& text) {
    for (const auto& m : Modes)
        if (AsciiLower(text) == m.name && m.mode != TResizeMode::None) return m.mode;
    throw EOptionError("unknown mode '" + text + "' for " + named +
                       " (decrease, increase, same-size, fit, same-width, same-height, fill)");
}

const TSharpenPreset SharpenPresets[4] = {
    {"none", 0.0, 0.0}, {"light", 0.4, 0.6}, {"standard", 0.8, 0.6}, {"strong", 1.4, 0.7}};

void ParseSharpenValue(const std::string& named, const std::string& text, TResizeOptions& options) {
    for (const TSharpenPreset& p : SharpenPresets)
        if (AsciiLower(text) == p.Name) {
            options.SharpenAmount = p.Amount;
            options.SharpenRadius = p.Radius;
            return;
        }
    const size_t comma = text.find(',');
    const char* expected = " (none, light, standard, strong, or AMOUNT,RADIUS: 0 to 5, 0.2 to 3)";
    if (comma == std::string::npos) throw EOptionError("invalid sharpening '" + text + "' for " + named + expected);
    const double amount = ParseRealValue(named, text.substr(0, comma)), radius = ParseRealValue(named, text.substr(comma + 1));
    if (!(amount >= 0.0 && amount <= 5.0 && radius >= 0.2 && radius <= 3.0))
        throw EOptionError("sharpening out of range '" + text + "' for " + named + expected);
    options.SharpenAmount = amount;
    options.SharpenRadius = amount > 0.0 ? radius : 0.0;
}

std::string SharpenText(const TResizeOptions& options) {
    for (const TSharpenPreset& p : SharpenPresets)
        if (options.SharpenAmount == p.Amount && (p.Amount == 0.0 || options.SharpenRadius == p.Radius)) return p.Name;
    return RealText(options.SharpenAmount) + "," + RealText(options.SharpenRadius);
}

const char* ModeName(TResizeMode mode) {
    for (const auto& m : Modes)
        if (m.mode == mode) return m.name;
    return "none";
}

int ParseFilterValue(const std::string& named, const std::string& text) {
    static const struct { const char* alias; const char* name; } aliases[] = {
        {"lanczos", "Lanczos3"}, {"bspline", "B-Spline"}, {"linear", "Triangle"}, {"bilinear", "Triangle"},
        {"nearest", "Box"}};
    std::string name = text;
    for (const auto& a : aliases)
        if (AsciiLower(text) == a.alias) name = a.name;
    for (int i = 0; i < ResampleFilterCount; ++i)
        if (AsciiLower(name) == AsciiLower(ResampleFilters[i].Name)) return i;
    throw EOptionError("unknown filter '" + text + "' for " + named + " (Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3)");
}

std::string ParseFormatValue(const std::string& named, const std::string& text) {
    static const struct { const char* alias; const char* key; } aliases[] = {{"jpeg", "jpg"}, {"jpe", "jpg"}, {"tiff", "tif"}};
    std::string key = AsciiLower(text);
    for (const auto& a : aliases)
        if (key == a.alias) key = a.key;
    std::string known;
    for (const TOutputFormatInfo& format : OutputFormats()) {
        if (format.Key == key) return key;
        known += (known.empty() ? "" : ", ") + format.Key;
    }
    throw EOptionError("unknown format '" + text + "' for " + named + " (" + known + ")");
}

void ParseSizeValue(const std::string& named, const std::string& text, TResizeOptions& options) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) throw EOptionError("invalid size '" + text + "' for " + named + ", expected WxH");
    options.Width = ParseSide(named, text.substr(0, x));
    options.Height = ParseSide(named, text.substr(x + 1));
}

double ParseFactorValue(const std::string& named, const std::string& text, bool enlarge) {
    const double value = ParseRealValue(named, text);
    const double high = enlarge ? 25 : 20;
    if (!(value >= 1 && value <= high))
        throw EOptionError(named + " must be from 1 to " + std::to_string(static_cast<int>(high)) + ": '" + text + "'");
    return value;
}

void ParseGeometryValue(const std::string& named, const std::string& text, TResizeOptions& o) {
    std::string g = text;
    const char last = g.empty() ? '\0' : g.back();
    if (last == '>' || last == '!' || last == '%') g.pop_back();
    if (last == '%') {
        const double percent = ParseRealValue(named, g);
        if (!(percent >= 5 && percent <= 2500)) throw EOptionError(named + " must be from 5% to 2500%: '" + text + "'");
        if (percent <= 100) o.Mode = TResizeMode::XDecrease, o.DecFactor = 100 / percent;
        else o.Mode = TResizeMode::XIncrease, o.IncFactor = percent / 100;
        return;
    }
    const size_t x = g.find_first_of("xX");
    const std::string w = g.substr(0, x), h = x == std::string::npos ? "" : g.substr(x + 1);
    if (w.empty() && h.empty()) throw EOptionError("invalid geometry '" + text + "' for " + named + " (WxH, WxH>, WxH!, Wx, xH, N%)");
    if (h.empty() || w.empty()) {
        if (last == '!' || last == '>') throw EOptionError("invalid geometry '" + text + "' for " + named + ": " + last + " needs WxH");
        o.Mode = h.empty() ? TResizeMode::SameWidth : TResizeMode::SameHeight;
        o.WH = ParseSide(named, h.empty() ? w : h);
        return;
    }
    o.Width = ParseSide(named, w);
    o.Height = ParseSide(named, h);
    o.Mode = last == '!' ? TResizeMode::SameSize : TResizeMode::FitWithin;
    o.OnlyShrink = last == '>';
}

std::string RealText(double value) { return FormatSignificant(value, 15); }

}  // namespace quorix
