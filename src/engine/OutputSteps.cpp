#include "OutputSteps.h"

namespace quorix {

TOutputSteps StepsFor(const TResizeOptions&) {
    TOutputSteps steps;
    steps.push_back(MakeResampleStep());
    steps.push_back(MakeSrgbStep());
    steps.push_back(MakeMetadataStep());
    return steps;
}

}  // namespace quorix
