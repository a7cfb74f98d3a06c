#include "Resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace quorix {
namespace {

struct TKernelCase {
    int Filter;
    float X;
    float Expected;
};

class KernelValues : public ::testing::TestWithParam<TKernelCase> {};

TEST_P(KernelValues, MatchAtWholeAndHalfDistances) {
    const TKernelCase& c = GetParam();
    const TResampleFilter& f = ResampleFilters[c.Filter];
    EXPECT_EQ(f.Filter(c.X), c.Expected) << f.Name << " at " << c.X;
    if (c.X != 0.5f && c.X != -0.5f) {
        EXPECT_EQ(f.Filter(-c.X), c.Expected) << f.Name << " is symmetric";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Filters, KernelValues,
    ::testing::Values(
        TKernelCase{0, 0.0f, 1.0f}, TKernelCase{0, 0.5f, 1.0f}, TKernelCase{0, -0.5f, 0.0f},
        TKernelCase{0, 0.49f, 1.0f}, TKernelCase{0, 1.0f, 0.0f},
        TKernelCase{1, 0.0f, 1.0f}, TKernelCase{1, 0.25f, 0.75f}, TKernelCase{1, 1.0f, 0.0f},
        TKernelCase{2, 0.0f, 1.0f}, TKernelCase{2, 0.5f, 0.5f}, TKernelCase{2, 1.0f, 0.0f},
        TKernelCase{3, 0.0f, 0.75f}, TKernelCase{3, 1.0f, 0.125f}, TKernelCase{3, 1.5f, 0.0f},
        TKernelCase{4, 0.0f, static_cast<float>(2.0L / 3.0L)}, TKernelCase{4, 1.0f, static_cast<float>(1.0L / 6.0L)},
        TKernelCase{4, 2.0f, 0.0f},
        TKernelCase{5, 0.0f, static_cast<float>(8.0L / 9.0L)}, TKernelCase{5, 1.0f, static_cast<float>(1.0L / 18.0L)},
        TKernelCase{5, 2.0f, 0.0f},
        TKernelCase{6, 0.0f, 1.0f}, TKernelCase{6, 3.0f, 0.0f}, TKernelCase{6, 4.0f, 0.0f}));

TEST(Kernels, TableOrderNamesAndWidths) {
    const char* names[] = {"Box", "Triangle", "Hermite", "Bell", "B-Spline", "Mitchell", "Lanczos3"};
    const float widths[] = {0.5f, 1.0f, 1.0f, 1.5f, 2.0f, 2.0f, 3.0f};
    for (int i = 0; i < ResampleFilterCount; ++i) {
        EXPECT_EQ(std::string(ResampleFilters[i].Name), names[i]);
        EXPECT_EQ(ResampleFilters[i].Width, widths[i]);
    }
    EXPECT_EQ(DefaultResampleFilter, 6);
}

TEST(Kernels, LanczosAtWholeDistancesIsTinyButNotZero) {
    // pi * t is rounded to single before the sine, so sinc(1) is about -2.8e-8.
    for (float x : {1.0f, 2.0f, -1.0f, -2.0f}) {
        float v = Lanczos3Filter(x);
        EXPECT_NE(v, 0.0f) << x;
        EXPECT_LT(std::fabs(v), 1e-7f) << x;
    }
    EXPECT_NEAR(Lanczos3Filter(1.0f), -2.78e-8f * 0.827f, 0.05e-8f);
}

TEST(Kernels, EveryKernelIsZeroAtAndBeyondItsWidth) {
    for (const TResampleFilter& f : ResampleFilters) {
        if (std::string(f.Name) == "Box") continue;  // Box is 1 at +0.5
        for (float x : {f.Width, f.Width + 0.001f, f.Width * 3}) {
            EXPECT_EQ(f.Filter(x), 0.0f) << f.Name << " at " << x;
            EXPECT_EQ(f.Filter(-x), 0.0f) << f.Name << " at " << -x;
        }
    }
}

}  // namespace
}  // namespace quorix
