// Converts the output's pixels from the source's profile to sRGB, which then
// becomes the profile the output carries.
#include "OutputSteps.h"

#include "SrgbConversion.h"

namespace quorix {

namespace {

class TSrgbStep : public TOutputStep {
public:
    const char* Name() const override { return "sRGB"; }
    void Apply(TOutputWork& work) const override {
        if (work.ToSrgb && ConvertToSrgb(work.Working, work.Metadata.Profile())) {
            if (work.Deep) ConvertDeepToSrgb(*work.Deep, work.Metadata.Profile());
            work.Metadata.SetProfile(SrgbProfileBytes());
        }
        work.ToSrgb = false;
    }
    bool LeavesRows(const TOutputWork& work) const override { return !work.ToSrgb; }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeSrgbStep() { return std::make_unique<TSrgbStep>(); }

}  // namespace quorix
