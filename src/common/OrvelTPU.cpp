#include "OrvelTPU.h"

#include "NumberText.h"
#include "OrvelMessages.h"
#include "QuorixError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quorix {

void RaiseAssertion(const char* text, const char* file, int line) {
    std::string name = ExtractFileName(file);
    throw EAssertionFailed(std::string(text) + " (" + name + ", line " + std::to_string(line) + ")");
}

namespace {

std::u32string Decode(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || (extra > 0 && i + extra >= text.size())) {
            out.push_back(c);  // a stray byte stands for itself
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(c);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

std::string Encode(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : text) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = text.find(what, pos);
        if (hit == std::string::npos) break;
        out.append(text, pos, hit - pos);
        out += with;
        pos = hit + what.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

std::string HomeFolder() {
    const char* value = std::getenv("HOME");
    std::string home = value ? value : "";
    while (home.size() > 1 && home.back() == PathDelim) home.pop_back();
    return home;
}

std::string EnvFolder(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    if (value && *value == '/') return value;
    return fallback;
}

// The XDG user folder named by key ("DESKTOP", "DOCUMENTS") in user-dirs.dirs.
std::string XdgUserDir(const std::string& key, const std::string& fallbackName) {
    std::string home = HomeFolder();
    if (home.empty()) return "";
    std::string config = EnvFolder("XDG_CONFIG_HOME", home + "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line, wanted = "XDG_" + key + "_DIR=";
    while (std::getline(in, line)) {
        if (line.compare(0, wanted.size(), wanted) != 0) continue;
        std::string value = line.substr(wanted.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        value = ReplaceAll(value, "$HOME", home);
        if (!value.empty() && value.front() == '/') return value;
    }
    return home + "/" + fallbackName;
}

// Groups the digits of a non-negative whole-number text in threes.
std::string GroupDigits(const std::string& digits, char32_t separator) {
    std::u32string out;
    int count = static_cast<int>(digits.size());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) out.push_back(separator);
        out.push_back(static_cast<char32_t>(digits[i]));
    }
    return Encode(out);
}

}  // namespace

std::string EnsureTrailingDelimiter(const std::string& path) {
    if (path.empty() || path.back() == PathDelim) return path;
    return path + PathDelim;
}

bool FolderExists(const std::string& path) {
    if (path.empty() || path.back() == ' ') return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ExtractFileName(const std::string& path) {
    size_t slash = path.find_last_of(PathDelim);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path) {
    size_t slash = path.find_last_of(PathDelim);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Works on the name's bytes: a file name need not be valid UTF-8, and decoding
// it leniently could turn its bytes into others ("../" among them).
std::string NameWithoutExtension(const std::string& path) {
    if (path.find('.') == std::string::npos) return path;
    std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;  // the dots are in the folder part only
    return name.substr(0, dot);
}

std::string CopyRange(const std::string& text, int from, int to) {
    if (to < from) return "";
    std::u32string chars = Decode(text);
    int first = from < 1 ? 1 : from;
    int last = to > static_cast<int>(chars.size()) ? static_cast<int>(chars.size()) : to;
    if (last < first) return "";
    return Encode(chars.substr(first - 1, last - first + 1));
}

int LastPos(const std::string& sub, const std::string& text) {
    if (sub.empty()) return 0;
    std::u32string s = Decode(sub), t = Decode(text);
    size_t hit = t.rfind(s);
    return hit == std::u32string::npos ? 0 : static_cast<int>(hit) + 1;
}

std::string ReverseText(const std::string& text) {
    std::u32string chars = Decode(text);
    return Encode(std::u32string(chars.rbegin(), chars.rend()));
}

std::string SpecialFolderPath(int csidl) {
    std::string home = HomeFolder();
    std::string folder;
    switch (csidl) {
    case CSIDL_APPDATA:
        folder = EnvFolder("XDG_CONFIG_HOME", home.empty() ? "" : home + "/.config");
        break;
    case CSIDL_DESKTOPDIRECTORY:
        folder = XdgUserDir("DESKTOP", "Desktop");
        break;
    case CSIDL_PERSONAL:
        folder = XdgUserDir("DOCUMENTS", "Documents");
        break;
    default:
        return "";
    }
    return EnsureTrailingDelimiter(folder);
}

std::string AppDataSubfolderPath(const std::string& name) {
    return EnsureTrailingDelimiter(SpecialFolderPath(CSIDL_APPDATA) + name);
}

std::string EnsureAppDataSubfolder(const std::string& name) {
    std::string path = AppDataSubfolderPath(name);
    if (!FolderExists(path)) EnsureFolder(path);
    return path;
}

std::string IniFilePath(const std::string& appName) {
    return EnsureAppDataSubfolder(appName) + appName + ".ini";
}

std::string AppFolder() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return "";
    return ExtractFilePath(std::string(buffer, static_cast<size_t>(n)));
}

bool ForceFolders(const std::string& folder) {
    if (folder.empty()) return false;
    std::string f = folder;
    if (f.back() == PathDelim) f.pop_back();
    // The root has no parent to create; a name without a folder part ends the climb.
    if (f.empty() || FolderExists(f)) return true;
    std::string parent = ExtractFilePath(f);
    if (parent == f) return true;
    if (!ForceFolders(parent)) return false;
    return ::mkdir(f.c_str(), 0777) == 0;
}

int EnsureFolder(const std::string& folder) {
    QUORIX_ASSERT(!folder.empty());
    if (FolderExists(folder)) return 0;
    return ForceFolders(folder) ? 1 : -1;
}

// The copy appears under its name only when complete: a failed copy leaves
// what was there.
bool CopyFileInto(const std::string& sourceFile, const std::string& destFolder, bool overwrite) {
    namespace fs = std::filesystem;
    const std::string target = destFolder + ExtractFileName(sourceFile);
    std::error_code ec;
    if (!overwrite && fs::exists(fs::symlink_status(target, ec))) return false;
    const std::string temp = destFolder + ".quorix-copy-" + std::to_string(::getpid());
    fs::remove(temp, ec);
    if (!fs::copy_file(sourceFile, temp, fs::copy_options::none, ec) || ec) {
        fs::remove(temp, ec);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

std::string IntToText(int32_t value) {
    return std::to_string(value);
}

std::string FormatReal(int digits, long double value) {
    QUORIX_ASSERT_MSG(!std::isnan(value), "Float number is NAN!");
    std::string text = FormatSignificant(value, 15);
    // The general format writes exponents as "E-5" and "E20".
    size_t e = text.find('e');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        int exponent = std::atoi(text.c_str() + e + 1);
        text = mantissa + "E" + std::to_string(exponent);
    }
    size_t dot = text.find('.');
    if (dot == std::string::npos) return text;
    return text.substr(0, dot + 1 + static_cast<size_t>(digits < 0 ? 0 : digits));
}

std::string FormatFileSize(int64_t size, const TNumberFormat& format) {
    if (size == 0) return "0 Byte";
    static const struct { int shift; const char* name; } units[] = {
        {40, " TB"}, {30, " GB"}, {20, " MB"}, {10, " KB"}};
    for (const auto& unit : units) {
        long double value = static_cast<long double>(size) / static_cast<long double>(1LL << unit.shift);
        if (value < 1.0L) continue;
        const std::string text = FormatFixed(value, 1);
        const size_t dot = text.find('.');
        std::u32string decimal(1, format.DecimalSeparator);
        return GroupDigits(text.substr(0, dot), format.ThousandSeparator) + Encode(decimal) +
               text.substr(dot + 1) + unit.name;
    }
    uint64_t magnitude = size < 0 ? static_cast<uint64_t>(-(size + 1)) + 1 : static_cast<uint64_t>(size);
    std::string digits = std::to_string(magnitude);
    return (size < 0 ? "-" : "") + GroupDigits(digits, format.ThousandSeparator) + " Bytes";
}

long double PercentOf(int64_t part, int64_t total) {
    QUORIX_ASSERT(total > 0);
    int64_t scaled;
    if (__builtin_mul_overflow(part, int64_t{100}, &scaled)) throw EIntOverflow();
    return static_cast<long double>(scaled) / static_cast<long double>(total);
}

std::string ExpandCrlfTokens(const std::string& text) {
    std::string out = ReplaceAll(text, "CRLF ", "CRLF");
    out = ReplaceAll(out, " CRLF ", "CRLF");
    return ReplaceAll(out, "CRLF", "\r\n");
}

bool CheckFileExists(const std::string& path) {
    if (FileExists(path)) return true;
    ShowPlainMessage(path.empty() ? "No file specified!" : "File \"" + path + "\" does not exist");
    return false;
}

int EnsureFolderWithMessage(const std::string& folder) {
    int result = EnsureFolder(folder);
    if (result == -1)
        ShowError("Cannot create folder: " + folder +
                  "\r\nProbably you are trying to write to a folder to which you don't have write permissions.");
    return result;
}

int64_t FileSizeOf(const std::string& path) {
    if (!CheckFileExists(path)) return -1;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return -1;
    std::streamoff size = in.tellg();
    return size < 0 ? -1 : static_cast<int64_t>(size);
}

}  // namespace quorix
