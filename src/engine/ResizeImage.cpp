#include "ResizeImage.h"

#include "OrvelTPU.h"
#include "OutputSave.h"
#include "OutputSteps.h"
#include "PhotoMetadata.h"
#include "QuorixError.h"
#include "Resample.h"
#include "SizeBudget.h"
#include "SrgbConversion.h"
#include "StreamBytes.h"
#include "TargetSize.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>

namespace quorix {

namespace {

TResizeResult Stop(TResizeOutcome outcome, std::string line) {
    TResizeResult result;
    result.Outcome = outcome;
    result.Log.push_back(std::move(line));
    return result;
}

// The output's name is one entry of the output folder: nothing in a source's
// name may lead elsewhere.
bool LiesDirectlyIn(const std::string& outputName, const std::string& outPath) {
    if (outputName.compare(0, outPath.size(), outPath) != 0) return false;
    const std::string leaf = outputName.substr(outPath.size());
    return !leaf.empty() && leaf != "." && leaf != ".." && leaf.find('/') == std::string::npos &&
           leaf.find('\0') == std::string::npos;
}

void Warn(TResizeResult& result, std::string line) {
    result.Warnings.push_back(line);
    result.Log.push_back(std::move(line));
}

TResizeResult CannotOpen(const std::string& imageName, const std::string& reason) {
    TResizeResult result = Stop(TResizeOutcome::CannotOpen, "ERROR! Cannot open picture: " + imageName);
    result.Reason = reason;
    return result;
}

// The file's modification date, yyyy-mm-dd in local time.
std::string FileDate(const std::string& fileName) {
    struct stat info {};
    struct tm local {};
    if (::stat(fileName.c_str(), &info) != 0 || !::localtime_r(&info.st_mtime, &local)) return "";
    char text[48];  // room for any int the compiler can think of
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

// What {date} gives: the date taken, else the file's date.
std::string NameDate(const std::string& imageName, const TPhotoMetadata& metadata) {
    const std::string taken = metadata.DateTaken();
    return taken.empty() ? FileDate(imageName) : taken;
}

// The source's modification time on the output; the access time is now.
void CopyModificationTime(const std::string& source, const std::string& output) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) return;
    const timespec times[2] = {{0, UTIME_NOW}, info.st_mtim};
    ::utimensat(AT_FDCWD, output.c_str(), times, 0);
}

bool Dated(const TResizeOptions& o) { return o.NameTemplate.find("{date}") != std::string::npos; }

bool NeedsMetadata(const TResizeOptions& o) { return o.KeepProfile || o.KeepMetadata || o.ConvertSrgb || o.Linear || Dated(o); }

// What the outputs of one picture share.
struct TSource {
    const std::string& Name;
    const std::string& OutPath;
    const TRunSources* Sources;
    const TRunPlace* Place;
    TPhotoMetadata Metadata;  // read once, when any output needs it
    TCmykConversion Cmyk;     // through the picture's CMYK profile, when it has one
    TGraphic::TPeek Peek;     // the header's size, read when an output may decode smaller
};

// How an output needs its picture decoded; outputs that need it the same way share one decode.
struct TDecodeWay {
    bool Protect = true;
    bool CmykThroughProfile = false;  // a CMYK picture's pixels come out in sRGB through its profile
    int Shrink = 1;                   // decoded smaller by this where the format can
    bool Deep = false;                // 16-bit samples kept where the picture has them
    bool operator==(const TDecodeWay& o) const {
        return Protect == o.Protect && CmykThroughProfile == o.CmykThroughProfile && Shrink == o.Shrink && Deep == o.Deep;
    }
    bool operator!=(const TDecodeWay& o) const { return !(*this == o); }
};

bool KeepsDepth(const TResizeOptions& o) { return o.Depth == 16 && FindOutputFormat(o.Format).Holds16; }

// The largest of 8, 4 and 2 by which the picture can be decoded smaller and
// still be at least twice the output on each side, whichever way up it turns
// out to be (the header does not say); 1 without --fast.
int ShrinkFor(const TSource& source, const TResizeOptions& o) {
    if (!o.FastDecode || o.Mode == TResizeMode::None || source.Peek.Width <= 0 || source.Peek.Height <= 0 ||
        source.Peek.Width > 1000000 || source.Peek.Height > 1000000)
        return 1;
    const int w = static_cast<int>(source.Peek.Width), h = static_cast<int>(source.Peek.Height);
    try {
        // Upright the picture shows w x h and gets a; turned it shows h x w and gets b.
        const TTargetSize a = ResampledSize(o, w, h), b = ResampledSize(o, h, w);
        for (const int shrink : {8, 4, 2}) {
            const int64_t sw = w / shrink, sh = h / shrink;
            if (sw >= 2 * int64_t{a.Width} && sh >= 2 * int64_t{a.Height} && sh >= 2 * int64_t{b.Width} &&
                sw >= 2 * int64_t{b.Height})
                return shrink;
        }
    } catch (const std::exception&) {
        // the full decode meets the error, and says it
    }
    return 1;
}

TDecodeWay WayOf(const TSource& source, const TResizeOptions& o) {
    return {o.Protect, o.ConvertSrgb && static_cast<bool>(source.Cmyk), ShrinkFor(source, o), KeepsDepth(o)};
}

// The header decides before any pixel exists: the guard and the pixel limit.
// False, with the result that says why, when the picture cannot be used.
bool Decode(const TSource& source, const TDecodeWay& way, TPicture& picture, TResizeResult& failure) {
    TDecodeLimits limits;
    limits.Protect = way.Protect;
    if (way.CmykThroughProfile) limits.CmykToBgr = source.Cmyk;
    limits.Shrink = way.Shrink;
    limits.Deep = way.Deep;
    try {
        picture.LoadFromFile(source.Name, limits);
    } catch (const EHugeImage&) {
        failure = Stop(TResizeOutcome::HugeImage, "WARNING! Huge image: " + source.Name);
        return false;
    } catch (const std::exception& e) {
        failure = CannotOpen(source.Name, e.what());
        return false;
    }
    const int w = picture.Width(), h = picture.Height();
    if (!way.Protect || w <= HugeImageSide || h <= HugeImageSide) return true;
    failure = Stop(TResizeOutcome::HugeImage, "WARNING! Huge image: " + source.Name);
    return false;
}

// The output's file name, as its run gives it; false (with the result that
// says why) where it may not be written.
bool NameOutput(const TSource& source, const TResizeOptions& options, size_t k, const TNameFacts& facts,
                TResizeResult& result, bool& renamed) {
    std::string name = OutputFileName(source.Name, source.OutPath, options, facts);
    if (source.Place && source.Place->Names) {
        const std::string given = source.Place->Names->Final(source.Place->Index + k, name);
        renamed = given != name;
        name = given;
    }
    result.OutputName = name;
    if (!LiesDirectlyIn(name, source.OutPath)) {
        result.Outcome = TResizeOutcome::SaveFailed;
        result.Log = {"Cannot save file as: " + name};
        result.SaveError = "The output name leaves its folder: " + name;
    } else if (TRunSources(std::vector<std::string>{source.Name}).Contains(name) ||
               (source.Sources && source.Sources->Contains(name))) {
        result.Outcome = TResizeOutcome::ReplacesSource;
        result.Log = {"WARNING! Output would replace its source (not overwritten): " + name};
    } else if (!options.Overwrite && FileExists(name)) {
        result.Outcome = TResizeOutcome::OutputExists;
        result.Log = {"WARNING! File already exists (not overwritten): " + name};
    }
    return result.Log.empty();
}

// The output's own copy of what it needs of the picture's metadata.
void TakeMetadata(const TSource& source, const TResizeOptions& options, const TDecodeWay& way, TOutputWork& work) {
    if (!NeedsMetadata(options)) return;
    work.Metadata = source.Metadata.Copy();
    work.ToSrgb = options.ConvertSrgb && !work.Metadata.Profile().empty();
    if (way.CmykThroughProfile) {
        work.Metadata.SetProfile(SrgbProfileBytes());
        work.ToSrgb = false;  // the pixels came out in sRGB already
    }
}

// Runs the output's steps; false (with the result) when its pixels could not be made.
bool RunSteps(const std::string& imageName, TOutputWork& work, TOutputSave& save, TResizeResult& result) {
    const TOutputSteps steps = StepsFor(work.Options);
    // A format that takes rows as they come (JPEG) is encoded as they are
    // made, unless a later step still changes them.
    bool stream = save.CanStream();
    for (const auto& step : steps) stream = stream && step->LeavesRows(work);
    if (stream) work.RowsDone = save.StreamRows(work.Working);
    try {
        for (const auto& step : steps) {
            step->Apply(work);
            if (!work.Failure.empty()) break;
        }
    } catch (const std::bad_alloc&) {
        result = CannotOpen(imageName, "Out of memory");
        return false;
    } catch (const std::exception& e) {
        // Pixels that cannot be decoded cost this picture only; nothing is written.
        result = CannotOpen(imageName, e.what());
        return false;
    }
    if (work.Failure.empty()) return true;
    result.Outcome = TResizeOutcome::ResizeFailed;
    result.Log = {"ERROR! Cannot resize picture: " + imageName + " (" + work.Failure + ")"};
    return false;
}

// Writes the finished output; the result of a written picture, or of a failed save.
void SaveOutput(const TSource& source, TOutputWork& work, TOutputSave& save, bool renamed, TResizeResult& result) {
    const std::string& name = result.OutputName;
    result.Width = work.Working.Width();
    result.Height = work.Working.Height();
    std::vector<std::string> refused;  // the metadata blocks left out, as lines
    bool limitReached = true;
    try {
        save.SetDeep(work.Deep);
        limitReached = save.Save(work.Working, work.Metadata, name, refused);
        result.Quality = save.Quality();
        if (work.Options.KeepDate) CopyModificationTime(source.Name, name);
    } catch (const std::exception& e) {
        result.Outcome = TResizeOutcome::SaveFailed;
        result.Width = result.Height = 0;  // sizes are those of a written picture
        result.SaveError = e.what();
        result.Log.push_back("Cannot save file as: " + name);
        return;
    }
    result.Log.push_back(WrittenLine(name, renamed));
    if (!limitReached) Warn(result, "WARNING! Size limit not reached: " + name);
    if (work.Source.DecodedPastDamage()) Warn(result, "WARNING! Damaged picture data, decoded past it: " + source.Name);
    for (std::string& line : refused) Warn(result, std::move(line));
}

// Output k of the picture, made from the decoded source.
TResizeResult MakeOutput(const TSource& source, const TGraphic& decoded, const TDecodeWay& way,
                         const TPictureOutput& output, size_t k) {
    const TResizeOptions& options = output.Options;
    if (options.Mode == TResizeMode::None)
        return Stop(TResizeOutcome::NoMode, "WARNING! No resize mode selected: " + source.Name);
    TOutputWork work(decoded, options);
    int w = 0, h = 0;
    decoded.FullSize(w, h);  // the output's size comes from the picture's own, however it was decoded
    work.SourceWidth = w, work.SourceHeight = h;
    work.Target = ComputeTargetSize(options, w, h);
    work.Resampled = ResampledSize(options, w, h);
    // Never enlarged: the picture keeps its own size, and its own pixels.
    work.KeepSize = options.OnlyShrink && (work.Resampled.Width > w || work.Resampled.Height > h);
    if (work.KeepSize) work.Target = work.Resampled = {w, h};
    work.Working.SetPixelFormat(TPixelFormat::pf24bit);
    work.Working.SetLargeSize(work.Resampled.Width, work.Resampled.Height);

    TNameFacts facts;
    facts.Width = work.Target.Width;
    facts.Height = work.Target.Height;
    if (Dated(options)) facts.Date = NameDate(source.Name, source.Metadata);
    TResizeResult result;
    bool renamed = false;
    if (!NameOutput(source, options, k, facts, result, renamed)) return result;

    TakeMetadata(source, options, way, work);
    TOutputSave save(options);
    if (!RunSteps(source.Name, work, save, result)) return result;
    SaveOutput(source, work, save, renamed, result);
    return result;
}

// Pixels that cannot be decoded are left to the outputs' own reads, which
// say so for their picture.
void KeepDecoded(const TGraphic& graphic) {
    try {
        graphic.KeepDecoded();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
    }
}

std::vector<TResizeResult> MakeOutputs(TSource& source, const std::vector<TPictureOutput>& outputs, TPicture& picture) {
    std::vector<TResizeResult> results;
    if (!FileExists(source.Name))
        return {Stop(TResizeOutcome::SourceMissing, "File does not exist " + source.Name)};
    bool needsMetadata = false, wantsSrgb = false;
    for (const TPictureOutput& output : outputs) {
        needsMetadata = needsMetadata || NeedsMetadata(output.Options);
        wantsSrgb = wantsSrgb || output.Options.ConvertSrgb;
    }
    if (needsMetadata) source.Metadata = TPhotoMetadata::Read(source.Name);
    if (wantsSrgb && !source.Metadata.Profile().empty()) source.Cmyk = CmykToSrgb(source.Metadata.Profile());
    const auto fast = [](const TPictureOutput& output) { return output.Options.FastDecode; };
    if (std::any_of(outputs.begin(), outputs.end(), fast)) PeekPictureFile(source.Name, source.Peek);
    bool decodedSome = false;  // the picture holds a decode, made the way decoded says
    TDecodeWay decoded;
    std::vector<TDecodeWay> failed;  // said once; the outputs that need the picture so are not made
    for (size_t k = 0; k < outputs.size(); ++k) {
        const TDecodeWay way = WayOf(source, outputs[k].Options);
        if (std::find(failed.begin(), failed.end(), way) != failed.end()) continue;
        TResizeResult failure;
        if ((!decodedSome || decoded != way) && !Decode(source, way, picture, failure)) {
            results.push_back(std::move(failure));
            failed.push_back(way);
            decodedSome = false;  // the picture holds what it held before
            continue;
        }
        decodedSome = true;
        decoded = way;
        if (outputs.size() - k > 1) KeepDecoded(*picture.Graphic());  // read again by the outputs after this one
        results.push_back(MakeOutput(source, *picture.Graphic(), way, outputs[k], k));
        results.back().Key = outputs[k].Key;
        if (results.back().Outcome == TResizeOutcome::CannotOpen) break;  // its pixels cannot be decoded
    }
    return results;
}

}  // namespace

std::vector<TResizeResult> ResizePicture(const std::string& imageName, const std::string& outPath,
                                         const std::vector<TPictureOutput>& outputs, TPicture& picture,
                                         const TRunSources* sources, const TRunPlace* place) {
    TSource source{imageName, outPath, sources, place, TPhotoMetadata(), TCmykConversion(), TGraphic::TPeek()};
    // Running out of memory anywhere in a picture's work costs that picture only.
    try {
        return MakeOutputs(source, outputs, picture);
    } catch (const std::bad_alloc&) {
        picture.TakeGraphic();  // its memory goes back at once
        return {CannotOpen(imageName, "Out of memory")};
    }
}

TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                          TPicture& picture, const TRunSources* sources, const TRunPlace* place) {
    std::vector<TResizeResult> results = ResizePicture(imageName, outPath, {{"", options}}, picture, sources, place);
    return std::move(results.front());
}

TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                          const TRunSources* sources, const TRunPlace* place) {
    TPicture picture;
    return ResizeImage(imageName, outPath, options, picture, sources, place);
}

std::string WrittenLine(const std::string& outputName, bool renamed) {
    return (renamed ? "WARNING! Output name already used in this run, saved as: " : "File resized and saved as: ") + outputName;
}

TNameFacts PlannedNameFacts(const std::string& imageName, const TResizeOptions& options) {
    TNameFacts facts;
    const std::string& name = options.NameTemplate;
    if (name.find("{date}") != std::string::npos) facts.Date = NameDate(imageName, TPhotoMetadata::Read(imageName));
    TGraphic::TPeek peek;
    if ((name.find("{width}") == std::string::npos && name.find("{height}") == std::string::npos) ||
        !PeekPictureFile(imageName, peek) || peek.Width <= 0 || peek.Height <= 0 || peek.Width > 1000000 ||
        peek.Height > 1000000)
        return facts;
    try {
        const int w = static_cast<int>(peek.Width), h = static_cast<int>(peek.Height);
        TTargetSize target = ComputeTargetSize(options, w, h);
        const TTargetSize resampled = ResampledSize(options, w, h);
        if (options.OnlyShrink && (resampled.Width > w || resampled.Height > h)) target = {w, h};
        facts.Width = target.Width, facts.Height = target.Height;
    } catch (const std::exception&) {
        // the picture ends the job when its turn comes
    }
    return facts;
}

}  // namespace quorix
