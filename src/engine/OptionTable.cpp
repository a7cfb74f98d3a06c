#include "OptionTable.h"

#include "Graphic.h"
#include "OptionValues.h"
#include "Resample.h"
#include "TargetSize.h"

#include <algorithm>

namespace quorix {

namespace {

const TResizeOptions Defaults;

// The parts of a row every kind shares.
TOptionRow Row(std::string key, std::string flag, std::string arg, std::string help, std::string caption,
               std::vector<std::string> controls, std::string section = "Settings") {
    TOptionRow row;
    row.Key = std::move(key);
    row.Flag = std::move(flag);
    row.Arg = std::move(arg);
    row.Help = std::move(help);
    row.Caption = std::move(caption);
    row.Controls = std::move(controls);
    row.Section = std::move(section);
    if (!row.Controls.empty()) row.Setting = row.Controls.front();
    return row;
}

// A yes/no option; its flag sets flagValue.
TOptionRow Switch(std::string key, std::string flag, bool flagValue, bool TResizeOptions::*field, std::string help,
                  std::string caption, std::string control, std::string section = "Settings") {
    TOptionRow row = Row(std::move(key), std::move(flag), "", std::move(help), std::move(caption), {std::move(control)},
                         std::move(section));
    row.FlagValue = flagValue ? "yes" : "no";
    row.Set = [field](TOptionEntry& e, const std::string& v, const std::string& named) { e.Options.*field = ParseSwitchValue(named, v); };
    row.Get = [field](const TResizeOptions& o) { return std::string(o.*field ? "yes" : "no"); };
    row.Load = [field, setting = row.Setting](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.*field = ini.ReadBool(s, setting, Defaults.*field);
    };
    row.Save = [field, setting = row.Setting](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteBool(s, setting, o.*field);
    };
    return row;
}

// A whole number from low to high.
TOptionRow Whole(std::string key, std::string flag, std::string arg, int TResizeOptions::*field, int low, int high,
                 std::string help, std::string caption, std::string control) {
    TOptionRow row = Row(std::move(key), std::move(flag), std::move(arg), std::move(help), std::move(caption), {std::move(control)});
    row.Set = [=](TOptionEntry& e, const std::string& v, const std::string& named) {
        e.Options.*field = ParseWholeValue(named, v, low, high);
    };
    row.Get = [field](const TResizeOptions& o) { return std::to_string(o.*field); };
    row.Load = [=, setting = row.Setting](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.*field = std::clamp(ini.ReadInteger(s, setting, Defaults.*field), low, high);
    };
    row.Save = [field, setting = row.Setting](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteInteger(s, setting, o.*field);
    };
    return row;
}

const char* const ModeControls[] = {"radXDecrease", "radXIncrease", "radSameSize", "radFitWithin", "radSameWidth", "radSameHeight",
                                    "radFillBox"};
const TResizeMode ModeOfControl[] = {TResizeMode::XDecrease, TResizeMode::XIncrease, TResizeMode::SameSize,
                                     TResizeMode::FitWithin, TResizeMode::SameWidth, TResizeMode::SameHeight,
                                     TResizeMode::FillBox};

// The mode is one radio button of six, each kept as a yes or no.
TOptionRow ModeRow() {
    TOptionRow row = Row("mode", "--mode", "MODE",
                         "decrease (default), increase, same-size, fit, same-width, same-height,\n"
                         "fill (--size exactly, cropped to keep the proportions)",
                         "I want to:", {std::begin(ModeControls), std::end(ModeControls)}, "Resize");
    row.Setting = "radXDecrease";
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        e.Options.Mode = ParseModeValue(named, v);
        e.Moded = true;
    };
    row.Get = [](const TResizeOptions& o) { return std::string(ModeName(o.Mode)); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        // Of several buttons set (a hand-edited file), the last in the order
        // the window has always read them wins.
        static const size_t readOrder[] = {0, 1, 5, 4, 2, 3, 6};
        o.Mode = TResizeMode::None;
        for (const size_t i : readOrder)
            if (ini.ReadBool(s, ModeControls[i], i == 0 && !ini.ValueExists(s, ModeControls[6]))) o.Mode = ModeOfControl[i];
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        for (size_t i = 0; i < std::size(ModeControls); ++i) ini.WriteBool(s, ModeControls[i], o.Mode == ModeOfControl[i]);
    };
    return row;
}

// One factor on the command line, the mode's; the window keeps both.
TOptionRow FactorRow() {
    TOptionRow row = Row("factor", "--factor", "X",
                         "reduction factor from 1 to 20 (default 2.0), enlargement factor\n"
                         "from 1 to 25 with --mode increase (default 1.5)",
                         "Factor (times):", {"spnDecFactor", "spnIncFactor"});
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        ParseRealValue(named, v);  // a number now; its range once the mode is known
        e.Factor = v;
        e.FactorNamed = named;
    };
    row.Get = [](const TResizeOptions& o) { return RealText(o.Mode == TResizeMode::XIncrease ? o.IncFactor : o.DecFactor); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.DecFactor = std::clamp(ini.ReadFloat(s, "spnDecFactor", Defaults.DecFactor), 1.0, 20.0);
        o.IncFactor = std::clamp(ini.ReadFloat(s, "spnIncFactor", Defaults.IncFactor), 1.0, 25.0);
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteFloat(s, "spnDecFactor", o.DecFactor);
        ini.WriteFloat(s, "spnIncFactor", o.IncFactor);
    };
    return row;
}

TOptionRow SizeRow() {
    TOptionRow row = Row("size", "--size", "WxH",
                         "the size for same-size, the box for fit and fill (alone: fit\n"
                         "within; default 800x600); sides from 1 to 32768",
                         "Width x height:", {"spnWidth", "spnHeight"});
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        ParseSizeValue(named, v, e.Options);
        e.Sized = true;
    };
    row.Get = [](const TResizeOptions& o) { return std::to_string(o.Width) + "x" + std::to_string(o.Height); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.Width = std::clamp(ini.ReadInteger(s, "spnWidth", Defaults.Width), 1, 32768);
        o.Height = std::clamp(ini.ReadInteger(s, "spnHeight", Defaults.Height), 1, 32768);
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteInteger(s, "spnWidth", o.Width);
        ini.WriteInteger(s, "spnHeight", o.Height);
    };
    return row;
}

// Another way of writing the mode and the size: not stored on its own.
TOptionRow GeometryRow() {
    TOptionRow row = Row("resize", "--resize", "GEOMETRY",
                         "WxH fit within, WxH> fit but never enlarge, WxH! exactly,\n"
                         "Wx or xH that width or height, N% scaled (5% to 2500%)",
                         "", {}, "");
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        ParseGeometryValue(named, v, e.Options);
        e.Moded = true;
    };
    return row;
}

// The filter by name; the settings file keeps its place in the list.
TOptionRow FilterRow() {
    TOptionRow row = Row("filter", "--filter", "NAME", "Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3 (default)",
                         "Resampling quality:", {"cmbResampleQ"});
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) { e.Options.FilterIndex = ParseFilterValue(named, v); };
    row.Get = [](const TResizeOptions& o) { return std::string(ResampleFilters[EffectiveFilterIndex(o.FilterIndex)].Name); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.FilterIndex = EffectiveFilterIndex(ini.ReadInteger(s, "cmbResampleQ", Defaults.FilterIndex));
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) { ini.WriteInteger(s, "cmbResampleQ", o.FilterIndex); };
    return row;
}

// The format by its key; the settings file keeps its place in the window's
// list, where it is one, and its key otherwise.
TOptionRow FormatRow() {
    std::string keys;
    for (const TOutputFormatInfo& format : OutputFormats()) keys += (keys.empty() ? "" : ", ") + format.Key;
    TOptionRow row = Row("format", "--format", "FMT", keys + " (jpg the default; jpeg, tiff too)", "Output format:", {"cmbOutFormat"});
    row.Short = 'f';
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) { e.Options.Format = ParseFormatValue(named, v); };
    row.Get = [](const TResizeOptions& o) { return o.Format; };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        const std::vector<const TOutputFormatInfo*> listed = WindowOutputFormats();
        const int index = ini.ReadInteger(s, "cmbOutFormat", 0);
        o.Format = index >= 0 && index < static_cast<int>(listed.size()) ? listed[static_cast<size_t>(index)]->Key : "jpg";
        const std::string key = ini.ReadString(s, "OutFormat", "");
        for (const TOutputFormatInfo& format : OutputFormats())
            if (format.Key == key) o.Format = key;
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        const std::vector<const TOutputFormatInfo*> listed = WindowOutputFormats();
        int index = -1;
        for (size_t i = 0; i < listed.size(); ++i)
            if (listed[i]->Key == o.Format) index = static_cast<int>(i);
        ini.WriteInteger(s, "cmbOutFormat", std::max(index, 0));
        ini.WriteString(s, "OutFormat", o.Format);
    };
    return row;
}

TOptionRow NameRow() {
    TOptionRow row = Row("name", "--name", "TEMPLATE",
                         "the output's name: {name} {width} {height} {filter} {quality}\n"
                         "{counter} {counter:4} (0001) {date} (default {name}); a name an\n"
                         "earlier picture of the run has gets \" (2)\", \" (3)\"...",
                         "File name:", {"edtNameTemplate"});
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        e.Options.NameTemplate = v;  // checked once the options are settled
        e.NameNamed = named;
    };
    row.Get = [](const TResizeOptions& o) { return o.NameTemplate; };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.NameTemplate = ini.ReadString(s, "edtNameTemplate", Defaults.NameTemplate);
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) { ini.WriteString(s, "edtNameTemplate", o.NameTemplate); };
    return row;
}

// --strip-metadata leaves out the profile too.
TOptionRow KeepMetadataRow() {
    TOptionRow row = Switch("keep-metadata", "--strip-metadata", false, &TResizeOptions::KeepMetadata,
                            "write neither the colour profile nor EXIF, XMP and IPTC",
                            "Keep photo information (EXIF, XMP, IPTC)", "chkKeepMetadata");
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        e.Options.KeepMetadata = ParseSwitchValue(named, v);
        if (named == "--strip-metadata") e.Options.KeepProfile = false;
    };
    return row;
}

// PNG's compression by name; the settings file keeps its place in the list.
TOptionRow PngCompressionRow() {
    static const char* const names[] = {"fast", "balanced", "smallest"};
    TOptionRow row = Row("png-compression", "--png-compression", "HOW",
                         "PNG's compression: fast, balanced (default: as fast as libpng's\n"
                         "quickest settings, a smaller file), smallest (slow)",
                         "PNG compression:", {"cmbPngCompression"});
    row.Choices = {std::begin(names), std::end(names)};
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        for (int i = 0; i < 3; ++i)
            if (AsciiLower(v) == names[i]) return void(e.Options.PngEffort = static_cast<TEncodeEffort>(i));
        throw EOptionError("unknown PNG compression '" + v + "' for " + named + " (fast, balanced, smallest)");
    };
    row.Get = [](const TResizeOptions& o) { return std::string(names[static_cast<int>(o.PngEffort)]); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.PngEffort = static_cast<TEncodeEffort>(std::clamp(ini.ReadInteger(s, "cmbPngCompression", 1), 0, 2));
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteInteger(s, "cmbPngCompression", static_cast<int>(o.PngEffort));
    };
    return row;
}

// What a crop to fill keeps, by name; the settings file keeps its place in the list.
TOptionRow FocusRow() {
    static const char* const names[] = {"centre", "attention"};
    TOptionRow row = Row("focus", "--focus", "WHERE",
                         "what --mode fill keeps: centre (default), or attention (the part\n"
                         "with the most detail, colour and skin tone)",
                         "Keep:", {"cmbCropFocus"}, "Resize");
    row.Choices = {std::begin(names), std::end(names)};
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        const std::string t = AsciiLower(v);
        if (t == "centre" || t == "center") return void(e.Options.Focus = TCropFocus::Centre);
        if (t == "attention") return void(e.Options.Focus = TCropFocus::Attention);
        throw EOptionError("unknown focus '" + v + "' for " + named + " (centre, attention)");
    };
    row.Get = [](const TResizeOptions& o) { return std::string(names[static_cast<int>(o.Focus)]); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.Focus = static_cast<TCropFocus>(std::clamp(ini.ReadInteger(s, "cmbCropFocus", 0), 0, 1));
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteInteger(s, "cmbCropFocus", static_cast<int>(o.Focus));
    };
    return row;
}

// Sharpening by preset or as AMOUNT,RADIUS; the settings file keeps the text.
TOptionRow SharpenRow() {
    TOptionRow row = Row("sharpen", "--sharpen", "HOW",
                         "after a reduction, an unsharp mask on luminance: none (default), light,\n"
                         "standard, strong, or AMOUNT,RADIUS (0 to 5, 0.2 to 3 pixels)",
                         "Sharpen after reducing:", {"cmbSharpen"});
    for (const TSharpenPreset& p : SharpenPresets) row.Choices.push_back(p.Name);
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) { ParseSharpenValue(named, v, e.Options); };
    row.Get = [](const TResizeOptions& o) { return SharpenText(o); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        try {
            ParseSharpenValue("cmbSharpen", ini.ReadString(s, "cmbSharpen", "none"), o);
        } catch (const EOptionError&) {
            o.SharpenAmount = o.SharpenRadius = 0.0;  // a hand-edited value that cannot be used
        }
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) {
        ini.WriteString(s, "cmbSharpen", SharpenText(o));
    };
    return row;
}

// The depth of the outputs: 8, or 16 where the picture and the format have
// them. The window's check box gives yes or no.
TOptionRow DepthRow() {
    TOptionRow row = Row("depth", "--depth", "BITS",
                         "16: a picture of more than 8 bits a sample keeps 16 in PNG, TIFF and\n"
                         "JPEG XL; 8 (default): every output has 8",
                         "Keep 16 bits per channel (PNG, TIFF, JPEG XL)", {"chkKeepDepth"});
    row.Choices = {"8", "16"};
    row.Set = [](TOptionEntry& e, const std::string& v, const std::string& named) {
        const std::string t = AsciiLower(v);
        if (t == "8" || t == "no") return void(e.Options.Depth = 8);
        if (t == "16" || t == "yes") return void(e.Options.Depth = 16);
        throw EOptionError("invalid depth '" + v + "' for " + named + " (8 or 16)");
    };
    row.Get = [](const TResizeOptions& o) { return std::to_string(o.Depth); };
    row.Load = [](const TOrvelIniFile& ini, const std::string& s, TResizeOptions& o) {
        o.Depth = ini.ReadBool(s, "chkKeepDepth", false) ? 16 : 8;
    };
    row.Save = [](TOrvelIniFile& ini, const std::string& s, const TResizeOptions& o) { ini.WriteBool(s, "chkKeepDepth", o.Depth == 16); };
    return row;
}

std::vector<TOptionRow> MakeTable() {
    std::vector<TOptionRow> rows;
    rows.push_back(GeometryRow());
    rows.push_back(ModeRow());
    rows.push_back(FactorRow());
    rows.push_back(SizeRow());
    rows.push_back(Whole("side", "--side", "N", &TResizeOptions::WH, 1, 32768,
                         "the width or height for same-width and same-height (default 600)", "Same width or height (pixels):", "spnWH"));
    rows.push_back(Switch("only-shrink", "--only-shrink", true, &TResizeOptions::OnlyShrink,
                          "never enlarge: a picture smaller than its target keeps its size", "Never enlarge", "chkOnlyShrink", "Resize"));
    rows.push_back(FocusRow());
    rows.push_back(FilterRow());
    rows.push_back(Switch("linear", "--linear", true, &TResizeOptions::Linear,
                          "resample in linear light (through the picture's profile, sRGB without\n"
                          "one): fine bright detail keeps its brightness",
                          "Resize in linear light", "chkLinearLight", "Resize"));
    rows.push_back(SharpenRow());
    rows.push_back(Whole("quality", "--quality", "Q", &TResizeOptions::Quality, 5, 99,
                         "quality of the lossy formats (JPEG, WebP, AVIF, JPEG XL), 5 to 99\n(default 70)", "Quality:", "trkQuality"));
    rows.back().Short = 'q';
    rows.push_back(Whole("max-size", "--max-size", "KB", &TResizeOptions::MaxKB, 0, 1000000,
                         "the highest quality whose file fits KB (lossy formats)", "Limit each file to (KB):", "spnMaxKB"));
    rows.push_back(FormatRow());
    rows.push_back(PngCompressionRow());
    rows.push_back(DepthRow());
    rows.push_back(NameRow());
    rows.push_back(Whole("counter-start", "--counter-start", "N", &TResizeOptions::CounterStart, 0, 999999999,
                         "what {counter} gives the first picture (default 1)", "First {counter}:", "spnCounterStart"));
    rows.push_back(Switch("fast", "--fast", true, &TResizeOptions::FastDecode,
                          "reductions of 2x or more decode JPEG and WebP at 1/2, 1/4 or 1/8 of\n"
                          "their size, or take a HEIF's stored thumbnail (still at least twice\n"
                          "the output), then resample: faster, nearly identical", "Decode large reductions at reduced size (faster, nearly identical)",
                          "chkFastDecode"));
    rows.push_back(Switch("add-filter-name", "--add-filter-name", true, &TResizeOptions::AddFilterName,
                          "append the filter's name to each output name", "Add filter name in image name", "chkAddFltName"));
    rows.push_back(KeepMetadataRow());
    rows.push_back(Switch("keep-profile", "--no-profile", false, &TResizeOptions::KeepProfile, "leave out the colour profile",
                          "Keep colour profile", "chkKeepProfile"));
    rows.push_back(Switch("remove-gps", "--keep-gps", false, &TResizeOptions::RemoveGps, "keep the location (GPS) in EXIF and XMP",
                          "Remove location (GPS)", "chkRemoveGps"));
    rows.push_back(Switch("srgb", "--srgb", true, &TResizeOptions::ConvertSrgb, "convert the colours from their profile to sRGB",
                          "Convert colours to sRGB", "chkConvertSrgb"));
    rows.push_back(Switch("keep-date", "--keep-date", true, &TResizeOptions::KeepDate,
                          "give each output its source's modification time", "Keep file dates", "chkKeepDate"));
    rows.push_back(Switch("overwrite", "--no-overwrite", false, &TResizeOptions::Overwrite, "keep outputs that already exist",
                          "Overwrite existing images", "chkOverwrite"));
    rows.push_back(Switch("protect", "--no-protect", false, &TResizeOptions::Protect,
                          "also resize pictures with both sides above 10000", "Protect against invalid images", "chkProtect"));
    return rows;
}

}  // namespace

const std::vector<TOptionRow>& OptionTable() {
    static const std::vector<TOptionRow> table = MakeTable();
    return table;
}

const TOptionRow* FindOptionKey(const std::string& key) {
    for (const TOptionRow& row : OptionTable())
        if (row.Key == key) return &row;
    return nullptr;
}

const TOptionRow* FindOptionFlag(const std::string& flag) {
    for (const TOptionRow& row : OptionTable())
        if (row.Flag == flag || (row.Short && flag.size() == 2 && flag[0] == '-' && flag[1] == row.Short)) return &row;
    return nullptr;
}

std::string OptionSynopsis(const TOptionRow& row) {
    std::string text = row.Short ? std::string("-") + row.Short + ", " + row.Flag : row.Flag;
    return row.Arg.empty() ? text : text + " " + row.Arg;
}

}  // namespace quorix
