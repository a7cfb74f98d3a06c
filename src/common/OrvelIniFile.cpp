#include "OrvelIniFile.h"

#include "NumberText.h"

#include "QuorixError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quorix {

namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The section a line opens, or false.
bool SectionOf(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    name = Trim(t.substr(1, t.size() - 2));
    return true;
}

bool KeyOf(const std::string& line, std::string& key, std::string& value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

// Where a key sits: the index of its line, or of the line after its section's
// last line (section end) when the key is missing; section = -1 when missing.
struct TPlace {
    int Section = -1;
    int Line = -1;
    int SectionEnd = -1;
};

TPlace Find(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    TPlace place;
    bool inside = false;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        std::string name, k, v;
        if (SectionOf(lines[i], name)) {
            if (inside) break;
            inside = SameText(name, section);
            if (inside) place.Section = i;
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i]).empty()) place.SectionEnd = i + 1;
        if (KeyOf(lines[i], k, v) && SameText(k, key) && place.Line < 0) place.Line = i;
    }
    if (place.Section >= 0 && place.SectionEnd < 0) place.SectionEnd = place.Section + 1;
    return place;
}

struct TNamedColor {
    const char* Name;
    uint32_t Value;
};

const TNamedColor NamedColors[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000}, {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clScrollBar", 0xFF000000}, {"clBackground", 0xFF000001}, {"clActiveCaption", 0xFF000002},
    {"clInactiveCaption", 0xFF000003}, {"clMenu", 0xFF000004}, {"clWindow", 0xFF000005},
    {"clWindowFrame", 0xFF000006}, {"clMenuText", 0xFF000007}, {"clWindowText", 0xFF000008},
    {"clCaptionText", 0xFF000009}, {"clActiveBorder", 0xFF00000A}, {"clInactiveBorder", 0xFF00000B},
    {"clAppWorkSpace", 0xFF00000C}, {"clHighlight", 0xFF00000D}, {"clHighlightText", 0xFF00000E},
    {"clBtnFace", 0xFF00000F}, {"clBtnShadow", 0xFF000010}, {"clGrayText", 0xFF000011},
    {"clBtnText", 0xFF000012}, {"clInactiveCaptionText", 0xFF000013}, {"clBtnHighlight", 0xFF000014},
    {"cl3DDkShadow", 0xFF000015}, {"cl3DLight", 0xFF000016}, {"clInfoText", 0xFF000017},
    {"clInfoBk", 0xFF000018}, {"clNone", 0x1FFFFFFF}, {"clDefault", 0x20000000},
};

}  // namespace

bool ParseIniInteger(const std::string& raw, int32_t& value) {
    std::string text = Trim(raw);
    bool negative = false;
    size_t p = 0;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) negative = text[p++] == '-';
    int base = 10;
    if (text.compare(p, 2, "0x") == 0 || text.compare(p, 2, "0X") == 0) {
        base = 16;
        p += 2;
    } else if (p < text.size() && text[p] == '$') {
        base = 16;
        p += 1;
    }
    if (p >= text.size()) return false;
    uint64_t magnitude = 0;
    for (; p < text.size(); ++p) {
        int digit = std::isdigit(static_cast<unsigned char>(text[p])) ? text[p] - '0'
                  : base == 16 && std::isxdigit(static_cast<unsigned char>(text[p])) ? (std::tolower(text[p]) - 'a' + 10)
                  : -1;
        if (digit < 0) return false;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (base == 16 && !negative) {
        value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));  // "$FFFFFFFF" is -1
        return true;
    }
    int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::string ColorToText(uint32_t color) {
    for (const TNamedColor& c : NamedColors)
        if (c.Value == color) return c.Name;
    char text[16];
    std::snprintf(text, sizeof text, "$%08X", color);
    return text;
}

bool TextToColor(const std::string& text, uint32_t& color) {
    for (const TNamedColor& c : NamedColors)
        if (SameText(text, c.Name)) {
            color = c.Value;
            return true;
        }
    int32_t value;
    if (!ParseIniInteger(text, value)) return false;
    color = static_cast<uint32_t>(value);
    return true;
}

std::string FormatGeneral(double value, char decimalSeparator) {
    std::string out = FormatSignificant(value, 15);
    for (char& c : out)
        if (c == 'e') c = 'E';
    size_t e = out.find('E');
    if (e != std::string::npos) out = out.substr(0, e) + "E" + std::to_string(std::atoi(out.c_str() + e + 1));
    for (char& c : out)
        if (c == '.') c = decimalSeparator;
    return out;
}

TOrvelIniFile TOrvelIniFile::CreateEx(const std::string& appName) {
    QUORIX_ASSERT(appName.find(PathDelim) == std::string::npos);
    return TOrvelIniFile(IniFilePath(appName));
}

void TOrvelIniFile::BeginUpdate() {
    FPending = ReadLines();
    FUpdating = true;
}

void TOrvelIniFile::EndUpdate() {
    FUpdating = false;
    WriteLines(FPending);
    FPending.clear();
}

std::vector<std::string> TOrvelIniFile::ReadLines() const {
    if (FUpdating) return FPending;
    std::vector<std::string> lines;
    std::ifstream in(FFileName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (!lines.empty() && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) lines[0].erase(0, 3);
    return lines;
}

void TOrvelIniFile::WriteLines(const std::vector<std::string>& lines) {
    if (FUpdating) {
        FPending = lines;
        return;
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const std::string failure = "Unable to write to " + FFileName;
    // A settings file kept elsewhere behind a link (a dotfiles folder) is
    // replaced where it really is; the link stays.
    std::error_code error;  // a file not there yet is no error: it is made
    const bool link = std::filesystem::symlink_status(FFileName, error).type() == std::filesystem::file_type::symlink;
    const std::string target = link ? std::filesystem::weakly_canonical(FFileName, error).string() : FFileName;
    if ((link && error) || target.empty()) throw EFileError(failure);
    std::string temp = target + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw EFileError(failure);
    struct stat old;
    ::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(name.data(), target.c_str()) != 0) {
        ::unlink(name.data());
        throw EFileError(failure);
    }
}

bool TOrvelIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return Find(ReadLines(), section, key).Line >= 0;
}

std::string TOrvelIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    std::vector<std::string> lines = ReadLines();
    TPlace place = Find(lines, section, key);
    if (place.Line < 0) return def;
    std::string k, value;
    KeyOf(lines[place.Line], k, value);
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') || (value.front() == '\'' && value.back() == '\'')))
        value = value.substr(1, value.size() - 2);
    return FirstCharacters(value, 2047);
}

int32_t TOrvelIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    int32_t value;
    return ParseIniInteger(ReadString(section, key, ""), value) ? value : def;
}

bool TOrvelIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TOrvelIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
    std::string text = Trim(ReadString(section, key, ""));
    if (text.empty() || (text.find('.') != std::string::npos && FDecimal != '.')) return def;
    for (char& c : text)
        if (c == FDecimal) c = '.';
    double value;
    return ParseDecimal(text, value) ? value : def;
}

void TOrvelIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    std::vector<std::string> lines = ReadLines();
    TPlace place = Find(lines, section, key);
    const std::string line = key + "=" + value;
    if (place.Line >= 0) {
        lines[place.Line] = line;
    } else if (place.Section >= 0) {
        lines.insert(lines.begin() + place.SectionEnd, line);
    } else {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
        lines.push_back("[" + section + "]");
        lines.push_back(line);
    }
    WriteLines(lines);
}

void TOrvelIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TOrvelIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TOrvelIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FormatGeneral(value, FDecimal));
}

uint32_t TOrvelIniFile::ReadColor(const std::string& section, const std::string& key, uint32_t def) const {
    uint32_t color;
    return TextToColor(ReadString(section, key, ColorToText(def)), color) ? color : def;
}

void TOrvelIniFile::WriteColor(const std::string& section, const std::string& key, uint32_t value) {
    WriteString(section, key, ColorToText(value));
}

bool TOrvelIniFile::ReadFont(const std::string& section, const std::string& key, const std::string& defaultName,
                             TFontInfo& font) const {
    if (!ValueExists(section, key + "Name")) return false;
    font.Name = ReadString(section, key + "Name", defaultName);
    font.CharSet = ReadInteger(section, key + "CharSet", 0);
    font.Color = ReadInteger(section, key + "Color", 0);
    font.Size = ReadInteger(section, key + "Size", 8);
    font.Style = ReadInteger(section, key + "Style", 0);
    return true;
}

void TOrvelIniFile::WriteFont(const std::string& section, const std::string& key, const TFontInfo& font) {
    WriteString(section, key + "Name", font.Name);
    WriteInteger(section, key + "CharSet", font.CharSet);
    WriteInteger(section, key + "Color", font.Color);
    WriteInteger(section, key + "Size", font.Size);
    WriteInteger(section, key + "Style", font.Style);
}

}  // namespace quorix
