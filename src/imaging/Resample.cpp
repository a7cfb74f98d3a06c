#include "Resample.h"

#include <cmath>
#include <exception>
#include <new>

namespace quorix {

namespace {

using Extended = long double;

// One accumulation step: the product and the sum in double, the sum kept in single.
inline float Accumulate(float sum, uint8_t value, float weight) {
    return static_cast<float>(static_cast<double>(sum) +
                              static_cast<double>(value) * static_cast<double>(weight));
}

}  // namespace

float ScaleFactor(int destLength, int sourceLength) {
    // A one-pixel source or destination has no corner-to-corner span.
    if (sourceLength == 1 || destLength == 1)
        return static_cast<float>(static_cast<Extended>(destLength) / sourceLength);
    return static_cast<float>(static_cast<Extended>(destLength - 1) / (sourceLength - 1));
}

int32_t ReflectIndex(int64_t j, int length) {
    if (length <= 1) return 0;
    for (;;) {
        if (j < 0)
            j = -j;
        else if (j >= length)
            j = 2 * static_cast<int64_t>(length) - 1 - j;
        else
            return static_cast<int32_t>(j);
    }
}

TWeightTable BuildWeightTable(int destLength, int sourceLength, TFilterProc filter, float width) {
    float scale = ScaleFactor(destLength, sourceLength);
    bool reducing = scale < 1.0f;
    float reach = reducing ? static_cast<float>(static_cast<Extended>(width) / scale) : width;
    float stretch = reducing ? static_cast<float>(1.0L / scale) : 1.0f;

    TWeightTable table;
    table.Start.resize(static_cast<size_t>(destLength));
    table.Count.resize(static_cast<size_t>(destLength));
    table.Items.reserve(static_cast<size_t>(destLength) * static_cast<size_t>(2.0L * reach + 1.0L));
    for (int i = 0; i < destLength; ++i) {
        float centre = static_cast<float>(static_cast<Extended>(i) / scale);
        int64_t left = static_cast<int64_t>(std::floor(static_cast<Extended>(centre) - reach));
        int64_t right = static_cast<int64_t>(std::ceil(static_cast<Extended>(centre) + reach));
        table.Start[i] = static_cast<int32_t>(table.Items.size());
        for (int64_t j = left; j <= right; ++j) {
            Extended distance = static_cast<Extended>(centre) - static_cast<Extended>(j);
            float weight;
            if (reducing) {
                float x = static_cast<float>(distance / stretch);
                weight = static_cast<float>(static_cast<Extended>(filter(x)) / stretch);
            } else {
                weight = filter(static_cast<float>(distance));
            }
            if (weight == 0.0f) continue;
            table.Items.push_back({ReflectIndex(j, sourceLength), weight});
        }
        table.Count[i] = static_cast<int32_t>(table.Items.size()) - table.Start[i];
        if (table.Count[i] > table.MaxCount) table.MaxCount = table.Count[i];
    }
    return table;
}

uint8_t SumToByte(float sum) {
    if (sum > 255.0f) return 255;
    if (sum < 0.0f) return 0;
    return static_cast<uint8_t>(std::nearbyint(sum));  // ties to even in the default rounding mode
}

void HorizontalPass(const TBitmap& source, TBitmap& dest, const TWeightTable& weights) {
    const int destWidth = dest.Width();
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* src = source.ScanLine(y);
        uint8_t* out = dest.ScanLine(y);
        for (int i = 0; i < destWidth; ++i) {
            float blue = 0.0f, green = 0.0f, red = 0.0f;
            const TSourceWeight* item = weights.Items.data() + weights.Start[i];
            for (int k = 0; k < weights.Count[i]; ++k, ++item) {
                const uint8_t* p = src + static_cast<size_t>(item->Pixel) * 3;
                blue = Accumulate(blue, p[0], item->Weight);
                green = Accumulate(green, p[1], item->Weight);
                red = Accumulate(red, p[2], item->Weight);
            }
            out[3 * i] = SumToByte(blue);
            out[3 * i + 1] = SumToByte(green);
            out[3 * i + 2] = SumToByte(red);
        }
    }
}

void VerticalPass(const TBitmap& source, TBitmap& dest, const TWeightTable& weights) {
    // Row by row over whole rows: each destination byte still sums its
    // contributors in their stored order, but memory is read in sequence.
    const size_t rowBytes = static_cast<size_t>(dest.Width()) * 3;
    std::vector<float> sums(rowBytes);
    for (int i = 0; i < dest.Height(); ++i) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        const TSourceWeight* item = weights.Items.data() + weights.Start[i];
        for (int k = 0; k < weights.Count[i]; ++k, ++item) {
            const uint8_t* src = source.ScanLine(item->Pixel);
            const float weight = item->Weight;
            for (size_t b = 0; b < rowBytes; ++b) sums[b] = Accumulate(sums[b], src[b], weight);
        }
        uint8_t* out = dest.ScanLine(i);
        for (size_t b = 0; b < rowBytes; ++b) out[b] = SumToByte(sums[b]);
    }
}

std::string ResampleBitmap(TBitmap& source, TBitmap& dest, TFilterProc filter, float width) {
    const int sw = source.Width(), sh = source.Height();
    if (sw < 1 || sh < 1) return "Cannot strecth! The image is too small.";
    if (static_cast<int64_t>(sw) * sh > MaxPicturePixels) return "Cannot strecth! The image is too big.";
    try {
        const int dw = dest.Width(), dh = dest.Height();
        source.SetPixelFormat(TPixelFormat::pf24bit);
        dest.SetPixelFormat(TPixelFormat::pf24bit);
        TBitmap work;
        work.SetSize(dw, sh);
        {
            TWeightTable horizontal = BuildWeightTable(dw, sw, filter, width);
            HorizontalPass(source, work, horizontal);
        }
        TWeightTable vertical = BuildWeightTable(dh, sh, filter, width);
        VerticalPass(work, dest, vertical);
        return "";
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        return e.what();
    }
}

std::string ResampleGraphic(const TGraphic& graphic, TOrvelBitmap& dest, TFilterProc filter, float width) {
    TOrvelBitmap temporary;
    temporary.SetPixelFormat(TPixelFormat::pf24bit);
    temporary.Assign(graphic);
    return ResampleBitmap(temporary, dest, filter, width);
}

}  // namespace quorix
