#include "DeepResample.h"

#include "ParallelParts.h"

#include <algorithm>
#include <cmath>

namespace quorix {

namespace {

uint16_t ToSample(float sum) {
    if (!(sum > 0.0f)) return 0;
    if (sum >= 65535.0f) return 65535;
    return static_cast<uint16_t>(std::nearbyint(sum));
}

// Rows first to last of source into the same rows of mid, dest's width.
void Horizontal(const TDeepPixels& source, TDeepPixels& mid, const TWeightTable& table, int first, int last) {
    for (int y = first; y < last; ++y) {
        const uint16_t* in = source.Row(y);
        uint16_t* out = mid.Row(y);
        for (int x = 0; x < mid.Width; ++x) {
            const TSourceWeight* item = table.Items.data() + table.Start[x];
            float b = 0.0f, g = 0.0f, r = 0.0f;
            for (int k = 0; k < table.Count[x]; ++k) {
                const uint16_t* p = in + 3 * static_cast<size_t>(item[k].Pixel);
                b += item[k].Weight * static_cast<float>(p[0]);
                g += item[k].Weight * static_cast<float>(p[1]);
                r += item[k].Weight * static_cast<float>(p[2]);
            }
            out[3 * x] = ToSample(b), out[3 * x + 1] = ToSample(g), out[3 * x + 2] = ToSample(r);
        }
    }
}

// Destination rows first to last from mid's rows, a whole row at a time.
void Vertical(const TDeepPixels& mid, TDeepPixels& dest, const TWeightTable& table, int first, int last) {
    const size_t samples = static_cast<size_t>(dest.Width) * 3;
    std::vector<float> sums(samples);
    for (int y = first; y < last; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        const TSourceWeight* item = table.Items.data() + table.Start[y];
        for (int k = 0; k < table.Count[y]; ++k) {
            const uint16_t* in = mid.Row(item[k].Pixel);
            const float w = item[k].Weight;
            for (size_t i = 0; i < samples; ++i) sums[i] += w * static_cast<float>(in[i]);
        }
        uint16_t* out = dest.Row(y);
        for (size_t i = 0; i < samples; ++i) out[i] = ToSample(sums[i]);
    }
}

}  // namespace

void TDeepPixels::SetSize(int width, int height) {
    Width = width;
    Height = height;
    Samples.assign(static_cast<size_t>(width) * height * 3, 0);
}

void ResampleDeep(const TDeepPixels& source, TDeepPixels& dest, TFilterProc filter, float width, int threads) {
    if (source.Width < 1 || source.Height < 1 || dest.Width < 1 || dest.Height < 1) return;
    const TWeightTable across = BuildWeightTable(dest.Width, source.Width, filter, width);
    const TWeightTable down = BuildWeightTable(dest.Height, source.Height, filter, width);
    TDeepPixels mid;
    mid.SetSize(dest.Width, source.Height);
    threads = std::max(1, threads);
    RunParallel(threads, [&](int part) {
        Horizontal(source, mid, across, source.Height * part / threads, source.Height * (part + 1) / threads);
    });
    RunParallel(threads, [&](int part) {
        Vertical(mid, dest, down, dest.Height * part / threads, dest.Height * (part + 1) / threads);
    });
}

}  // namespace quorix
