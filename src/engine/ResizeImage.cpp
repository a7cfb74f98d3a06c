#include "ResizeImage.h"

#include "OrvelTPU.h"
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

// Gives the encoder the blocks it embeds itself; the lines for the blocks
// left out so far.
std::vector<std::string> GiveMetadata(TGraphic& encoder, const TPhotoMetadata& metadata, const TOutputFormatInfo& format) {
    std::vector<std::string> refused = metadata.LeftOut(format.Carries);
    TEmbeddedBlocks* embedded = encoder.EmbeddedBlocks();
    if (embedded && format.MetadataWay == TMetadataWay::Encoder && !metadata.Empty())
        metadata.Encode(embedded->Profile, embedded->Exif, embedded->Xmp, refused);
    return refused;
}

// The blocks the encoder's library refused, once it ran.
void TakeEncoderRefusals(TGraphic& encoder, std::vector<std::string>& refused) {
    if (const TEmbeddedBlocks* embedded = encoder.EmbeddedBlocks())
        for (const auto& [block, reason] : embedded->Refused) refused.push_back(NotKeptLine(block, reason));
}

// Saves the encoder's file; the blocks its container takes after encoding are
// written into the temporary file before it is put in place, in the file.
void SaveWithMetadata(TGraphic& encoder, const std::string& fileName, const TPhotoMetadata& metadata,
                      const TOutputFormatInfo& format, std::vector<std::string>& refused) {
    if (format.MetadataWay != TMetadataWay::IntoFile || metadata.Empty())
        return encoder.SaveToFile(fileName);  // a bare source gives the bare file, byte for byte
    encoder.SaveToFile(fileName, [&](const std::string& temp) { metadata.WriteIntoFile(temp, format.Carries, refused); });
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

// A file already made, saved as any graphic is.
class TStoredBytes : public TGraphic {
public:
    explicit TStoredBytes(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}
    const char* ClassName() const override { return "TStoredBytes"; }
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    void LoadFromStream(std::istream&) override { throw EInvalidGraphic("Cannot load this graphic"); }
    void SaveToStream(std::ostream& stream) override { WriteAllBytes(stream, FBytes.data(), FBytes.size()); }

private:
    std::vector<uint8_t> FBytes;
};

// The whole output file for the picture at a quality, metadata included.
std::vector<uint8_t> EncodeAt(const TBitmap& working, const TResizeOptions& options, const TPhotoMetadata& metadata,
                              int quality, std::vector<std::string>& refused) {
    const TOutputFormatInfo& format = FindOutputFormat(options.Format);
    std::unique_ptr<TGraphic> encoder = format.Create(quality);
    refused = GiveMetadata(*encoder, metadata, format);
    encoder->Assign(working);
    std::ostringstream out;
    encoder->SaveToStream(out);
    TakeEncoderRefusals(*encoder, refused);
    const std::string bytes = out.str();
    std::vector<uint8_t> file(bytes.begin(), bytes.end());
    if (format.MetadataWay == TMetadataWay::IntoFile && !metadata.Empty())
        file = metadata.WriteInto(file, format.Carries, refused);
    return file;
}

// Encodes the working bitmap's rows while the resampler is still making the
// later ones, where the output's format takes rows as they come. An error of
// the encoder is kept and raised when saving.
class TEncodeAsRowsCome {
public:
    TEncodeAsRowsCome(TGraphic& encoder, const TBitmap& rows) : FRows(rows) {
        try {
            FEncoder = encoder.OpenRowEncoder(rows.Width(), rows.Height());
        } catch (...) {
            FError = std::current_exception();
        }
    }
    // False for a format that takes only the whole picture.
    bool Streams() const { return FEncoder || FError; }
    TRowsDone Callback() {
        return [this](int done) { WriteUpTo(done); };
    }
    // The rows the resampler has not reported, then the end of the data.
    void Finish() {
        WriteUpTo(FRows.Height());
        if (FError) std::rethrow_exception(FError);
        FEncoder->Finish();
    }

private:
    void WriteUpTo(int done) noexcept {
        if (FError) return;
        try {
            const uint8_t* rows[16];
            while (FEncoder->RowsWritten() < done) {
                const int first = FEncoder->RowsWritten(), n = std::min(16, done - first);
                for (int r = 0; r < n; ++r) rows[r] = FRows.ScanLine(first + r);
                FEncoder->Write(rows, n);
            }
        } catch (...) {
            FError = std::current_exception();
        }
    }

    const TBitmap& FRows;
    std::unique_ptr<TRowEncoder> FEncoder;
    std::exception_ptr FError;
};

TResizeResult MakeOutput(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                         TPicture& picture, const TRunSources* sources, const TRunPlace* place) {
    if (!FileExists(imageName)) return Stop(TResizeOutcome::SourceMissing, "File does not exist " + imageName);

    TOrvelBitmap working;
    working.SetPixelFormat(TPixelFormat::pf24bit);
    std::unique_ptr<TGraphic> encoder = FindOutputFormat(options.Format).Create(options.Quality);

    const bool dated = options.NameTemplate.find("{date}") != std::string::npos;
    TPhotoMetadata metadata;
    if (options.KeepProfile || options.KeepMetadata || options.ConvertSrgb || dated)
        metadata = TPhotoMetadata::Read(imageName);
    bool toSrgb = options.ConvertSrgb && !metadata.Profile().empty();

    // The header decides before any pixel exists: the guard and the pixel limit.
    TDecodeLimits limits;
    limits.Protect = options.Protect;
    // A CMYK picture with its profile is decoded through the profile instead of the plain formula.
    if (toSrgb && (limits.CmykToBgr = CmykToSrgb(metadata.Profile()))) {
        metadata.SetProfile(SrgbProfileBytes());
        toSrgb = false;  // the pixels come out in sRGB already
    }
    try {
        picture.LoadFromFile(imageName, limits);
    } catch (const EHugeImage&) {
        return Stop(TResizeOutcome::HugeImage, "WARNING! Huge image: " + imageName);
    } catch (const std::exception& e) {
        return CannotOpen(imageName, e.what());
    }
    const TGraphic& source = *picture.Graphic();
    const int w = source.Width(), h = source.Height();
    if (options.Protect && w > HugeImageSide && h > HugeImageSide)
        return Stop(TResizeOutcome::HugeImage, "WARNING! Huge image: " + imageName);
    if (options.Mode == TResizeMode::None)
        return Stop(TResizeOutcome::NoMode, "WARNING! No resize mode selected: " + imageName);

    TTargetSize target = ComputeTargetSize(options, w, h);
    // Never enlarged: the picture keeps its own size, and its own pixels.
    const bool keepSize = options.OnlyShrink && (target.Width > w || target.Height > h);
    if (keepSize) target = {w, h};
    working.SetLargeSize(target.Width, target.Height);

    TNameFacts facts;
    facts.Width = working.Width();
    facts.Height = working.Height();
    if (dated) facts.Date = NameDate(imageName, metadata);
    std::string outputName = OutputFileName(imageName, outPath, options, facts);
    bool renamed = false;
    if (place && place->Names) {
        const std::string given = place->Names->Final(place->Index, outputName);
        renamed = given != outputName;
        outputName = given;
    }
    if (!LiesDirectlyIn(outputName, outPath)) {
        TResizeResult result = Stop(TResizeOutcome::SaveFailed, "Cannot save file as: " + outputName);
        result.OutputName = outputName;
        result.SaveError = "The output name leaves its folder: " + outputName;
        return result;
    }
    if (TRunSources(std::vector<std::string>{imageName}).Contains(outputName) || (sources && sources->Contains(outputName))) {
        TResizeResult result = Stop(TResizeOutcome::ReplacesSource,
                                    "WARNING! Output would replace its source (not overwritten): " + outputName);
        result.OutputName = outputName;
        return result;
    }
    if (!options.Overwrite && FileExists(outputName)) {
        TResizeResult result = Stop(TResizeOutcome::OutputExists,
                                    "WARNING! File already exists (not overwritten): " + outputName);
        result.OutputName = outputName;
        return result;
    }

    // A format that takes rows as they come (JPEG) is encoded as they are
    // made, unless their colours change first; the others take the finished bitmap.
    // A size limit tries several qualities on the finished picture.
    const bool budget = options.MaxKB > 0 && FindOutputFormat(options.Format).Lossy;
    std::unique_ptr<TEncodeAsRowsCome> asRowsCome;
    if (!toSrgb && !budget) {
        asRowsCome = std::make_unique<TEncodeAsRowsCome>(*encoder, working);
        if (!asRowsCome->Streams()) asRowsCome.reset();
    }
    const TResampleFilter& filter = ResampleFilters[EffectiveFilterIndex(options.FilterIndex)];
    std::string failure;
    try {
        if (keepSize) {
            working.Assign(source);
            if (working.PixelFormat() != TPixelFormat::pf24bit) working.SetPixelFormat(TPixelFormat::pf24bit);
        } else {
            failure = ResampleGraphic(source, working, filter.Filter, filter.Width,
                                      asRowsCome ? asRowsCome->Callback() : TRowsDone());
        }
    } catch (const std::bad_alloc&) {
        return CannotOpen(imageName, "Out of memory");
    } catch (const std::exception& e) {
        // Pixels that cannot be decoded cost this picture only; nothing is written.
        return CannotOpen(imageName, e.what());
    }
    if (!failure.empty()) {
        TResizeResult result = Stop(TResizeOutcome::ResizeFailed,
                                    "ERROR! Cannot resize picture: " + imageName + " (" + failure + ")");
        result.OutputName = outputName;
        return result;
    }

    if (toSrgb && ConvertToSrgb(working, metadata.Profile())) metadata.SetProfile(SrgbProfileBytes());
    // A grey or CMYK profile does not describe the RGB pixels written (a CMYK
    // picture is already converted by the plain formula): it is left out.
    if (!metadata.Profile().empty() && !IsRgbProfile(metadata.Profile())) metadata.SetProfile({});
    metadata.PrepareFor(working.Width(), working.Height(), {options.KeepProfile, options.KeepMetadata, options.RemoveGps});

    TResizeResult result;
    result.OutputName = outputName;
    result.Width = working.Width();
    result.Height = working.Height();
    bool limitReached = true;
    std::vector<std::string> refused;  // the metadata blocks left out, as lines
    try {
        if (budget) {
            TBudgetResult fitted =
                FitToBudget(options.Quality, int64_t{options.MaxKB} * 1024,
                            [&](int quality) { return EncodeAt(working, options, metadata, quality, refused); });
            limitReached = fitted.Reached;
            TStoredBytes(std::move(fitted.Bytes)).SaveToFile(outputName);
        } else {
            const TOutputFormatInfo& format = FindOutputFormat(options.Format);
            refused = GiveMetadata(*encoder, metadata, format);
            if (asRowsCome)
                asRowsCome->Finish();
            else
                encoder->TakeBitmap(working);  // the encoder holds the only copy of the pixels
            SaveWithMetadata(*encoder, outputName, metadata, format, refused);
            TakeEncoderRefusals(*encoder, refused);
        }
        if (options.KeepDate) CopyModificationTime(imageName, outputName);
    } catch (const std::exception& e) {
        result.Outcome = TResizeOutcome::SaveFailed;
        result.Width = result.Height = 0;  // sizes are those of a written picture
        result.SaveError = e.what();
        result.Log.push_back("Cannot save file as: " + outputName);
        return result;
    }
    result.Log.push_back(WrittenLine(outputName, renamed));
    if (!limitReached) Warn(result, "WARNING! Size limit not reached: " + outputName);
    if (source.DecodedPastDamage()) Warn(result, "WARNING! Damaged picture data, decoded past it: " + imageName);
    for (std::string& line : refused) Warn(result, std::move(line));
    return result;
}

}  // namespace

TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                          TPicture& picture, const TRunSources* sources, const TRunPlace* place) {
    // Running out of memory anywhere in a picture's work costs that picture only.
    try {
        return MakeOutput(imageName, outPath, options, picture, sources, place);
    } catch (const std::bad_alloc&) {
        picture.TakeGraphic();  // its memory goes back at once
        return CannotOpen(imageName, "Out of memory");
    }
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
        if (options.OnlyShrink && (target.Width > w || target.Height > h)) target = {w, h};
        facts.Width = target.Width, facts.Height = target.Height;
    } catch (const std::exception&) {
        // the picture ends the job when its turn comes
    }
    return facts;
}

}  // namespace quorix
