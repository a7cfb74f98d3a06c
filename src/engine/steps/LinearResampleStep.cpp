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
        try {
            std::unique_ptr<TRowSource> rows = work.Source.OpenRowSource();
            TOrvelBitmap copy;
            if (!rows) {
                copy.SetPixelFormat(TPixelFormat::pf24bit);
                copy.Assign(work.Source);
                rows = std::make_unique<TBitmapRowSource>(copy);
            }
            TLightRows light(*rows, *curves);
            const TResampleFilter& filter = ResampleFilters[EffectiveFilterIndex(work.Options.FilterIndex)];
            TBitmap& out = work.Working;
            ResampleDeep(light, out.Width(), out.Height(),
                         [&](int y, const uint16_t* row) { LightToRow(row, out.Width(), *curves, out.ScanLine(y)); },
                         filter.Filter, filter.Width, ResampleThreads(), work.RowsDone);
        } catch (const std::bad_alloc&) {
            work.Failure = "Out of memory";
            return;
        }
    }
    // The rows are made top first and reported as they are.
};

}  // namespace

std::unique_ptr<TOutputStep> MakeLinearResampleStep() { return std::make_unique<TLinearResampleStep>(); }

}  // namespace quorix
