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

TResizeMode ParseMode(const std::string& text) {
    static const struct { const char* name; TResizeMode mode; } modes[] = {
        {"decrease", TResizeMode::XDecrease}, {"increase", TResizeMode::XIncrease},
        {"same-size", TResizeMode::SameSize}, {"fit", TResizeMode::FitWithin}, {"same-width", TResizeMode::SameWidth},
        {"same-height", TResizeMode::SameHeight}};
    for (const auto& m : modes)
        if (text == m.name) return m.mode;
    throw EUsageError("unknown mode '" + text + "' (decrease, increase, same-size, fit, same-width, same-height)");
}

int ParseFilter(const std::string& text) {
    for (int i = 0; i < ResampleFilterCount; ++i)
        if (strcasecmp(text.c_str(), ResampleFilters[i].Name) == 0) return i;
    throw EUsageError("unknown filter '" + text + "' (Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3)");
}

std::string ParseFormat(const std::string& text) {
    std::string known;
    for (const TOutputFormatInfo& format : OutputFormats()) {
        if (format.Key == text) return text;
        known += (known.empty() ? "" : ", ") + format.Key;
    }
    throw EUsageError("unknown format '" + text + "' (" + known + ")");
}

void ParseSize(const std::string& text, TResizeOptions& options) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) throw EUsageError("invalid size '" + text + "', expected WxH");
    options.Width = ParseInt("--size", text.substr(0, x));
    options.Height = ParseInt("--size", text.substr(x + 1));
}

}  // namespace

std::string UsageText() {
    return "Usage: quorix-resize [options] FILE...\n"
           "Resizes each picture (BMP, JPEG, PNG, GIF, JPEG 2000) and writes it into the folder\n"
           "\"Output\" beside it, printing one log line per picture.\n"
           "\n"
           "  --mode MODE        decrease (default), increase, same-size, fit, same-width, same-height\n"
           "  --factor X         reduction or enlargement factor (default 2.0 and 1.5)\n"
           "  --size WxH         the size for same-size, the box for fit (default 800x600)\n"
           "  --only-shrink      never enlarge: a picture smaller than its target keeps its size\n"
           "  --max-size KB      the highest quality whose file fits KB (lossy formats)\n"
           "  --name TEMPLATE    the output's name: {name} {width} {height} {filter} {quality}\n"
           "                     {counter} {date} (default {name})\n"
           "  --side N           the width or height for same-width and same-height (default 600)\n"
           "  --filter NAME      Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3 (default)\n"
           "  --quality Q        JPEG quality from 5 to 99 (default 70)\n"
           "  --out DIR          write every output into DIR instead\n"
           "  --format FMT       jpg (default), png, bmp, webp, avif, jxl or tif\n"
           "  --add-filter-name  append the filter's name to each output name\n"
           "  --strip-metadata   write neither the colour profile nor EXIF, XMP and IPTC\n"
           "  --no-profile       leave out the colour profile\n"
           "  --keep-gps         keep the location (GPS) in EXIF and XMP\n"
           "  --srgb             convert the colours from their profile to sRGB\n"
           "  --keep-date        give each output its source's modification time\n"
           "  --no-overwrite     keep outputs that already exist\n"
           "  --no-protect       also resize pictures with both sides above 10000\n"
           "  --files-from FILE  also the pictures named in FILE ('-': standard input), one a line\n"
           "  -0                 the names in --files-from end with a NUL byte instead\n"
           "  --recursive        folders as arguments: every picture under them, written at the\n"
           "                     same place under --out or the folder's own Output\n"
           "  --json             one JSON object a line per picture: source, output, outcome, log,\n"
           "                     warnings, width, height, bytes, milliseconds\n"
           "  --threads N        cores to use: one picture spreads over them, several take one\n"
           "                     each (default: all)\n"
           "  --help, --version\n"
           "\n"
           "Lines beginning \"WARNING!\" after a written picture name what was left out of it\n"
           "(a metadata block the format cannot carry or that was refused) or repaired.\n"
           "\n"
           "Exit status: 0 when every picture was written, 1 when any was skipped or failed,\n"
           "2 for a usage error, 128 + the signal's number when interrupted: the first signal\n"
           "finishes the pictures in flight, a second one ends the run at once without them.\n";
}

// The names in a list file, their bytes as they stand: one a line (a final
// line without its line feed counts), or each ended by NUL. Empty names are skipped.
static void ReadFileList(const std::string& from, bool nulSeparated, std::vector<std::string>& files) {
    std::ifstream file;
    if (from != "-") {
        file.open(from, std::ios::binary);
        if (!file) throw EUsageError("cannot read the file list " + from);
    }
    std::istream& in = from == "-" ? std::cin : file;
    std::string name;
    while (std::getline(in, name, nulSeparated ? '\0' : '\n'))
        if (!name.empty()) files.push_back(name);
}

TCliArguments ParseArguments(const std::vector<std::string>& args) {
    TCliArguments result;
    TResizeOptions& o = result.Options;
    std::string factor, filesFrom;
    bool optionsEnded = false, nulSeparated = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            result.Files.push_back(arg);
            continue;
        }
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw EUsageError("option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--") optionsEnded = true;
        else if (arg == "--help" || arg == "-h") result.Help = true;
        else if (arg == "--version") result.Version = true;
        else if (arg == "--mode") o.Mode = ParseMode(value());
        else if (arg == "--factor") factor = value();
        else if (arg == "--size") ParseSize(value(), o);
        else if (arg == "--side") o.WH = ParseInt(arg, value());
        else if (arg == "--filter") o.FilterIndex = ParseFilter(value());
        else if (arg == "--quality") {
            o.Quality = ParseInt(arg, value());
            if (o.Quality < 5 || o.Quality > 99) throw EUsageError("--quality must be from 5 to 99");
        }
        else if (arg == "--out") result.OutFolder = value();
        else if (arg == "--threads") {
            result.Threads = ParseInt(arg, value());
            if (result.Threads < 1) throw EUsageError("--threads must be 1 or more");
        }
        else if (arg == "--format") o.Format = ParseFormat(value());
        else if (arg == "--add-filter-name") o.AddFilterName = true;
        else if (arg == "--no-overwrite") o.Overwrite = false;
        else if (arg == "--no-protect") o.Protect = false;
        else if (arg == "--only-shrink") o.OnlyShrink = true;
        else if (arg == "--max-size") {
            o.MaxKB = ParseInt(arg, value());
            if (o.MaxKB < 0) throw EUsageError("--max-size must be 0 (no limit) or more");
        }
        else if (arg == "--files-from") filesFrom = value();
        else if (arg == "--name") {
            o.NameTemplate = value();
            if (const std::string problem = NameTemplateProblem(o.NameTemplate); !problem.empty()) throw EUsageError(problem);
        }
        else if (arg == "-0") nulSeparated = true;
        else if (arg == "--json") result.Json = true;
        else if (arg == "--recursive") result.Recursive = true;
        else if (arg == "--strip-metadata") o.KeepMetadata = o.KeepProfile = false;
        else if (arg == "--no-profile") o.KeepProfile = false;
        else if (arg == "--keep-gps") o.RemoveGps = false;
        else if (arg == "--srgb") o.ConvertSrgb = true;
        else if (arg == "--keep-date") o.KeepDate = true;
        else throw EUsageError("unknown option " + arg);
    }
    if (!factor.empty()) {
        double f = ParseReal("--factor", factor);
        if (o.Mode == TResizeMode::XIncrease) o.IncFactor = f;
        else o.DecFactor = f;
    }
    if (!filesFrom.empty()) ReadFileList(filesFrom, nulSeparated, result.Files);
    if (result.Files.empty() && !result.Help && !result.Version) throw EUsageError("no picture files given");
    return result;
}

}  // namespace quorix
