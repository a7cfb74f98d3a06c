// The seven kernels. Each returns its value rounded to single precision and
// rounds to single only the intermediates listed beside it; everything else is
// evaluated at extended precision, as the kernels always have been, so that the
// weights are the same bytes on every build.
#include "Resample.h"

#include <cmath>

namespace quorix {

namespace {

using Extended = long double;

constexpr Extended Pi = 3.141592653589793238462643383279502884L;
constexpr Extended TwoThirds = 2.0L / 3.0L;
constexpr Extended OneSixth = 1.0L / 6.0L;
constexpr Extended SixteenThirds = 16.0L / 3.0L;
constexpr Extended MinusSevenThirds = -7.0L / 3.0L;
constexpr Extended ThirtyTwoThirds = 32.0L / 3.0L;

inline float Single(Extended value) { return static_cast<float>(value); }

// The sine of a single-precision argument of at most a few turns. The
// library's extended sine reduces any argument beyond pi/4 by its general
// (and slow) method; here the quarter turns come off first, exactly: pi/2's
// leading part has 57 bits, so k times it and the difference with p are exact
// for k < 128. The sine or cosine of what remains takes the library's short
// path. bench/filter_exactness checks that every kernel value over every
// single-precision argument is the same as with the plain std::sin.
Extended SineOfSingle(float p) {
    constexpr Extended HalfPiHigh = 0x1.921fb54442d184p+0L;
    constexpr Extended HalfPiLow = 0x1.a62633145c06e0e6p-58L;
    constexpr Extended TwoOverPi = 2.0L / Pi;
    const long k = std::lround(static_cast<Extended>(p) * TwoOverPi);
    if (k < 0 || k >= 128) return std::sin(static_cast<Extended>(p));
    const Extended r = (static_cast<Extended>(p) - k * HalfPiHigh) - k * HalfPiLow;
    switch (k & 3) {
    case 0: return std::sin(r);
    case 1: return std::cos(r);
    case 2: return -std::sin(r);
    default: return -std::cos(r);
    }
}

// sin(pi t) / (pi t) with pi t rounded to single, the sine's argument and the divisor alike.
Extended Sinc(Extended t) {
    if (t == 0.0L) return 1.0L;
    const float p = Single(Pi * t);
    return SineOfSingle(p) / p;
}

}  // namespace

float BoxFilter(float x) {
    return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f;
}

float TriangleFilter(float x) {
    Extended a = std::fabs(x);
    return a < 1.0L ? Single(1.0L - a) : 0.0f;
}

float HermiteFilter(float x) {
    Extended a = std::fabs(x);
    return a < 1.0L ? Single((2.0L * a - 3.0L) * a * a + 1.0L) : 0.0f;
}

float BellFilter(float x) {
    Extended a = std::fabs(x);
    if (a < 0.5L) return Single(0.75L - a * a);
    if (a < 1.5L) {
        Extended t = Single(a - 1.5L);
        return Single(0.5L * t * t);
    }
    return 0.0f;
}

float SplineFilter(float x) {
    Extended a = std::fabs(x);
    if (a < 1.0L) {
        Extended a2 = Single(a * a);
        return Single(0.5L * a2 * a - a2 + TwoThirds);
    }
    if (a < 2.0L) {
        Extended t = Single(2.0L - a);
        return Single(OneSixth * t * t * t);
    }
    return 0.0f;
}

float MitchellFilter(float x) {
    Extended a = std::fabs(x);
    if (a >= 2.0L) return 0.0f;
    Extended a2 = Single(a * a);
    Extended a3 = a2 * a;
    Extended poly = a < 1.0L ? Single(7.0L * a3 - 12.0L * a2 + SixteenThirds)
                             : Single(MinusSevenThirds * a3 + 12.0L * a2 - 20.0L * a + ThirtyTwoThirds);
    return Single(poly / 6.0L);
}

float Lanczos3Filter(float x) {
    Extended a = std::fabs(x);
    return a < 3.0L ? Single(Sinc(a) * Sinc(a / 3.0L)) : 0.0f;
}

const TResampleFilter ResampleFilters[ResampleFilterCount] = {
    {"Box", BoxFilter, 0.5f},
    {"Triangle", TriangleFilter, 1.0f},
    {"Hermite", HermiteFilter, 1.0f},
    {"Bell", BellFilter, 1.5f},
    {"B-Spline", SplineFilter, 2.0f},
    {"Mitchell", MitchellFilter, 2.0f},
    {"Lanczos3", Lanczos3Filter, 3.0f},
};

}  // namespace quorix
