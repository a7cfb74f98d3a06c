// What happens to a decoded picture on its way to one output: a list of
// steps, each one small piece of work on the output's pixels and metadata
// record, run in order before the output is saved.
#pragma once

#include "DeepResample.h"
#include "Graphic.h"
#include "OrvelGraphics.h"
#include "PhotoMetadata.h"
#include "Resample.h"
#include "ResizeOptions.h"
#include "TargetSize.h"

#include <memory>
#include <string>
#include <vector>

namespace quorix {

// One output's work in progress. Source is shared by every output of the
// picture and never changed; Working and Metadata are the output's own.
struct TOutputWork {
    TOutputWork(const TGraphic& source, const TResizeOptions& options) : Source(source), Options(options) {}
    const TGraphic& Source;
    const TResizeOptions& Options;
    TTargetSize Target;      // the output's size
    TTargetSize Resampled;   // the size it is resampled to (larger than Target where it is then cropped)
    int SourceWidth = 0, SourceHeight = 0;  // the picture's own size
    bool KeepSize = false;   // the output is the source's own pixels
    TOrvelBitmap Working;    // 24 bits at Resampled before the steps; the pixels once the resample step ran
    // The pixels at 16 bits a sample, beside Working, where the output keeps
    // the source's depth; each step changes both alike.
    std::shared_ptr<TDeepPixels> Deep;
    TPhotoMetadata Metadata;
    bool ToSrgb = false;     // the pixels still have to be converted to sRGB
    TRowsDone RowsDone;      // told of each row the resampler finishes (an encoder taking them as they come)
    std::string Failure;     // why the pixels could not be made; nothing is saved then
};

class TOutputStep {
public:
    virtual ~TOutputStep() = default;
    virtual const char* Name() const = 0;
    // Raises on pixels that cannot be decoded, sets work.Failure on a resample
    // that cannot be done.
    virtual void Apply(TOutputWork& work) const = 0;
    // False where the step changes the rows the resampler made, so that
    // they cannot be encoded as they come.
    virtual bool LeavesRows(const TOutputWork&) const { return true; }
};

using TOutputSteps = std::vector<std::unique_ptr<TOutputStep>>;

// The steps one output takes, in order: resample (in linear light where
// asked), crop to the box it fills, sharpen, colours to sRGB, then the
// metadata record made to fit the pixels.
TOutputSteps StepsFor(const TResizeOptions& options);

std::unique_ptr<TOutputStep> MakeResampleStep();
std::unique_ptr<TOutputStep> MakeLinearResampleStep();
// On a source's 16-bit samples (in linear light where asked); the others'
// way for a source that has none.
std::unique_ptr<TOutputStep> MakeDeepResampleStep();
std::unique_ptr<TOutputStep> MakeCropStep();
std::unique_ptr<TOutputStep> MakeSharpenStep();
std::unique_ptr<TOutputStep> MakeSrgbStep();
std::unique_ptr<TOutputStep> MakeMetadataStep();

}  // namespace quorix
