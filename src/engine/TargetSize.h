// The size a picture is resized to, and the name its output is written under.
#pragma once

#include "ResizeOptions.h"

#include <string>

namespace quorix {

struct TTargetSize {
    int Width = 0;
    int Height = 0;
};

// Round half to even of an extended value, as a 32-bit integer. Values beyond
// the 32-bit range saturate; NaN and values beyond 64 bits raise EInvalidOp.
int RoundToInt(long double value);
// a / b, raising EZeroDivide or EInvalidOp where the quotient would not be finite.
long double Divide(long double a, long double b);

// Raises EZeroDivide or EInvalidOp for a zero factor or a picture side of zero
// where the mode divides by it. TResizeMode::None has no size and is not allowed.
TTargetSize ComputeTargetSize(const TResizeOptions& options, int width, int height);

// The size the picture is resampled to before any crop: for FillBox the
// smallest that covers the box, proportions kept; else ComputeTargetSize.
TTargetSize ResampledSize(const TResizeOptions& options, int width, int height);

// The filter entry the options select; an index out of range selects Lanczos3.
int EffectiveFilterIndex(int filterIndex);

// What a name template's tokens stand for besides the options.
struct TNameFacts {
    int Width = 0, Height = 0;  // the output's size
    std::string Date;           // yyyy-mm-dd: the date taken, else the file's date
};

// outPath + the template expanded (by default the source name without folder
// and last extension) [+ " " + filter name] + the format's extension.
std::string OutputFileName(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                           const TNameFacts& facts = TNameFacts());

// Empty when the template can be used, else why not: it may not lead out of
// the output folder ("/" or "..") nor name an unknown token.
std::string NameTemplateProblem(const std::string& nameTemplate);

}  // namespace quorix
