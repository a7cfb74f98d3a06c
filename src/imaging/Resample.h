// The separable two-pass resampler and its filter table.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorix {

// A kernel: distance in source pixels (possibly negative) to weight.
using TFilterProc = float (*)(float x);

struct TResampleFilter {
    const char* Name;
    TFilterProc Filter;
    float Width;  // support radius
};

float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float SplineFilter(float x);
float MitchellFilter(float x);
float Lanczos3Filter(float x);

constexpr int ResampleFilterCount = 7;
constexpr int DefaultResampleFilter = 6;  // Lanczos3
extern const TResampleFilter ResampleFilters[ResampleFilterCount];

// One contributor of a destination pixel.
struct TSourceWeight {
    int32_t Pixel;  // index in the source row or column, after reflection
    float Weight;   // never exactly 0
};

// The contributors of every destination index of one pass, in one array:
// destination i owns Items[Start[i] .. Start[i] + Count[i]).
struct TWeightTable {
    std::vector<int32_t> Start;
    std::vector<int32_t> Count;
    std::vector<TSourceWeight> Items;
    int MaxCount = 0;
    // By destination index: whether every accumulation step of its sums is
    // exact in double before the rounding to single (SingleStepIsExact), so
    // that one single-precision fused multiply-add gives the same float.
    std::vector<uint8_t> SingleExact;
};

// Whether for every byte value every step float(double(sum) + double(b) *
// double(w)) over these contributors adds exactly in double. All sums are
// multiples of 2^(e - 23), e the smallest weight's binary exponent, and stay
// below 2 * 255 * (sum of |w|) < 2^B; they fit 53 bits when e >= B - 30.
bool SingleStepIsExact(const TSourceWeight* items, int count);

// Corner-aligned scale from a source length to a destination length.
float ScaleFactor(int destLength, int sourceLength);
// Mirrors an index at the edges until it lies inside 0 .. length - 1.
int32_t ReflectIndex(int64_t j, int length);
TWeightTable BuildWeightTable(int destLength, int sourceLength, TFilterProc filter, float width);
// The lists of destination indices [first, first + count) only, numbered from
// 0 in the table; the same lists BuildWeightTable holds for them.
TWeightTable BuildWeightBlock(int destLength, int sourceLength, TFilterProc filter, float width, int first,
                              int count);

// A resampled channel sum as a byte: clamped, rounded half to even.
uint8_t SumToByte(float sum);

// The horizontal pass: every row of source (24-bit) to dest's width (24-bit, source's height).
void HorizontalPass(const TBitmap& source, TBitmap& dest, const TWeightTable& weights);
// The vertical pass: every column of source (24-bit) to dest's height (24-bit, source's width).
void VerticalPass(const TBitmap& source, TBitmap& dest, const TWeightTable& weights);

class TRowSource;

// How many threads one resampling call spreads its work over (default: the
// processor's cores). The result does not depend on it.
void SetResampleThreads(int threads);
int ResampleThreads();

// Told how many destination rows from the top are finished, each time more
// are, on whichever thread made them; must not raise. Lets a caller use the
// rows (encode them, say) while the rest are still being made.
using TRowsDone = std::function<void(int rows)>;

// Scales the rows of source into dest (already sized, made 24-bit). Returns
// the resampler's refusal or failure as text; an error of the source itself
// (a decoder's) is raised.
std::string ResampleRows(TRowSource& source, TBitmap& dest, TFilterProc filter, float width,
                         const TRowsDone& done = TRowsDone());

// Scales source into dest (already sized); empty text on success, else the reason.
// Both bitmaps end up in 24 bits per pixel. Raises nothing.
std::string ResampleBitmap(TBitmap& source, TBitmap& dest, TFilterProc filter, float width,
                           const TRowsDone& done = TRowsDone());

// Converts any graphic to a 24-bit bitmap and scales it into dest. A failing
// conversion raises; a failing scaling returns its text.
std::string ResampleGraphic(const TGraphic& graphic, TOrvelBitmap& dest, TFilterProc filter, float width,
                            const TRowsDone& done = TRowsDone());

}  // namespace quorix
