#include "YuvRows.h"

#include "DeepResample.h"

#include "QuorixError.h"
#include "RasterImage.h"
#include "RowSource.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quorix {

namespace {

// Chroma is upsampled from its neighbouring rows: a band converted with this
// many rows more on each side gives its own rows exactly as a whole-picture
// conversion would.
constexpr uint32_t BandMargin = 4;

uint32_t ChromaShiftY(avifPixelFormat format) { return format == AVIF_PIXEL_FORMAT_YUV420 ? 1 : 0; }

// The rows [first, first + rows) of image as an image of their own, the
// planes still owned by image.
avifImage RowsView(const avifImage& image, uint32_t first, uint32_t rows) {
    avifImage view = image;
    view.imageOwnsYUVPlanes = AVIF_FALSE;
    view.imageOwnsAlphaPlane = AVIF_FALSE;
    view.height = rows;
    const uint32_t shift = ChromaShiftY(image.yuvFormat);
    for (int plane = 0; plane < AVIF_PLANE_COUNT_YUV; ++plane) {
        if (!image.yuvPlanes[plane]) continue;
        const uint32_t row = plane == AVIF_CHAN_Y ? first : first >> shift;
        view.yuvPlanes[plane] = image.yuvPlanes[plane] + static_cast<size_t>(row) * image.yuvRowBytes[plane];
    }
    if (image.alphaPlane) view.alphaPlane = image.alphaPlane + static_cast<size_t>(first) * image.alphaRowBytes;
    return view;
}

struct TRgbBand {
    avifRGBImage Rgb;
    explicit TRgbBand(const avifImage& view) {
        avifRGBImageSetDefaults(&Rgb, &view);
        Rgb.format = view.alphaPlane ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
        Rgb.depth = view.depth > 8 ? 16 : 8;
        Rgb.alphaPremultiplied = AVIF_FALSE;  // libavif unpremultiplies what the picture premultiplied
        avifRGBImageAllocatePixels(&Rgb);
    }
    ~TRgbBand() { avifRGBImageFreePixels(&Rgb); }
    TRgbBand(const TRgbBand&) = delete;
    TRgbBand& operator=(const TRgbBand&) = delete;
};

// Where the cropped picture's pixel (x, y) shows, the picture w x h before rotation.
void Place(const TYuvTransform& t, uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint32_t& ox, uint32_t& oy) {
    switch (t.QuarterTurns & 3) {
    case 1: ox = y, oy = w - 1 - x; break;
    case 2: ox = w - 1 - x, oy = h - 1 - y; break;
    case 3: ox = h - 1 - y, oy = x; break;
    default: ox = x, oy = y; break;
    }
    const uint32_t shownW = (t.QuarterTurns & 1) ? h : w, shownH = (t.QuarterTurns & 1) ? w : h;
    if (t.Mirror == 0) oy = shownH - 1 - oy;
    if (t.Mirror == 1) ox = shownW - 1 - ox;
}

void CropOf(const avifImage& image, const TYuvTransform& t, uint32_t& x, uint32_t& y, uint32_t& w, uint32_t& h) {
    const bool cropped = t.CropWidth > 0 && t.CropHeight > 0 && t.CropX <= image.width && t.CropY <= image.height &&
                         t.CropWidth <= image.width - t.CropX && t.CropHeight <= image.height - t.CropY;
    x = cropped ? t.CropX : 0, y = cropped ? t.CropY : 0;
    w = cropped ? t.CropWidth : image.width, h = cropped ? t.CropHeight : image.height;
}

}  // namespace

void TransformedSize(const avifImage& image, const TYuvTransform& transform, uint32_t& width, uint32_t& height) {
    uint32_t x, y, w, h;
    CropOf(image, transform, x, y, w, h);
    width = (transform.QuarterTurns & 1) ? h : w;
    height = (transform.QuarterTurns & 1) ? w : h;
}

namespace {

// The rows [first, last) of the picture converted together, each handed to
// take with its samples from column cropX on (RGB or RGBA, 8 or 16 bits).
template <class TTake>
void ConvertedRows(const avifImage& image, uint32_t cropX, uint32_t first, uint32_t last, TTake take) {
    TSampleLayout layout;
    layout.Channels = image.alphaPlane ? 4 : 3;
    layout.BytesPerSample = image.depth > 8 ? 2 : 1;
    layout.MaxValue = image.depth > 8 ? 65535 : 255;
    // Started on an even row, so that the chroma rows line up.
    const uint32_t from = (first > BandMargin ? first - BandMargin : 0) & ~1u;
    const uint32_t to = std::min(image.height, last + BandMargin);
    const avifImage view = RowsView(image, from, to - from);
    TRgbBand rgb(view);
    const avifResult result = avifImageYUVToRGB(&view, &rgb.Rgb);
    if (result != AVIF_RESULT_OK)
        throw EInvalidGraphic(std::string("AVIF error: cannot convert the colours: ") + avifResultToString(result));
    const size_t pixelBytes = static_cast<size_t>(layout.Channels) * layout.BytesPerSample;
    for (uint32_t y = first; y < last; ++y)
        take(y, rgb.Rgb.pixels + static_cast<size_t>(y - from) * rgb.Rgb.rowBytes + cropX * pixelBytes, layout);
}

// The same rows (cropped to [cropX, cropX + width)), each handed to take as 24-bit pixels.
template <class TTake>
void ConvertBand(const avifImage& image, uint32_t cropX, uint32_t width, uint32_t first, uint32_t last, TTake take) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    ConvertedRows(image, cropX, first, last, [&](uint32_t y, const uint8_t* samples, const TSampleLayout& layout) {
        SamplesToPixels(samples, layout, static_cast<int>(width), row.data());
        take(y, row.data());
    });
}

uint32_t BandOf(int bandRows) { return static_cast<uint32_t>(std::max(2, bandRows)) & ~1u; }

}  // namespace

std::shared_ptr<TDeepPixels> YuvToDeep(const avifImage& image, const TYuvTransform& transform) {
    if (image.depth <= 8 || transform.QuarterTurns != 0 || transform.Mirror >= 0) return nullptr;
    uint32_t cropX, cropY, width, height;
    CropOf(image, transform, cropX, cropY, width, height);
    auto deep = std::make_shared<TDeepPixels>();
    deep->SetSize(static_cast<int>(width), static_cast<int>(height));
    const uint32_t band = BandOf(64);
    for (uint32_t first = cropY; first < cropY + height; first += band)
        ConvertedRows(image, cropX, first, std::min(cropY + height, first + band),
                      [&](uint32_t y, const uint8_t* samples, const TSampleLayout& layout) {
                          SamplesToDeepPixels(samples, layout, static_cast<int>(width), deep->Row(static_cast<int>(y - cropY)));
                      });
    return deep;
}

namespace {

// Rows of a picture turned by half turns and mirrors only: each shown row is
// one stored row, read forwards or backwards.
class TYuvRowSource : public TRingRowSource {
public:
    TYuvRowSource(std::shared_ptr<void> owner, const avifImage& image, const TYuvTransform& t, uint32_t cropX, uint32_t cropY,
                  uint32_t width, uint32_t height)
        : TRingRowSource(static_cast<int>(width), static_cast<int>(height)), FOwner(std::move(owner)), FImage(image),
          FCropX(cropX), FCropY(cropY),
          FWidth(width), FHeight(height) {
        FFlipY = (t.QuarterTurns == 2) != (t.Mirror == 0);
        FFlipX = (t.QuarterTurns == 2) != (t.Mirror == 1);
    }

protected:
    void MakeRow(int y, uint8_t* out) override {
        const uint32_t stored = FFlipY ? FHeight - 1 - static_cast<uint32_t>(y) : static_cast<uint32_t>(y);
        if (stored < FFirst || stored >= FFirst + FRows) {
            const uint32_t band = BandOf(64);
            FFirst = stored / band * band;
            FRows = std::min(band, FHeight - FFirst);
            FBand.resize(static_cast<size_t>(FRows) * FWidth * 3);
            ConvertBand(FImage, FCropX, FWidth, FCropY + FFirst, FCropY + FFirst + FRows, [&](uint32_t row, const uint8_t* bgr) {
                std::memcpy(&FBand[static_cast<size_t>(row - FCropY - FFirst) * FWidth * 3], bgr, static_cast<size_t>(FWidth) * 3);
            });
        }
        const uint8_t* in = &FBand[static_cast<size_t>(stored - FFirst) * FWidth * 3];
        if (!FFlipX) return static_cast<void>(std::memcpy(out, in, static_cast<size_t>(FWidth) * 3));
        for (uint32_t x = 0; x < FWidth; ++x) std::memcpy(out + 3 * x, in + 3 * static_cast<size_t>(FWidth - 1 - x), 3);
    }

private:
    std::shared_ptr<void> FOwner;  // the planes outlive the picture they were read for
    avifImage FImage;
    uint32_t FCropX, FCropY, FWidth, FHeight;
    bool FFlipX = false, FFlipY = false;
    uint32_t FFirst = 0, FRows = 0;
    std::vector<uint8_t> FBand;
};

class TDeferredYuv : public TDeferredRows {
public:
    TDeferredYuv(std::shared_ptr<void> owner, const avifImage& image, const TYuvTransform& transform)
        : FOwner(std::move(owner)), FImage(image), FTransform(transform) {
        TransformedSize(FImage, FTransform, FWidth, FHeight);
    }
    int Width() const override { return static_cast<int>(FWidth); }
    int Height() const override { return static_cast<int>(FHeight); }
    std::unique_ptr<TRowSource> OpenRowSource() override {
        if (FTransform.QuarterTurns & 1) return nullptr;
        uint32_t x, y, w, h;
        CropOf(FImage, FTransform, x, y, w, h);
        return std::make_unique<TYuvRowSource>(FOwner, FImage, FTransform, x, y, w, h);
    }
    void Fill(TBitmap& bitmap) override { YuvToBitmap(FImage, FTransform, bitmap); }

private:
    std::shared_ptr<void> FOwner;
    avifImage FImage;
    TYuvTransform FTransform;
    uint32_t FWidth = 0, FHeight = 0;
};

}  // namespace

void YuvToBitmap(const avifImage& image, const TYuvTransform& transform, TBitmap& bitmap, int bandRows) {
    uint32_t cropX, cropY, w, h, shownW, shownH;
    CropOf(image, transform, cropX, cropY, w, h);
    TransformedSize(image, transform, shownW, shownH);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(static_cast<int>(shownW), static_cast<int>(shownH));
    const uint32_t band = BandOf(bandRows);
    for (uint32_t first = cropY; first < cropY + h; first += band) {
        ConvertBand(image, cropX, w, first, std::min(first + band, cropY + h), [&](uint32_t y, const uint8_t* row) {
            if (transform.QuarterTurns == 0 && transform.Mirror < 0)
                return static_cast<void>(std::memcpy(bitmap.ScanLine(static_cast<int>(y - cropY)), row, static_cast<size_t>(w) * 3));
            for (uint32_t x = 0; x < w; ++x) {
                uint32_t ox, oy;
                Place(transform, w, h, x, y - cropY, ox, oy);
                std::memcpy(bitmap.ScanLine(static_cast<int>(oy)) + 3 * static_cast<size_t>(ox), row + 3 * x, 3);
            }
        });
    }
}

std::unique_ptr<TDeferredRows> DeferredYuvRows(std::shared_ptr<void> owner, const avifImage& image,
                                               const TYuvTransform& transform) {
    return std::make_unique<TDeferredYuv>(std::move(owner), image, transform);
}

}  // namespace quorix
