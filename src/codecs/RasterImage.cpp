#include "RasterImage.h"

#include "Resample.h"

#include "RowSource.h"
#include "StreamBytes.h"

#include <algorithm>
#include <cstring>

namespace quorix {

void TRasterImage::LoadFromStream(std::istream& stream) {
    const std::vector<uint8_t> bytes = ReadAllBytes(stream);
    TBitmap previous;
    previous.Swap(FBitmap);
    std::unique_ptr<TDeferredRows> deferred = std::move(FDeferred);
    const int fullWidth = FFullWidth, fullHeight = FFullHeight;
    SetFullSize(0, 0);
    std::shared_ptr<const TDeepPixels> deep = std::move(FDeep);
    FDeep.reset();
    try {
        Decode(bytes.data(), bytes.size());
    } catch (...) {
        FBitmap.Swap(previous);  // a failed load keeps what was there
        FDeferred = std::move(deferred);
        SetFullSize(fullWidth, fullHeight);
        FDeep = std::move(deep);
        throw;
    }
}

void TRasterImage::Settle() const {
    if (!FDeferred) return;
    TBitmap bitmap;
    FDeferred->Fill(bitmap);
    FBitmap.Swap(bitmap);
    FDeferred.reset();
}

void TRasterImage::SaveToStream(std::ostream& stream) {
    Settle();
    const std::vector<uint8_t> bytes = Encode(FBitmap);
    WriteAllBytes(stream, bytes.data(), bytes.size());
}

void TRasterImage::Assign(const TGraphic& source) {
    FDeferred.reset();
    FDeep.reset();
    SetFullSize(0, 0);
    if (auto raster = dynamic_cast<const TRasterImage*>(&source)) {
        FBitmap = raster->Bitmap();
        return;
    }
    FBitmap.Assign(source);
    if (FBitmap.PixelFormat() != TPixelFormat::pf24bit) FBitmap.SetPixelFormat(TPixelFormat::pf24bit);
}

void TRasterImage::TakeBitmap(TBitmap& bitmap) {
    FDeferred.reset();
    FDeep.reset();
    SetFullSize(0, 0);
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit) return Assign(bitmap);
    FBitmap.Swap(bitmap);
}

void TRasterImage::AssignTo(TGraphic& dest) const {
    if (auto bitmap = dynamic_cast<TBitmap*>(&dest)) {
        bitmap->Assign(Bitmap());
        return;
    }
    Settle();
    TGraphic::AssignTo(dest);
}

std::unique_ptr<TRowSource> TRasterImage::OpenRowSource() const {
    if (FDeferred)
        if (std::unique_ptr<TRowSource> rows = FDeferred->OpenRowSource()) return rows;
    Settle();
    return FBitmap.OpenRowSource();
}

namespace {

inline uint32_t Sample(const uint8_t* p, int bytes) {
    if (bytes == 1) return *p;
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

}  // namespace

void SamplesToPixels(const uint8_t* in, const TSampleLayout& layout, int count, uint8_t* out) {
    const uint64_t max = static_cast<uint64_t>(layout.MaxValue);
    const int bytes = layout.BytesPerSample;
    const int step = layout.Channels * bytes;
    const bool grey = layout.Channels <= 2;
    const int alphaAt = layout.Channels == 2 || layout.Channels == 4 ? layout.Channels - 1 : -1;
    for (int x = 0; x < count; ++x, in += step, out += 3) {
        const uint64_t a = alphaAt >= 0 ? std::min<uint64_t>(Sample(in + alphaAt * bytes, bytes), max) : max;
        for (int c = 0; c < 3; ++c) {
            const uint64_t v = std::min<uint64_t>(Sample(in + (grey ? 0 : c) * bytes, bytes), max);
            // v * a / max is the colour over black, then / max * 255: one rounding at the end.
            out[2 - c] = static_cast<uint8_t>((v * a * 255 + max * max / 2) / (max * max));
        }
    }
}

void SamplesToDeepPixels(const uint8_t* in, const TSampleLayout& layout, int count, uint16_t* out) {
    const uint64_t max = 65535;
    const int step = layout.Channels * 2;
    const bool grey = layout.Channels <= 2;
    const int alphaAt = layout.Channels == 2 || layout.Channels == 4 ? layout.Channels - 1 : -1;
    for (int x = 0; x < count; ++x, in += step, out += 3) {
        const uint64_t a = alphaAt >= 0 ? Sample(in + alphaAt * 2, 2) : max;
        for (int c = 0; c < 3; ++c)
            out[2 - c] = static_cast<uint16_t>((Sample(in + (grey ? 0 : c) * 2, 2) * a + max / 2) / max);
    }
}

void SamplesToRows(const uint8_t* samples, size_t stride, const TSampleLayout& layout, int firstRow, int rows,
                   TBitmap& bitmap) {
    for (int y = 0; y < rows; ++y)
        SamplesToPixels(samples + static_cast<size_t>(y) * stride, layout, bitmap.Width(), bitmap.ScanLine(firstRow + y));
}

void TRasterImage::FullSize(int& width, int& height) const {
    width = FFullWidth > 0 ? FFullWidth : Width();
    height = FFullHeight > 0 ? FFullHeight : Height();
}

int PictureThreads() {
    return std::max(1, ResampleThreads());
}

}  // namespace quorix
