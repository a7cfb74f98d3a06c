// Makes the output's metadata record describe the pixels written: their
// size, upright, and only the blocks the options keep.
#include "OutputSteps.h"

#include "SrgbConversion.h"

namespace quorix {

namespace {

class TMetadataStep : public TOutputStep {
public:
    const char* Name() const override { return "metadata"; }
    void Apply(TOutputWork& work) const override {
        // A grey or CMYK profile does not describe the RGB pixels written (a
        // CMYK picture is already converted by the plain formula): it is left out.
        if (!work.Metadata.Profile().empty() && !IsRgbProfile(work.Metadata.Profile())) work.Metadata.SetProfile({});
        const TResizeOptions& o = work.Options;
        work.Metadata.PrepareFor(work.Working.Width(), work.Working.Height(), {o.KeepProfile, o.KeepMetadata, o.RemoveGps});
    }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeMetadataStep() { return std::make_unique<TMetadataStep>(); }

}  // namespace quorix
