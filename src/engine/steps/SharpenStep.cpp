// Sharpens a reduced picture: an unsharp mask on luminance only, its
// strength growing with the reduction up to the full amount at 2x, and each
// pixel kept within a small overshoot of its neighbours' range so that edges
// get no halo.
#include "OutputSteps.h"

#include "ParallelParts.h"
#include "PixelMemory.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorix {

namespace {

constexpr float Overshoot = 0.05f;  // of the neighbours' range, beyond it

// A plane of floats in huge pages where it is large (faults are dear).
class TPlane {
public:
    explicit TPlane(size_t count) : FMemory(AllocatePixels(count * sizeof(float))) {}
    float& operator[](size_t i) { return reinterpret_cast<float*>(FMemory.get())[i]; }
    float operator[](size_t i) const { return reinterpret_cast<const float*>(FMemory.get())[i]; }

private:
    TPixelMemory FMemory;
};

TPlane Luma(const TBitmap& picture) {
    const int w = picture.Width(), h = picture.Height();
    TPlane luma(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = picture.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) luma[static_cast<size_t>(y) * w + x] = 0.114f * p[0] + 0.587f * p[1] + 0.299f * p[2];
    }
    return luma;
}

std::vector<float> Gaussian(float sigma) {
    const int reach = std::max(1, static_cast<int>(std::ceil(3.0f * sigma)));
    std::vector<float> kernel(static_cast<size_t>(2 * reach + 1));
    float total = 0.0f;
    for (int i = -reach; i <= reach; ++i) total += kernel[i + reach] = std::exp(-0.5f * i * i / (sigma * sigma));
    for (float& k : kernel) k /= total;
    return kernel;
}

// One direction of the blur, the edges repeated.
TPlane Blur(const TPlane& in, int w, int h, const std::vector<float>& kernel, bool across) {
    const int reach = static_cast<int>(kernel.size() / 2);
    TPlane out(static_cast<size_t>(w) * h);
    const int threads = std::max(1, std::min(ResampleThreads(), h));
    RunParallel(threads, [&](int part) {
    for (int y = h * part / threads; y < h * (part + 1) / threads; ++y)
        for (int x = 0; x < w; ++x) {
            float sum = 0.0f;
            for (int k = -reach; k <= reach; ++k) {
                const int sx = across ? std::clamp(x + k, 0, w - 1) : x, sy = across ? y : std::clamp(y + k, 0, h - 1);
                sum += kernel[k + reach] * in[static_cast<size_t>(sy) * w + sx];
            }
            out[static_cast<size_t>(y) * w + x] = sum;
        }
    });
    return out;
}

// deep, when given, gets each pixel's change too, at its scale.
void Sharpen(TBitmap& picture, TDeepPixels* deep, float amount, float radius) {
    const int w = picture.Width(), h = picture.Height();
    const TPlane luma = Luma(picture);
    const std::vector<float> kernel = Gaussian(radius);
    const TPlane blurred = Blur(Blur(luma, w, h, kernel, true), w, h, kernel, false);
    const int threads = std::max(1, std::min(ResampleThreads(), h));
    RunParallel(threads, [&](int part) {
    for (int y = h * part / threads; y < h * (part + 1) / threads; ++y) {
        uint8_t* p = picture.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const size_t i = static_cast<size_t>(y) * w + x;
            float low = luma[i], high = luma[i];
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const float v = luma[static_cast<size_t>(std::clamp(y + dy, 0, h - 1)) * w + std::clamp(x + dx, 0, w - 1)];
                    low = std::min(low, v), high = std::max(high, v);
                }
            const float slack = Overshoot * (high - low);
            const float sharp = std::clamp(luma[i] + amount * (luma[i] - blurred[i]), low - slack, high + slack);
            const float delta = sharp - luma[i];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::clamp(p[c] + delta, 0.0f, 255.0f) + 0.5f);
            if (!deep) continue;
            uint16_t* q = deep->Row(y) + 3 * x;
            for (int c = 0; c < 3; ++c) q[c] = static_cast<uint16_t>(std::clamp(q[c] + 257.0f * delta, 0.0f, 65535.0f) + 0.5f);
        }
    }
    });
}

class TSharpenStep : public TOutputStep {
public:
    const char* Name() const override { return "sharpen"; }
    void Apply(TOutputWork& work) const override {
        if (work.KeepSize || work.Resampled.Width < 1 || work.Resampled.Height < 1) return;
        const double reduction = std::max(static_cast<double>(work.SourceWidth) / work.Resampled.Width,
                                          static_cast<double>(work.SourceHeight) / work.Resampled.Height);
        if (reduction <= 1.0) return;
        const float amount = static_cast<float>(work.Options.SharpenAmount * std::min(1.0, reduction - 1.0));
        Sharpen(work.Working, work.Deep.get(), amount, static_cast<float>(work.Options.SharpenRadius));
    }
    bool LeavesRows(const TOutputWork& work) const override { return work.KeepSize; }
};

}  // namespace

std::unique_ptr<TOutputStep> MakeSharpenStep() { return std::make_unique<TSharpenStep>(); }

}  // namespace quorix
