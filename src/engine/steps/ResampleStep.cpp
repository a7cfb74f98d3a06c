// Resamples the shared source into the output's bitmap with the chosen
// filter, or copies it where the output keeps the source's size.
#include "OutputSteps.h"

#include "Resample.h"

namespace quorix {

namespace {

class TResampleStep : public TOutputStep {
public:
    const char* Name() const override { return "resample"; }
    void Apply(TOutputWork& work) const override {
        if (work.KeepSize) {
            work.Working.Assign(work.Source);
            if (work.Working.PixelFormat() != TPixelFormat::pf24bit) work.Working.SetPixelFormat(TPixelFormat::pf24bit);
            return;
        }
        const TResampleFilter& filter = ResampleFilters[EffectiveFilterIndex(work.Options.FilterIndex)];
        work.Failure = ResampleGraphic(work.Source, work.Working, filter.Filter, filter.Width, work.RowsDone);
    }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeResampleStep() { return std::make_unique<TResampleStep>(); }

}  // namespace quorix
