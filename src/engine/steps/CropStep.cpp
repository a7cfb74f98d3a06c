// Crops the resampled picture, which covers the box, to the box it fills.
#include "OutputSteps.h"

#include "CropFocus.h"

#include <cstring>

namespace quorix {

namespace {

class TCropStep : public TOutputStep {
public:
    const char* Name() const override { return "crop to fill"; }
    void Apply(TOutputWork& work) const override {
        const int w = work.Target.Width, h = work.Target.Height;
        if (work.KeepSize || (work.Working.Width() == w && work.Working.Height() == h)) return;
        const TCropPlace place = CropPlace(work.Working, w, h, work.Options.Focus);
        TOrvelBitmap box;
        box.SetPixelFormat(TPixelFormat::pf24bit);
        box.SetLargeSize(w, h);
        for (int y = 0; y < h; ++y)
            std::memcpy(box.ScanLine(y), work.Working.ScanLine(place.Y + y) + 3 * static_cast<size_t>(place.X),
                        3 * static_cast<size_t>(w));
        work.Working.Swap(box);
        if (!work.Deep) return;
        auto deep = std::make_shared<TDeepPixels>();
        deep->SetSize(w, h);
        for (int y = 0; y < h; ++y)
            std::memcpy(deep->Row(y), work.Deep->Row(place.Y + y) + 3 * static_cast<size_t>(place.X), 3 * sizeof(uint16_t) * w);
        work.Deep = std::move(deep);
    }
    bool LeavesRows(const TOutputWork&) const override { return false; }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeCropStep() { return std::make_unique<TCropStep>(); }

}  // namespace quorix
