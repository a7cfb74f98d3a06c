#include "TargetSize.h"

#include "Graphic.h"
#include "OrvelTPU.h"
#include "QuorixError.h"
#include "Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quorix {

int RoundToInt(long double value) {
    if (std::isnan(value) || std::fabs(value) >= 9223372036854775808.0L) throw EInvalidOp();
    long double rounded = std::nearbyint(value);  // ties to even in the default rounding mode
    if (rounded > INT32_MAX) return INT32_MAX;
    if (rounded < INT32_MIN) return INT32_MIN;
    return static_cast<int>(rounded);
}

long double Divide(long double a, long double b) {
    if (b == 0.0L) {
        if (a == 0.0L || std::isnan(a)) throw EInvalidOp();
        throw EZeroDivide();
    }
    long double q = a / b;
    if (std::isnan(q)) throw EInvalidOp();
    if (std::isinf(q) && !std::isinf(a)) throw EOverflow();
    return q;
}

TTargetSize ComputeTargetSize(const TResizeOptions& options, int width, int height) {
    const long double w = width, h = height;
    switch (options.Mode) {
    case TResizeMode::XIncrease: {
        long double f = options.IncFactor;
        return {RoundToInt(w * f), RoundToInt(h * f)};
    }
    case TResizeMode::XDecrease: {
        long double d = options.DecFactor;
        return {RoundToInt(Divide(w, d)), RoundToInt(Divide(h, d))};
    }
    case TResizeMode::SameSize:
    case TResizeMode::FillBox:
        return {options.Width, options.Height};
    case TResizeMode::FitWithin: {
        // The largest factor at which both sides fit the box, proportions kept.
        const long double f = std::min(Divide(options.Width, w), Divide(options.Height, h));
        return {RoundToInt(w * f), RoundToInt(h * f)};
    }
    case TResizeMode::SameWidth: {
        double ratio = static_cast<double>(Divide(w, h));  // stored in double first
        return {options.WH, RoundToInt(Divide(options.WH, ratio))};
    }
    case TResizeMode::SameHeight: {
        double ratio = static_cast<double>(Divide(h, w));
        return {RoundToInt(Divide(options.WH, ratio)), options.WH};
    }
    case TResizeMode::None:
        break;
    }
    QUORIX_ASSERT(options.Mode != TResizeMode::None);
    return {};
}

TTargetSize ResampledSize(const TResizeOptions& options, int width, int height) {
    if (options.Mode != TResizeMode::FillBox) return ComputeTargetSize(options, width, height);
    const long double w = width, h = height;
    // The largest factor that still leaves both sides at least the box's.
    const long double f = std::max(Divide(options.Width, w), Divide(options.Height, h));
    return {std::max(options.Width, RoundToInt(w * f)), std::max(options.Height, RoundToInt(h * f))};
}

int EffectiveFilterIndex(int filterIndex) {
    return filterIndex >= 0 && filterIndex < ResampleFilterCount ? filterIndex : DefaultResampleFilter;
}

namespace {

// The length of a "{counter:W}" token at t[i] (W a width of 1 to 9 digits), or 0; width set to W.
int CounterToken(const std::string& t, size_t i, int& width) {
    static const std::string start = "{counter:";
    if (t.compare(i, start.size(), start) != 0 || i + start.size() + 1 >= t.size()) return 0;
    const char digit = t[i + start.size()];
    if (digit < '1' || digit > '9' || t[i + start.size() + 1] != '}') return 0;
    width = digit - '0';
    return static_cast<int>(start.size()) + 2;
}

// The template with its tokens replaced; unknown ones stay as written.
std::string ExpandName(const std::string& imageName, const TResizeOptions& options, const TNameFacts& facts) {
    const std::pair<const char*, std::string> tokens[] = {
        {"{name}", NameWithoutExtension(ExtractFileName(imageName))},
        {"{width}", std::to_string(facts.Width)},
        {"{height}", std::to_string(facts.Height)},
        {"{filter}", ResampleFilters[EffectiveFilterIndex(options.FilterIndex)].Name},
        {"{quality}", std::to_string(options.Quality)},
        {"{counter}", std::to_string(options.Counter)},
        {"{date}", facts.Date}};
    std::string out;
    const std::string& t = options.NameTemplate;
    for (size_t i = 0; i < t.size();) {
        if (int width = 0, length = CounterToken(t, i, width); length > 0) {  // {counter:4}: 0001
            const std::string digits = std::to_string(options.Counter);
            out += std::string(digits.size() < static_cast<size_t>(width) ? width - digits.size() : 0, '0') + digits;
            i += static_cast<size_t>(length);
            continue;
        }
        bool replaced = false;
        for (const auto& [token, value] : tokens)
            if (t.compare(i, std::strlen(token), token) == 0) {
                out += value;
                i += std::strlen(token);
                replaced = true;
                break;
            }
        if (!replaced) out += t[i++];
    }
    return out;
}

}  // namespace

std::string OutputFileName(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                           const TNameFacts& facts) {
    std::string name = outPath + ExpandName(imageName, options, facts);
    if (options.AddFilterName) name += std::string(" ") + ResampleFilters[EffectiveFilterIndex(options.FilterIndex)].Name;
    return name + FindOutputFormat(options.Format).Extension;
}

std::string NameTemplateProblem(const std::string& nameTemplate) {
    if (nameTemplate.find('/') != std::string::npos || nameTemplate.find("..") != std::string::npos)
        return "The file name template may not contain \"/\" or \"..\": every output goes into the output folder.";
    if (nameTemplate.empty()) return "The file name template is empty.";
    for (size_t open = nameTemplate.find('{'); open != std::string::npos; open = nameTemplate.find('{', open + 1)) {
        const size_t close = nameTemplate.find('}', open);
        const std::string token = nameTemplate.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
        int width = 0;
        if (token != "{name}" && token != "{width}" && token != "{height}" && token != "{filter}" && token != "{quality}" &&
            token != "{counter}" && token != "{date}" && CounterToken(token, 0, width) != static_cast<int>(token.size()))
            return "The file name template names an unknown token: " + token +
                   " (known: {name} {width} {height} {filter} {quality} {counter} {counter:4} {date}).";
    }
    return "";
}

}  // namespace quorix
