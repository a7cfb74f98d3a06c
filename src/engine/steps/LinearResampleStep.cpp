// Resamples in linear light: the stored values are turned into light through
// the picture's tone curves, resampled on 16-bit samples and turned back, so
// that fine bright detail keeps its brightness when it is reduced.
#include "OutputSteps.h"

#include "DeepResample.h"
#include "LinearLight.h"
#include "RowSource.h"

#include <new>

namespace quorix {

namespace {

class TLinearResampleStep : public TOutputStep {
public:
    const char* Name() const override { return "resample in linear light"; }
    void Apply(TOutputWork& work) const override {
        if (work.KeepSize) return MakeResampleStep()->Apply(work);
        const std::shared_ptr<const TToneCurves> curves = ToneCurvesFor(work.Metadata.Profile());
        TDeepPixels resampled;
        try {
            std::unique_ptr<TRowSource> rows = work.Source.OpenRowSource();
            TOrvelBitmap copy;
            if (!rows) {
                copy.SetPixelFormat(TPixelFormat::pf24bit);
                copy.Assign(work.Source);
                rows = std::make_unique<TBitmapRowSource>(copy);
            }
            TLightRows light(*rows, *curves);
            resampled.SetSize(work.Working.Width(), work.Working.Height());
            const TResampleFilter& filter = ResampleFilters[EffectiveFilterIndex(work.Options.FilterIndex)];
            ResampleDeep(light, resampled, filter.Filter, filter.Width, ResampleThreads());
        } catch (const std::bad_alloc&) {
            work.Failure = "Out of memory";
            return;
        }
        LightToBitmap(resampled, *curves, work.Working);
    }
    // The rows are made all at once, at the end.
    bool LeavesRows(const TOutputWork&) const override { return false; }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeLinearResampleStep() { return std::make_unique<TLinearResampleStep>(); }

}  // namespace quorix
