#include "ResizeImage.h"

#include "Bmp.h"
#include "Jpeg.h"
#include "OrvelTPU.h"
#include "Png.h"
#include "Resample.h"
#include "TargetSize.h"

#include <exception>
#include <memory>

namespace quorix {

namespace {

TResizeResult Stop(TResizeOutcome outcome, std::string line) {
    TResizeResult result;
    result.Outcome = outcome;
    result.Log.push_back(std::move(line));
    return result;
}

std::unique_ptr<TGraphic> MakeEncoder(const TResizeOptions& options) {
    switch (options.Format) {
    case TOutputFormat::Png: return std::make_unique<TPngImage>();
    case TOutputFormat::Bmp: return std::make_unique<TBmpImage>();
    case TOutputFormat::Jpeg: break;
    }
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->PixelFormat = TJPEGPixelFormat::jf24Bit;
    jpeg->CompressionQuality = options.Quality;
    return jpeg;
}

}  // namespace

TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath,
                          const TResizeOptions& options, TPicture& picture) {
    if (!FileExists(imageName)) return Stop(TResizeOutcome::SourceMissing, "File does not exist " + imageName);

    TOrvelBitmap working;
    working.SetPixelFormat(TPixelFormat::pf24bit);
    std::unique_ptr<TGraphic> encoder = MakeEncoder(options);

    try {
        picture.LoadFromFile(imageName);
    } catch (const std::exception&) {
        return Stop(TResizeOutcome::CannotOpen, "ERROR! Cannot open picture: " + imageName);
    }
    const TGraphic& source = *picture.Graphic();
    const int w = source.Width(), h = source.Height();
    if (options.Protect && w > HugeImageSide && h > HugeImageSide)
        return Stop(TResizeOutcome::HugeImage, "WARNING! Huge image: " + imageName);
    if (options.Mode == TResizeMode::None)
        return Stop(TResizeOutcome::NoMode, "WARNING! No resize mode selected: " + imageName);

    TTargetSize target = ComputeTargetSize(options, w, h);
    working.SetLargeSize(target.Width, target.Height);

    const std::string outputName = OutputFileName(imageName, outPath, options);
    if (!options.Overwrite && FileExists(outputName)) {
        TResizeResult result = Stop(TResizeOutcome::OutputExists,
                                    "WARNING! File already exists (not overwritten): " + outputName);
        result.OutputName = outputName;
        return result;
    }

    const TResampleFilter& filter = ResampleFilters[EffectiveFilterIndex(options.FilterIndex)];
    std::string failure = ResampleGraphic(source, working, filter.Filter, filter.Width);
    if (!failure.empty()) {
        TResizeResult result = Stop(TResizeOutcome::ResizeFailed,
                                    "ERROR! Cannot resize picture: " + imageName + " (" + failure + ")");
        result.OutputName = outputName;
        return result;
    }

    TResizeResult result;
    result.OutputName = outputName;
    try {
        // The JPEG encoder reads the working bitmap in place; the others take a copy.
        if (auto jpeg = dynamic_cast<TJPEGImage*>(encoder.get()))
            jpeg->CompressFrom(working);
        else
            encoder->Assign(working);
        encoder->SaveToFile(outputName);
    } catch (const std::exception& e) {
        result.Outcome = TResizeOutcome::SaveFailed;
        result.SaveError = e.what();
        result.Log.push_back("Cannot save file as: " + outputName);
        return result;
    }
    result.Log.push_back("File resized and saved as: " + outputName);
    return result;
}

TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath, const TResizeOptions& options) {
    TPicture picture;
    return ResizeImage(imageName, outPath, options, picture);
}

}  // namespace quorix
