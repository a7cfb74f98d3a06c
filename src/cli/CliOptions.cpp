#include "CliOptions.h"

#include "Graphic.h"
#include "TargetSize.h"
#include "NumberText.h"

#include "Resample.h"

#include <cerrno>
#include <fstream>
#include <iostream>
#include <cmath>
#include <cstdlib>
#include <strings.h>

namespace quorix {

namespace {

double ParseReal(const std::string& option, const std::string& text) {
    double value;
    if (text.empty() || text.front() == ' ' || text.back() == ' ' || !ParseDecimal(text, value))
        throw EUsageError("invalid number for " + option + ": '" + text + "'");
    return value;
}

int ParseInt(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
        throw EUsageError("invalid whole number for " + option + ": '" + text + "'");
    return static_cast<int>(value);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');  // ASCII only, in any locale
    return text;
}

// A whole number within what the window's control for it takes.
int ParseRange(const std::string& option, const std::string& text, int low, int high) {
    const int value = ParseInt(option, text);
    if (value < low || value > high)
        throw EUsageError(option + " must be from " + std::to_string(low) + " to " + std::to_string(high) + ": '" + text + "'");
    return value;
}

TResizeMode ParseMode(const std::string& text) {
    static const struct { const char* name; TResizeMode mode; } modes[] = {
        {"decrease", TResizeMode::XDecrease}, {"increase", TResizeMode::XIncrease},
        {"same-size", TResizeMode::SameSize}, {"fit", TResizeMode::FitWithin}, {"same-width", TResizeMode::SameWidth},
        {"same-height", TResizeMode::SameHeight}};
    for (const auto& m : modes)
        if (Lower(text) == m.name) return m.mode;
    throw EUsageError("unknown mode '" + text + "' for --mode (decrease, increase, same-size, fit, same-width, same-height)");
}

int ParseFilter(const std::string& text) {
    static const struct { const char* alias; const char* name; } aliases[] = {
        {"lanczos", "Lanczos3"}, {"bspline", "B-Spline"}, {"linear", "Triangle"}, {"bilinear", "Triangle"},
        {"nearest", "Box"}};
    std::string name = text;
    for (const auto& a : aliases)
        if (Lower(text) == a.alias) name = a.name;
    for (int i = 0; i < ResampleFilterCount; ++i)
        if (Lower(name) == Lower(ResampleFilters[i].Name)) return i;
    throw EUsageError("unknown filter '" + text + "' for --filter (Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3)");
}

std::string ParseFormat(const std::string& text) {
    static const struct { const char* alias; const char* key; } aliases[] = {{"jpeg", "jpg"}, {"jpe", "jpg"}, {"tiff", "tif"}};
    std::string key = Lower(text);
    for (const auto& a : aliases)
        if (key == a.alias) key = a.key;
    std::string known;
    for (const TOutputFormatInfo& format : OutputFormats()) {
        if (format.Key == key) return key;
        known += (known.empty() ? "" : ", ") + format.Key;
    }
    throw EUsageError("unknown format '" + text + "' for --format (" + known + ")");
}

// A side of a size, as the window's width and height take it.
int ParseSide(const std::string& option, const std::string& text) { return ParseRange(option, text, 1, 32768); }

void ParseSize(const std::string& text, TResizeOptions& options) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) throw EUsageError("invalid size '" + text + "' for --size, expected WxH");
    options.Width = ParseSide("--size", text.substr(0, x));
    options.Height = ParseSide("--size", text.substr(x + 1));
}

// A factor as the window's spin boxes take it: a reduction from 1 to 20, an enlargement from 1 to 25.
double ParseFactor(const std::string& text, bool enlarge) {
    const double value = ParseReal("--factor", text);
    const double high = enlarge ? 25 : 20;
    if (!(value >= 1 && value <= high))
        throw EUsageError("--factor must be from 1 to " + std::to_string(static_cast<int>(high)) + ": '" + text + "'");
    return value;
}

// ImageMagick's and vips' geometry: WxH (fit within), WxH> (fit, never
// enlarge), WxH! (exactly), Wx or W (that width), xH (that height), N%.
void ParseGeometry(const std::string& text, TResizeOptions& o) {
    std::string g = text;
    const char last = g.empty() ? '\0' : g.back();
    if (last == '>' || last == '!' || last == '%') g.pop_back();
    if (last == '%') {
        const double percent = ParseReal("--resize", g);
        if (!(percent >= 5 && percent <= 2500)) throw EUsageError("--resize must be from 5% to 2500%: '" + text + "'");
        if (percent <= 100) o.Mode = TResizeMode::XDecrease, o.DecFactor = 100 / percent;
        else o.Mode = TResizeMode::XIncrease, o.IncFactor = percent / 100;
        return;
    }
    const size_t x = g.find_first_of("xX");
    const std::string w = g.substr(0, x), h = x == std::string::npos ? "" : g.substr(x + 1);
    if (w.empty() && h.empty()) throw EUsageError("invalid geometry '" + text + "' for --resize (WxH, WxH>, WxH!, Wx, xH, N%)");
    if (h.empty() || w.empty()) {
        if (last == '!' || last == '>') throw EUsageError("invalid geometry '" + text + "' for --resize: " + last + " needs WxH");
        o.Mode = h.empty() ? TResizeMode::SameWidth : TResizeMode::SameHeight;
        o.WH = ParseSide("--resize", h.empty() ? w : h);
        return;
    }
    o.Width = ParseSide("--resize", w);
    o.Height = ParseSide("--resize", h);
    o.Mode = last == '!' ? TResizeMode::SameSize : TResizeMode::FitWithin;
    o.OnlyShrink = last == '>';
}

// The options that take a value, with their short names.
const char* LongName(const std::string& arg) {
    static const struct { const char* shortName; const char* longName; } shortNames[] = {
        {"-o", "--out"}, {"-q", "--quality"}, {"-f", "--format"}, {"-j", "--threads"}, {"-r", "--recursive"},
        {"-h", "--help"}};
    for (const auto& s : shortNames)
        if (arg == s.shortName) return s.longName;
    return nullptr;
}


// --opt=value split into the option and its value (true), and the short
// names of the common options made long.
bool SplitOption(std::string& arg, std::string& attached) {
    bool split = false;
    if (arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
        attached = arg.substr(arg.find('=') + 1);
        arg = arg.substr(0, arg.find('='));
        split = true;
    }
    if (const char* name = LongName(arg)) arg = name;
    return split;
}

}  // namespace

std::string UsageText() {
    std::string read, written;
    for (const std::string& family : PictureFamilies()) read += (read.empty() ? "" : ", ") + family;
    for (const TOutputFormatInfo& format : OutputFormats()) written += (written.empty() ? "" : ", ") + format.Key;
    return "Usage: quorix-resize [options] FILE...\n"
           "Resizes each picture (" + read + ")\n"
           "and writes it into the folder \"Output\" beside it, printing one log line per picture.\n"
           "Options take their value as the next argument or after '=' (--quality=80).\n"
           "\n"
           "  --resize GEOMETRY  WxH fit within, WxH> fit but never enlarge, WxH! exactly,\n"
           "                     Wx or xH that width or height, N% scaled (5% to 2500%)\n"
           "  --mode MODE        decrease (default), increase, same-size, fit, same-width, same-height\n"
           "  --factor X         reduction factor from 1 to 20 (default 2.0), enlargement factor\n"
           "                     from 1 to 25 with --mode increase (default 1.5)\n"
           "  --size WxH         the size for same-size, the box for fit (alone: fit within;\n"
           "                     default 800x600); sides from 1 to 32768\n"
           "  --side N           the width or height for same-width and same-height (default 600)\n"
           "  --only-shrink      never enlarge: a picture smaller than its target keeps its size\n"
           "  --filter NAME      Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3 (default)\n"
           "  -q, --quality Q    quality of the lossy formats (JPEG, WebP, AVIF, JPEG XL), 5 to 99\n"
           "                     (default 70)\n"
           "  --max-size KB      the highest quality whose file fits KB (lossy formats)\n"
           "  -f, --format FMT   " + written + " (jpg the default; jpeg, tiff too)\n"
           "  -o, --out DIR      write every output into DIR instead\n"
           "  --name TEMPLATE    the output's name: {name} {width} {height} {filter} {quality}\n"
           "                     {counter} {counter:4} (0001) {date} (default {name}); a name an\n"
           "                     earlier picture of the run has gets \" (2)\", \" (3)\"...\n"
           "  --counter-start N  what {counter} gives the first picture (default 1)\n"
           "  --add-filter-name  append the filter's name to each output name\n"
           "  --strip-metadata   write neither the colour profile nor EXIF, XMP and IPTC\n"
           "  --no-profile       leave out the colour profile\n"
           "  --keep-gps         keep the location (GPS) in EXIF and XMP\n"
           "  --srgb             convert the colours from their profile to sRGB\n"
           "  --keep-date        give each output its source's modification time\n"
           "  --no-overwrite     keep outputs that already exist\n"
           "  --no-protect       also resize pictures with both sides above 10000\n"
           "  --files-from FILE  also the pictures named in FILE ('-': standard input), one a line;\n"
           "                     may be given more than once\n"
           "  -0                 the names in --files-from end with a NUL byte instead\n"
           "  -r, --recursive    folders as arguments: every picture under them, written at the\n"
           "                     same place under --out (under a folder of each one's name when\n"
           "                     there are several) or the folder's own Output; output folders are\n"
           "                     never read\n"
           "  --json             one JSON object a line per picture: source, output, outcome, log,\n"
           "                     warnings, width, height, bytes, milliseconds (and source_bytes,\n"
           "                     output_bytes in base64 for names that are not UTF-8)\n"
           "  -j, --threads N    cores to use: one picture spreads over them, several take one\n"
           "                     each (default: the CPUs this process may use)\n"
           "  --quiet            no progress line on standard error when it is a terminal\n"
           "  -h, --help, --version\n"
           "\n"
           "Lines beginning \"WARNING!\" after a written picture name what was left out of it\n"
           "(a metadata block the format cannot carry or that was refused) or repaired.\n"
           "\n"
           "Exit status: 0 when every picture is in place (written, or already there under\n"
           "--no-overwrite), 1 when any failed or was refused or a folder could not be read,\n"
           "2 for a usage error, 128 + the signal's number when interrupted: the first signal\n"
           "finishes the pictures in flight, a second one ends the run at once without them.\n";
}

// The names in a list file, their bytes as they stand: one a line (a final
// line without its line feed counts; a carriage return before the line feed
// is not part of the name), or each ended by NUL. Empty names are skipped.
static void ReadFileList(const std::string& from, bool nulSeparated, std::vector<std::string>& files) {
    std::ifstream file;
    if (from != "-") {
        file.open(from, std::ios::binary);
        if (!file) throw EUsageError("cannot read the file list " + from + " of --files-from");
    }
    std::istream& in = from == "-" ? std::cin : file;
    std::string name;
    while (std::getline(in, name, nulSeparated ? '\0' : '\n')) {
        if (!nulSeparated && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) files.push_back(name);
    }
}

TCliArguments ParseArguments(const std::vector<std::string>& args) {
    TCliArguments result;
    TResizeOptions& o = result.Options;
    std::string factor;
    std::vector<std::string> filesFrom;
    bool optionsEnded = false, nulSeparated = false, sized = false, moded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            result.Files.push_back(arg);
            continue;
        }
        std::string attached;
        bool hasAttached = SplitOption(arg, attached);
        auto value = [&]() -> std::string {
            if (hasAttached) {
                hasAttached = false;
                return attached;
            }
            if (i + 1 >= args.size()) throw EUsageError("option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--") optionsEnded = true;
        else if (arg == "--help") result.Help = true;
        else if (arg == "--version") result.Version = true;
        else if (arg == "--mode") o.Mode = ParseMode(value()), moded = true;
        else if (arg == "--factor") factor = value();
        else if (arg == "--size") ParseSize(value(), o), sized = true;
        else if (arg == "--resize") ParseGeometry(value(), o), moded = true;
        else if (arg == "--side") o.WH = ParseSide(arg, value());
        else if (arg == "--filter") o.FilterIndex = ParseFilter(value());
        else if (arg == "--quality") o.Quality = ParseRange(arg, value(), 5, 99);
        else if (arg == "--out") result.OutFolder = value();
        else if (arg == "--threads") result.Threads = ParseRange(arg, value(), 1, 4096);
        else if (arg == "--format") o.Format = ParseFormat(value());
        else if (arg == "--add-filter-name") o.AddFilterName = true;
        else if (arg == "--no-overwrite") o.Overwrite = false;
        else if (arg == "--no-protect") o.Protect = false;
        else if (arg == "--only-shrink") o.OnlyShrink = true;
        else if (arg == "--max-size") o.MaxKB = ParseRange(arg, value(), 0, 1000000);
        else if (arg == "--files-from") filesFrom.push_back(value());
        else if (arg == "--name") {
            o.NameTemplate = value();
            if (const std::string problem = NameTemplateProblem(o.NameTemplate); !problem.empty())
                throw EUsageError(problem + " (--name)");
        }
        else if (arg == "--counter-start") o.CounterStart = ParseRange(arg, value(), 0, 999999999);
        else if (arg == "-0") nulSeparated = true;
        else if (arg == "--json") result.Json = true;
        else if (arg == "--quiet") result.Quiet = true;
        else if (arg == "--recursive") result.Recursive = true;
        else if (arg == "--strip-metadata") o.KeepMetadata = o.KeepProfile = false;
        else if (arg == "--no-profile") o.KeepProfile = false;
        else if (arg == "--keep-gps") o.RemoveGps = false;
        else if (arg == "--srgb") o.ConvertSrgb = true;
        else if (arg == "--keep-date") o.KeepDate = true;
        else throw EUsageError("unknown option " + arg);
        if (hasAttached) throw EUsageError("option " + arg + " takes no value");
    }
    // A size alone means the box to fit within.
    if (sized && !moded) o.Mode = TResizeMode::FitWithin;
    if (!factor.empty()) {
        const bool enlarge = o.Mode == TResizeMode::XIncrease;
        (enlarge ? o.IncFactor : o.DecFactor) = ParseFactor(factor, enlarge);
    }
    for (const std::string& list : filesFrom) ReadFileList(list, nulSeparated, result.Files);
    if (result.Files.empty() && !result.Help && !result.Version) throw EUsageError("no picture files given");
    return result;
}

}  // namespace quorix
