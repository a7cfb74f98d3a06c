#include "NumberText.h"

#include <charconv>
#include <cmath>

namespace quorix {

std::string FormatSignificant(long double value, int significant) {
    char buffer[128];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, significant);
    return std::string(buffer, result.ptr);
}

std::string FormatFixed(long double value, int decimals) {
    char buffer[512];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : FormatSignificant(value, 15);
}

std::string FirstCharacters(const std::string& text, size_t count) {
    size_t bytes = 0;
    for (size_t chars = 0; bytes < text.size(); ++bytes) {
        const bool continuation = (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80;
        if (!continuation && chars++ == count) break;
    }
    return text.substr(0, bytes);
}

bool ParseDecimal(const std::string& text, double& value) {
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return false;
    if (text[first] == '+') ++first;
    if (first > last || text[first] == '-' || text[first] == '+') return false;
    const char* end = text.data() + last + 1;
    const auto result = std::from_chars(text.data() + first, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

}  // namespace quorix
