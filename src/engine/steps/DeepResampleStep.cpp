// Resamples a picture's 16-bit samples (in linear light where asked) for an
// output that keeps them; the 8-bit pixels the other steps and a format of 8
// bits take are the 16-bit ones rounded. A source of 8 bits goes the 8-bit
// way.
#include "OutputSteps.h"

#include "LinearLight.h"

#include <cstring>
#include <new>

namespace quorix {

namespace {

void RoundToBitmap(const TDeepPixels& deep, TBitmap& bitmap) {
    for (int y = 0; y < deep.Height(); ++y) {
        const uint16_t* in = deep.Row(y);
        uint8_t* out = bitmap.ScanLine(y);
        for (int x = 0; x < deep.Width() * 3; ++x) out[x] = static_cast<uint8_t>((in[x] * 255u + 32767u) / 65535u);
    }
}

std::shared_ptr<TDeepPixels> Copy(const TDeepPixels& source) {
    auto copy = std::make_shared<TDeepPixels>();
    copy->SetSize(source.Width(), source.Height());
    if (source.Width() > 0 && source.Height() > 0)
        std::memcpy(copy->Row(0), source.Row(0), static_cast<size_t>(source.Width()) * source.Height() * 3 * sizeof(uint16_t));
    return copy;
}

class TDeepResampleStep : public TOutputStep {
public:
    const char* Name() const override { return "resample 16-bit samples"; }
    void Apply(TOutputWork& work) const override {
        const std::shared_ptr<const TDeepPixels> source = work.Source.Deep();
        if (!source) return (work.Options.Linear ? MakeLinearResampleStep() : MakeResampleStep())->Apply(work);
        try {
            work.Deep = work.KeepSize ? Copy(*source) : Resampled(*source, work);
        } catch (const std::bad_alloc&) {
            work.Failure = "Out of memory";
            return;
        }
        RoundToBitmap(*work.Deep, work.Working);
    }
    bool LeavesRows(const TOutputWork&) const override { return false; }

private:
    static std::shared_ptr<TDeepPixels> Resampled(const TDeepPixels& source, const TOutputWork& work) {
        auto out = std::make_shared<TDeepPixels>();
        out->SetSize(work.Working.Width(), work.Working.Height());
        const TResampleFilter& filter = ResampleFilters[EffectiveFilterIndex(work.Options.FilterIndex)];
        TDeepPixelsRows rows(source);
        if (!work.Options.Linear) {
            ResampleDeep(rows, *out, filter.Filter, filter.Width, ResampleThreads());
            return out;
        }
        const std::shared_ptr<const TDeepToneCurves> curves = DeepToneCurvesFor(work.Metadata.Profile());
        TDeepLightRows light(rows, *curves);
        ResampleDeep(light, *out, filter.Filter, filter.Width, ResampleThreads());
        DeepLightToStored(*out, *curves);
        return out;
    }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeDeepResampleStep() { return std::make_unique<TDeepResampleStep>(); }

}  // namespace quorix
