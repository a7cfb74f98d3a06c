#include "QuorixError.h"
#include "TargetSize.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorix {
namespace {

TResizeOptions Mode(TResizeMode mode) {
    TResizeOptions o;
    o.Mode = mode;
    return o;
}

struct TSizeCase {
    TResizeMode Mode;
    double Factor;  // the factor of the mode, or the common side
    int W, H;
    int ExpectedW, ExpectedH;
};

class TargetSizes : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(TargetSizes, FollowTheMode) {
    const TSizeCase& c = GetParam();
    TResizeOptions o = Mode(c.Mode);
    o.IncFactor = o.DecFactor = c.Factor;
    o.WH = static_cast<int>(c.Factor);
    TTargetSize size = ComputeTargetSize(o, c.W, c.H);
    EXPECT_EQ(size.Width, c.ExpectedW);
    EXPECT_EQ(size.Height, c.ExpectedH);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, TargetSizes,
    ::testing::Values(
        TSizeCase{TResizeMode::XDecrease, 2.0, 1001, 751, 500, 376},  // 500.5 and 375.5: ties to even
        TSizeCase{TResizeMode::XDecrease, 2.0, 999, 1, 500, 0},      // 499.5 gives 500
        TSizeCase{TResizeMode::XIncrease, 1.5, 333, 333, 500, 500},
        TSizeCase{TResizeMode::XIncrease, 1.5, 335, 335, 502, 502},
        TSizeCase{TResizeMode::XIncrease, 25.0, 1400, 10, 35000, 250},
        TSizeCase{TResizeMode::XIncrease, 0.0, 640, 480, 0, 0},
        TSizeCase{TResizeMode::XIncrease, 1e12, 640, 480, INT32_MAX, INT32_MAX},
        TSizeCase{TResizeMode::SameWidth, 800, 1024, 768, 800, 600},
        TSizeCase{TResizeMode::SameHeight, 600, 1000, 750, 800, 600},
        TSizeCase{TResizeMode::SameWidth, 600, 3, 1, 600, 200}));

// Fit within the box: the largest factor at which both sides fit, rounded as
// the other modes round.
TEST(TargetSize, FitWithinKeepsProportionsInsideTheBox) {
    const struct { int W, H, BoxW, BoxH, ExpectedW, ExpectedH; } cases[] = {
        {1001, 751, 800, 600, 800, 600},  // 799.73 x 600
        {600, 800, 800, 600, 450, 600},   // a portrait into a landscape box
        {800, 600, 800, 600, 800, 600},   // exactly the box
        {3000, 1000, 800, 600, 800, 267},  // 266.67
        {400, 300, 800, 600, 800, 600},    // smaller pictures grow to the box
        {1000, 1000, 999, 1001, 999, 999},
    };
    for (const auto& c : cases) {
        TResizeOptions o = Mode(TResizeMode::FitWithin);
        o.Width = c.BoxW;
        o.Height = c.BoxH;
        const TTargetSize size = ComputeTargetSize(o, c.W, c.H);
        EXPECT_EQ(size.Width, c.ExpectedW) << c.W << "x" << c.H;
        EXPECT_EQ(size.Height, c.ExpectedH) << c.W << "x" << c.H;
    }
    EXPECT_THROW(ComputeTargetSize(Mode(TResizeMode::FitWithin), 0, 10), EZeroDivide);
}

// Each token of the name template, the filter name on top, and the
// templates refused before a batch starts.
TEST(OutputName, TemplateTokens) {
    TResizeOptions o;
    o.FilterIndex = 4;  // B-Spline
    o.Quality = 85;
    o.Counter = 12;
    const TNameFacts facts{1920, 1080, "2024-05-17"};
    const struct { const char* name; bool filter; const char* expected; } cases[] = {
        {"{name}", false, "/out/holiday.photo.jpg"},
        {"{name}-{width}x{height}", false, "/out/holiday.photo-1920x1080.jpg"},
        {"{date} {counter} q{quality}", false, "/out/2024-05-17 12 q85.jpg"},
        {"{filter}_{name}", true, "/out/B-Spline_holiday.photo B-Spline.jpg"},
        {"{nam}e{", false, "/out/{nam}e{.jpg"},  // not a token: kept as written (and refused below)
    };
    for (const auto& c : cases) {
        o.NameTemplate = c.name;
        o.AddFilterName = c.filter;
        EXPECT_EQ(OutputFileName("/pics/holiday.photo.png", "/out/", o, facts), c.expected) << c.name;
    }
    for (const char* bad : {"../{name}", "{name}/x", "a..b", "", "{nam}"})
        EXPECT_FALSE(NameTemplateProblem(bad).empty()) << bad;
    for (const char* good : {"{name}", "{date}_{counter}", "photo {width}"}) EXPECT_EQ(NameTemplateProblem(good), "") << good;
}

TEST(TargetSize, SameSizeIgnoresProportions) {
    TResizeOptions o = Mode(TResizeMode::SameSize);
    o.Width = 20000;
    o.Height = 7;
    TTargetSize size = ComputeTargetSize(o, 10, 10);
    EXPECT_EQ(size.Width, 20000);
    EXPECT_EQ(size.Height, 7);
}

TEST(TargetSize, ArithmeticErrorsRaise) {
    TResizeOptions decrease = Mode(TResizeMode::XDecrease);
    decrease.DecFactor = 0;
    EXPECT_THROW(ComputeTargetSize(decrease, 100, 100), EZeroDivide);
    try {
        ComputeTargetSize(decrease, 100, 100);
    } catch (const EZeroDivide& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
    EXPECT_THROW(ComputeTargetSize(Mode(TResizeMode::SameWidth), 100, 0), EZeroDivide);
    EXPECT_THROW(ComputeTargetSize(Mode(TResizeMode::SameHeight), 0, 100), EZeroDivide);
    EXPECT_THROW(ComputeTargetSize(Mode(TResizeMode::SameWidth), 0, 0), EInvalidOp);
    TResizeOptions nan = Mode(TResizeMode::XIncrease);
    nan.IncFactor = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(ComputeTargetSize(nan, 10, 10), EInvalidOp);
    EXPECT_THROW(ComputeTargetSize(Mode(TResizeMode::None), 10, 10), EAssertionFailed);
}

TEST(TargetSize, RoundToIntTiesToEven) {
    const std::pair<long double, int> cases[] = {
        {500.5L, 500}, {375.5L, 376}, {499.5L, 500}, {-0.5L, 0}, {-1.5L, -2}, {2.4999L, 2}, {1e15L, INT32_MAX}, {-1e15L, INT32_MIN}};
    for (const auto& c : cases) EXPECT_EQ(RoundToInt(c.first), c.second) << static_cast<double>(c.first);
    EXPECT_THROW(RoundToInt(1e19L), EInvalidOp);
    EXPECT_THROW(RoundToInt(std::numeric_limits<long double>::infinity()), EInvalidOp);
}

TEST(OutputName, NameFilterAndExtension) {
    TResizeOptions o;
    EXPECT_EQ(OutputFileName("/pics/photo.jpeg", "/pics/Output/", o), "/pics/Output/photo.jpg");
    o.AddFilterName = true;
    EXPECT_EQ(OutputFileName("/pics/photo.jpeg", "/pics/Output/", o), "/pics/Output/photo Lanczos3.jpg");
    o.FilterIndex = 4;
    EXPECT_EQ(OutputFileName("/pics/holiday.photo.png", "/pics/Output/", o), "/pics/Output/holiday.photo B-Spline.jpg");
    o.FilterIndex = 9;  // no such filter: Lanczos3
    EXPECT_EQ(OutputFileName("/p/a.b.gif", "/o/", o), "/o/a.b Lanczos3.jpg");
    o.FilterIndex = -1;
    o.Format = "png";
    EXPECT_EQ(OutputFileName("/p.d/readme", "/o/", o), "/o/readme Lanczos3.png");
    o.AddFilterName = false;
    o.Format = "bmp";
    EXPECT_EQ(OutputFileName("/p/x.BMP", "/o/", o), "/o/x.bmp");
    EXPECT_EQ(EffectiveFilterIndex(0), 0);
    EXPECT_EQ(EffectiveFilterIndex(7), 6);
}

}  // namespace
}  // namespace quorix
