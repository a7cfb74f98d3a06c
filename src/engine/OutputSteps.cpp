#include "OutputSteps.h"

namespace quorix {

TOutputSteps StepsFor(const TResizeOptions& options) {
    TOutputSteps steps;
    if (options.Depth == 16 && FindOutputFormat(options.Format).Holds16)
        steps.push_back(MakeDeepResampleStep());
    else
        steps.push_back(options.Linear ? MakeLinearResampleStep() : MakeResampleStep());
    if (options.Mode == TResizeMode::FillBox) steps.push_back(MakeCropStep());
    if (options.SharpenAmount > 0.0) steps.push_back(MakeSharpenStep());
    steps.push_back(MakeSrgbStep());
    steps.push_back(MakeMetadataStep());
    return steps;
}

}  // namespace quorix
