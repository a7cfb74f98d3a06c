// Linear light, sharpening after reduction and crop to fill, through the
// whole job: pictures made here, resized, and read back.
#include "DeepResample.h"
#include "FormatPictures.h"
#include "Graphic.h"
#include "Png.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <jxl/decode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace quorix {
namespace {

using test::TTempDir;

class PictureLookTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const TBitmap& pixels) {
        TPngImage png;
        png.Assign(pixels);
        png.SaveToFile(Dir.File(name));
        return Dir.File(name);
    }
    // The picture resized as options say, read back.
    TBitmap Resize(const std::string& source, TResizeOptions o) {
        o.Format = "png";
        const std::string folder = Dir.File("out" + std::to_string(++Runs) + "/");
        std::filesystem::create_directory(folder);
        const TResizeResult r = ResizeImage(source, folder, o);
        EXPECT_EQ(r.Outcome, TResizeOutcome::Written) << (r.Log.empty() ? "" : r.Log.front());
        return test::LoadAs24(r.OutputName);
    }
    TTempDir Dir;
    int Runs = 0;
};

TBitmap Grey(int w, int h, uint8_t v) { return test::MakeBitmap24(w, h, v, v, v); }

void Put(TBitmap& b, int x, int y, uint8_t v) {
    uint8_t* p = b.ScanLine(y) + 3 * x;
    p[0] = p[1] = p[2] = v;
}

TResizeOptions Exactly(int w, int h) {
    TResizeOptions o;
    o.Mode = TResizeMode::SameSize;
    o.Width = w, o.Height = h;
    return o;
}

// Halving a 1-pixel black and white checkerboard: half the light is 187.5
// in sRGB; the stored values average to 127.5. The far corner, where the
// edge's repeated pixel breaks the alternation on both sides, is left out.
TEST_F(PictureLookTest, CheckerboardHalvedInLinearLight) {
    TBitmap board = Grey(64, 64, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = (y & 1); x < 64; x += 2) Put(board, x, y, 255);
    const std::string source = Write("board.png", board);
    const struct { bool linear; int low, high; } cases[] = {{true, 187, 189}, {false, 120, 136}};
    for (const auto& c : cases) {
        TResizeOptions o = Exactly(32, 32);
        o.Linear = c.linear;
        const TBitmap half = Resize(source, o);
        ASSERT_EQ(half.Width(), 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                if (x >= 30 && y >= 30) continue;
                for (int channel = 0; channel < 3; ++channel) {
                    const int v = half.ScanLine(y)[3 * x + channel];
                    ASSERT_GE(v, c.low) << x << "," << y << " linear " << c.linear;
                    ASSERT_LE(v, c.high) << x << "," << y << " linear " << c.linear;
                }
            }
    }
}

double ToLight(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double FromLight(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055; }

// CIE L*a*b* of an sRGB pixel (D65).
void Lab(const uint8_t* bgr, double lab[3]) {
    const double r = ToLight(bgr[2] / 255.0), g = ToLight(bgr[1] / 255.0), b = ToLight(bgr[0] / 255.0);
    const double xyz[3] = {(0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047, 0.2126 * r + 0.7152 * g + 0.0722 * b,
                           (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883};
    double f[3];
    for (int i = 0; i < 3; ++i) f[i] = xyz[i] > 216.0 / 24389 ? std::cbrt(xyz[i]) : (24389.0 / 27 * xyz[i] + 16) / 116;
    lab[0] = 116 * f[1] - 16, lab[1] = 500 * (f[0] - f[1]), lab[2] = 200 * (f[1] - f[2]);
}

// CIEDE2000 (Sharma, Wu and Dalal's formulation).
double DeltaE2000(const double p[3], const double q[3]) {
    const double pi = 3.14159265358979323846, deg = pi / 180;
    const double c1 = std::hypot(p[1], p[2]), c2 = std::hypot(q[1], q[2]), cm = (c1 + c2) / 2;
    const double g = 0.5 * (1 - std::sqrt(std::pow(cm, 7) / (std::pow(cm, 7) + std::pow(25.0, 7))));
    const double a1 = (1 + g) * p[1], a2 = (1 + g) * q[1];
    const double C1 = std::hypot(a1, p[2]), C2 = std::hypot(a2, q[2]);
    auto hue = [&](double b, double a) { double h = std::atan2(b, a) / deg; return h < 0 ? h + 360 : h; };
    const double h1 = (C1 == 0) ? 0 : hue(p[2], a1), h2 = (C2 == 0) ? 0 : hue(q[2], a2);
    const double dL = q[0] - p[0], dC = C2 - C1;
    double dh = 0;
    if (C1 * C2 != 0) dh = std::fabs(h2 - h1) <= 180 ? h2 - h1 : (h2 - h1 > 180 ? h2 - h1 - 360 : h2 - h1 + 360);
    const double dH = 2 * std::sqrt(C1 * C2) * std::sin(dh / 2 * deg);
    const double Lm = (p[0] + q[0]) / 2, Cm = (C1 + C2) / 2;
    double hm = h1 + h2;
    if (C1 * C2 != 0) hm = std::fabs(h1 - h2) <= 180 ? hm / 2 : (hm < 360 ? (hm + 360) / 2 : (hm - 360) / 2);
    const double t = 1 - 0.17 * std::cos((hm - 30) * deg) + 0.24 * std::cos(2 * hm * deg) +
                     0.32 * std::cos((3 * hm + 6) * deg) - 0.20 * std::cos((4 * hm - 63) * deg);
    const double dTheta = 30 * std::exp(-std::pow((hm - 275) / 25, 2));
    const double rc = 2 * std::sqrt(std::pow(Cm, 7) / (std::pow(Cm, 7) + std::pow(25.0, 7)));
    const double sl = 1 + 0.015 * (Lm - 50) * (Lm - 50) / std::sqrt(20 + (Lm - 50) * (Lm - 50));
    const double sc = 1 + 0.045 * Cm, sh = 1 + 0.015 * Cm * t, rt = -std::sin(2 * dTheta * deg) * rc;
    return std::sqrt(std::pow(dL / sl, 2) + std::pow(dC / sc, 2) + std::pow(dH / sh, 2) + rt * (dC / sc) * (dH / sh));
}

// A night scene at 4x: dark ground, fine bright lines, lit "windows",
// hatching like small text and a gradient band. The fine detail repeats
// every 4 pixels, so that each 4 x 4 block holds the same amount of it and
// what is measured is how its light is kept, not how a filter aliases.
TBitmap Scene(int w, int h) {
    TBitmap b = Grey(w, h, 18);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.ScanLine(y) + 3 * x;
            if (y >= h * 3 / 4) {  // the gradient
                p[0] = static_cast<uint8_t>(255 * x / (w - 1)), p[1] = 90, p[2] = static_cast<uint8_t>(255 - 255 * x / (w - 1));
                continue;
            }
            const bool line = x % 4 == 1 && y < h / 4;
            const bool window = y >= h / 4 && y < h / 2 && x % 4 == 2 && y % 4 == 1;
            const bool stroke = y >= h / 2 && ((x + y) % 4 == 0 || (y % 4 == 3 && (x / 16) % 2 == 0));
            if (line) p[0] = p[1] = p[2] = 255;
            if (window) p[0] = 120, p[1] = 220, p[2] = 255;
            if (stroke) p[0] = p[1] = p[2] = 235;
        }
    return b;
}

// The 4x scene averaged in light over each 4 x 4 block: what the eye sees
// of it at 1x.
TBitmap Supersampled(const TBitmap& fine) {
    TBitmap b = Grey(fine.Width() / 4, fine.Height() / 4, 0);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            for (int c = 0; c < 3; ++c) {
                double light = 0;
                for (int dy = 0; dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx) light += ToLight(fine.ScanLine(4 * y + dy)[3 * (4 * x + dx) + c] / 255.0);
                b.ScanLine(y)[3 * x + c] = static_cast<uint8_t>(std::lround(255 * FromLight(light / 16)));
            }
    return b;
}

double MeanDeltaE(const TBitmap& a, const TBitmap& b) {
    double total = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            double p[3], q[3];
            Lab(a.ScanLine(y) + 3 * x, p);
            Lab(b.ScanLine(y) + 3 * x, q);
            total += DeltaE2000(p, q);
        }
    return total / (a.Width() * a.Height());
}

TEST_F(PictureLookTest, LinearLightComesCloserToTheSupersampledScene) {
    const TBitmap fine = Scene(512, 384);
    const std::string source = Write("scene.png", fine);
    const TBitmap reference = Supersampled(fine);
    TResizeOptions o;
    o.Mode = TResizeMode::XDecrease;
    o.DecFactor = 4;
    const double stored = MeanDeltaE(Resize(source, o), reference);
    o.Linear = true;
    const double light = MeanDeltaE(Resize(source, o), reference);
    EXPECT_LT(light * 3, stored) << "linear " << light << ", stored values " << stored;
    std::printf("mean CIEDE2000: linear light %.2f, stored values %.2f\n", light, stored);
}

// The 10 % to 90 % rise of a row's step from low to high, in pixels (interpolated).
double Rise(const TBitmap& b, int y, double low, double high) {
    auto at = [&](double level) {
        const double target = low + level * (high - low);
        for (int x = 1; x < b.Width(); ++x) {
            const double v0 = b.ScanLine(y)[3 * (x - 1)], v1 = b.ScanLine(y)[3 * x];
            if (v0 < target && v1 >= target) return x - 1 + (target - v0) / (v1 - v0);
        }
        return -1.0;
    };
    return at(0.9) - at(0.1);
}

// A step edge reduced 4x rises more steeply with each stronger preset,
// overshoots less than 15 % of the step, and a picture that is not reduced
// is left as it is.
TEST_F(PictureLookTest, SharpeningAfterReduction) {
    TBitmap step = Grey(400, 40, 50);
    for (int y = 0; y < 40; ++y)
        for (int x = 203; x < 400; ++x) Put(step, x, y, 200);
    const std::string source = Write("step.png", step);
    TResizeOptions o = Exactly(100, 10);
    double previous = 1e9;
    for (const char* preset : {"none", "light", "standard", "strong"}) {
        o.SharpenAmount = preset == std::string("none") ? 0.0 : preset == std::string("light") ? 0.4 : preset == std::string("standard") ? 0.8 : 1.4;
        o.SharpenRadius = 0.6;
        const TBitmap small = Resize(source, o);
        const double rise = Rise(small, 5, 50, 200);
        EXPECT_GT(rise, 0) << preset;
        EXPECT_LT(rise, previous) << preset;
        previous = rise;
        int highest = 0, lowest = 255;
        for (int x = 0; x < small.Width(); ++x)
            highest = std::max<int>(highest, small.ScanLine(5)[3 * x]), lowest = std::min<int>(lowest, small.ScanLine(5)[3 * x]);
        if (preset != std::string("strong")) {
            EXPECT_LT(highest - 200, 0.15 * 150) << preset;
            EXPECT_LT(50 - lowest, 0.15 * 150) << preset;
        }
    }
    TResizeOptions same = Exactly(400, 40);
    const TBitmap plain = Resize(source, same);
    same.SharpenAmount = 1.4, same.SharpenRadius = 0.6;
    EXPECT_TRUE(test::SameBitmap(Resize(source, same), plain));
}

// Whatever the picture's shape, the output is exactly the box.
TEST_F(PictureLookTest, FillGivesExactlyTheBox) {
    const struct { int w, h, boxW, boxH; } cases[] = {
        {400, 100, 100, 100}, {100, 400, 120, 80}, {300, 200, 150, 100}, {50, 30, 200, 200}, {640, 480, 1, 300}};
    for (const auto& c : cases) {
        const std::string source = Write("p.png", test::MakeGradient(c.w, c.h));
        TResizeOptions o = Exactly(c.boxW, c.boxH);
        o.Mode = TResizeMode::FillBox;
        for (const TCropFocus focus : {TCropFocus::Centre, TCropFocus::Attention}) {
            o.Focus = focus;
            const TBitmap out = Resize(source, o);
            EXPECT_EQ(out.Width(), c.boxW) << c.w << "x" << c.h;
            EXPECT_EQ(out.Height(), c.boxH) << c.w << "x" << c.h;
        }
    }
}

// A small detailed object on a flat ground, at ten places off the centre:
// "attention" keeps it whole, "centre" takes the middle.
TEST_F(PictureLookTest, AttentionKeepsTheDetailedObject) {
    TResizeOptions o = Exactly(100, 100);
    o.Mode = TResizeMode::FillBox;
    for (int place = 0; place < 10; ++place) {
        const int left = place < 5 ? 8 + 25 * place : 392 - 16 - 25 * (place - 5);
        TBitmap ground = Grey(400, 100, 140);
        for (int y = 42; y < 58; ++y)
            for (int x = left; x < left + 16; ++x) Put(ground, x, y, ((x + y) & 1) ? 250 : 20);
        const std::string source = Write("object.png", ground);
        o.Focus = TCropFocus::Attention;
        const TBitmap kept = Resize(source, o);
        int busy = 0;  // the object's pixels in the crop
        for (int y = 42; y < 58; ++y)
            for (int x = 0; x < 100; ++x) busy += kept.ScanLine(y)[3 * x] != 140;
        EXPECT_EQ(busy, 16 * 16) << "object at " << left;
        o.Focus = TCropFocus::Centre;
        const TBitmap middle = Resize(source, o);
        for (int y = 0; y < 100; y += 33)
            EXPECT_EQ(std::memcmp(middle.ScanLine(y), ground.ScanLine(y) + 3 * 150, 300), 0) << left;
    }
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// 16-bit samples of a smooth picture with fine steps no 8-bit value holds.
test::TSamples DeepSamples(int w, int h, int channels) {
    test::TSamples s;
    s.Width = w, s.Height = h, s.Channels = channels, s.Bits = 16;
    s.Values.resize(static_cast<size_t>(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                s.At(x, y, c) = static_cast<uint16_t>(c == 3 ? 65535 : 9000 + 700 * x + 300 * y + 5000 * c + (x * 7 + y * 3) % 11);
    return s;
}

std::vector<uint8_t> PngBytes16(const test::TSamples& s, const std::string& path) {
    test::TPngLayout layout;
    layout.Width = s.Width, layout.Height = s.Height, layout.BitDepth = 16;
    layout.ColorType = s.Channels == 4 ? 6 : s.Channels == 1 ? 0 : 2;
    for (uint16_t v : s.Values) layout.Rows.push_back(static_cast<uint8_t>(v >> 8)), layout.Rows.push_back(static_cast<uint8_t>(v));
    test::WritePng(path, layout);
    return test::ReadFileBytes(path);
}

// The bits a sample a JPEG XL file declares.
uint32_t JxlBits(const std::vector<uint8_t>& file) {
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    JxlBasicInfo info{};
    if (JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO) == JXL_DEC_SUCCESS &&
        JxlDecoderSetInput(decoder, file.data(), file.size()) == JXL_DEC_SUCCESS &&
        JxlDecoderProcessInput(decoder) == JXL_DEC_BASIC_INFO)
        JxlDecoderGetBasicInfo(decoder, &info);
    JxlDecoderDestroy(decoder);
    return info.bits_per_sample;
}

// What the 16-bit passes make of the samples (RGB, or grey made RGB).
TDeepPixels Expected(const test::TSamples& s, int w, int h) {
    TDeepPixels source, out;
    source.SetSize(s.Width, s.Height);
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            for (int c = 0; c < 3; ++c) source.Row(y)[3 * x + 2 - c] = s.At(x, y, s.Channels < 3 ? 0 : c);
    out.SetSize(w, h);
    TDeepPixelsRows rows(source);
    ResampleDeep(rows, out, Lanczos3Filter, 3.0f, 1);
    return out;
}

// A 16-bit PNG or TIFF written as PNG, TIFF or JPEG XL keeps 16 bits with
// --depth 16 (the samples within 1 of the 16-bit passes' in the lossless
// formats); without it, or in JPEG, the output has 8.
TEST(KeepDepth, SixteenBitPicturesKeepTheirDepth) {
    TTempDir dir;
    const test::TSamples rgb = DeepSamples(60, 40, 3), grey = DeepSamples(60, 40, 1);
    PngBytes16(rgb, dir.File("rgb.png"));
    PngBytes16(grey, dir.File("grey.png"));
    test::WriteFileBytes(dir.File("rgb.tif"), test::TiffBytes({test::TTiffPage{rgb}}));
    test::WriteFileBytes(dir.File("rgb.jxl"), test::JpegXlBytes(rgb));
    const struct { const char* source; const test::TSamples& samples; const char* format; int depth; bool deep; } cases[] = {
        {"rgb.png", rgb, "png", 16, true},  {"rgb.png", rgb, "tif", 16, true}, {"grey.png", grey, "png", 16, true},
        {"rgb.tif", rgb, "tif", 16, true},  {"rgb.tif", rgb, "png", 16, true}, {"rgb.tif", rgb, "jxl", 16, true},
        {"rgb.png", rgb, "png", 8, false},  {"rgb.png", rgb, "jpg", 16, false}, {"rgb.jxl", rgb, "png", 16, true},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.source) + " to " + c.format + " at " + std::to_string(c.depth);
        TResizeOptions o = Exactly(30, 20);
        o.Format = c.format;
        o.Depth = c.depth;
        const std::string folder = dir.File(std::string("out-") + c.source + "-" + c.format + std::to_string(c.depth) + "/");
        std::filesystem::create_directory(folder);
        const TResizeResult r = ResizeImage(dir.File(c.source), folder, o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << what;
        TPicture picture;
        TDecodeLimits limits;
        limits.Deep = true;
        picture.LoadFromFile(r.OutputName, limits);
        const std::shared_ptr<const TDeepPixels> deep = picture.Graphic()->Deep();
        if (std::string(c.format) == "jxl") {  // lossy: its depth is what the file says
            EXPECT_EQ(JxlBits(test::ReadFileBytes(r.OutputName)), 16u) << what;
            continue;
        }
        ASSERT_EQ(static_cast<bool>(deep), c.deep) << what;
        if (!deep) continue;
        const TDeepPixels expected = Expected(c.samples, 30, 20);
        ASSERT_EQ(deep->Width(), 30) << what;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 90; ++x) ASSERT_NEAR(deep->Row(y)[x], expected.Row(y)[x], 1) << what << " at " << x << "," << y;
    }
}

// AVIF and HEIC of 10 and 12 bits keep more than 8 bits too: their samples
// are not 8-bit values scaled, and they lie close to the 16-bit passes'
// (the Y'CbCr coding rounds at the picture's own depth; 8 bits would be
// about 64 off on average, and HEIC is lossy).
TEST(KeepDepth, AvifAndHeicOfMoreThanEightBits) {
    TTempDir dir;
    const test::TSamples rgb = DeepSamples(64, 48, 3);
    test::TAvifOptions twelve, ten;
    twelve.Depth = 12;
    ten.Depth = 10;
    const struct { const char* name; std::vector<uint8_t> bytes; double meanWithin; } cases[] = {
        {"twelve.avif", test::AvifBytes(rgb, twelve), 16},
        {"ten.avif", test::AvifBytes(rgb, ten), 48},
        {"ten.heic", test::HeifBytes([&] {
             test::TSamples s = rgb;
             s.Bits = 10;
             for (uint16_t& v : s.Values) v = static_cast<uint16_t>(v >> 6);
             return s;
         }(), "hevc", 1, 95), 400},
    };
    const TDeepPixels expected = Expected(rgb, 32, 24);
    for (const auto& c : cases) {
        test::WriteFileBytes(dir.File(c.name), c.bytes);
        TResizeOptions o = Exactly(32, 24);
        o.Format = "png";
        o.Depth = 16;
        const std::string folder = dir.File(std::string("out-") + c.name + "/");
        std::filesystem::create_directory(folder);
        const TResizeResult r = ResizeImage(dir.File(c.name), folder, o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << c.name;
        TPicture picture;
        TDecodeLimits limits;
        limits.Deep = true;
        picture.LoadFromFile(r.OutputName, limits);
        const std::shared_ptr<const TDeepPixels> deep = picture.Graphic()->Deep();
        ASSERT_TRUE(deep) << c.name;
        int fine = 0;
        double difference = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 96; ++x) {
                fine += deep->Row(y)[x] % 257 != 0;
                difference += std::abs(deep->Row(y)[x] - expected.Row(y)[x]);
            }
        EXPECT_GT(fine, 24 * 96 / 2) << c.name;
        EXPECT_LT(difference / (24 * 96), c.meanWithin) << c.name << ": " << difference / (24 * 96);
    }
}

}  // namespace
}  // namespace quorix
