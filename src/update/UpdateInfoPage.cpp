#include "UpdateInfoPage.h"

#include "NumberText.h"

#include <cerrno>
#include <cstdint>
#include <clocale>
#include <cstdlib>
#include <sstream>

namespace quorix {

namespace {

constexpr size_t MaxField = 255;

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Up to 255 characters from a 0-based start, cut at the first double quote;
// empty when none stands within them.
std::string QuotedField(const std::string& line, size_t start) {
    if (start >= line.size()) return "";
    const std::string window = FirstCharacters(line.substr(start), MaxField);
    const size_t quote = window.find('"');
    return quote == std::string::npos ? "" : window.substr(0, quote);
}

// The integer before the first "."; text that is not an integer counts as 0.
long long LeadingPart(const std::string& version) {
    const std::string part = version.substr(0, version.find('.'));
    if (part.empty()) return 0;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(part.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || part.find_first_of(" \t") != std::string::npos) return 0;
    if (value < INT32_MIN || value > INT32_MAX) return 0;  // the parts are 32-bit integers
    return value;
}

bool StandardIsNewer(std::string current, std::string page) {
    for (;;) {
        const size_t c = current.find('.');
        const size_t p = page.find('.');
        const long long pagePart = LeadingPart(page), currentPart = LeadingPart(current);
        if (pagePart > currentPart) return true;
        if (pagePart < currentPart) return false;
        if (c == std::string::npos) return false;
        current.erase(0, c + 1);
        if (p != std::string::npos) page.erase(0, p + 1);
    }
}

// A whole text as a real number with "." as the decimal separator.
bool ToNumber(const std::string& text, long double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.+-eE") != std::string::npos) return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> value;
    return !in.fail() && in.peek() == std::char_traits<char>::eof();
}

}  // namespace

std::string ExtractContent(const std::string& line) {
    const size_t at = UpperAscii(line).find("CONTENT=");
    return at == std::string::npos ? "" : QuotedField(line, at + 9);
}

std::string ExtractMetaName(const std::string& line) {
    const size_t at = UpperAscii(line).find("META NAME");
    return at == std::string::npos ? "" : QuotedField(line, at + 11);
}

void ParseInfoPage(const std::vector<std::string>& lines, const TUpdateTagInfo& tags, TUpdatePageValues& values) {
    values = TUpdatePageValues();
    const std::pair<const std::string*, std::string*> items[] = {
        {&tags.ProductName, &values.ProductName},     {&tags.ClientFileName, &values.ClientFileName},
        {&tags.Version, &values.ProductVersion},      {&tags.Author, &values.Author},
        {&tags.Email, &values.EMail},                 {&tags.Download, &values.UpdateURL},
        {&tags.Redirection, &values.RedirectionURL},  {&tags.RunParameters, &values.RunParameters}};
    for (const std::string& line : lines) {
        if (UpperAscii(line).find("META NAME") == std::string::npos) continue;
        const std::string name = ExtractMetaName(line);
        // A known item without CONTENT= gets the empty value.
        for (const auto& [tag, value] : items)
            if (name == *tag) *value = ExtractContent(line);
    }
}

bool VersionIsNewer(const std::string& pageVersion, const std::string& currentVersion, TUpdateVersionFormat format) {
    switch (format) {
    case TUpdateVersionFormat::vfStandard: return StandardIsNewer(currentVersion, pageVersion);
    case TUpdateVersionFormat::vfString: return pageVersion > currentVersion;
    case TUpdateVersionFormat::vfNumber: {
        long double page = 0, current = 0;
        return ToNumber(pageVersion, page) && ToNumber(currentVersion, current) && page > current;
    }
    }
    return false;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace quorix
