#include "YuvRows.h"

#include "QuorixError.h"
#include "RasterImage.h"

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

void YuvToBitmap(const avifImage& image, const TYuvTransform& transform, TBitmap& bitmap, int bandRows) {
    uint32_t cropX, cropY, w, h, shownW, shownH;
    CropOf(image, transform, cropX, cropY, w, h);
    TransformedSize(image, transform, shownW, shownH);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(static_cast<int>(shownW), static_cast<int>(shownH));
    const bool alpha = image.alphaPlane != nullptr;
    TSampleLayout layout;
    layout.Channels = alpha ? 4 : 3;
    layout.BytesPerSample = image.depth > 8 ? 2 : 1;
    layout.MaxValue = image.depth > 8 ? 65535 : 255;
    const uint32_t band = static_cast<uint32_t>(std::max(2, bandRows)) & ~1u;
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    for (uint32_t first = cropY; first < cropY + h; first += band) {
        const uint32_t last = std::min(first + band, cropY + h);
        // Started on an even row, so that the chroma rows line up.
        const uint32_t from = (first > BandMargin ? first - BandMargin : 0) & ~1u;
        const uint32_t to = std::min(image.height, last + BandMargin);
        const avifImage view = RowsView(image, from, to - from);
        TRgbBand rgb(view);
        const avifResult result = avifImageYUVToRGB(&view, &rgb.Rgb);
        if (result != AVIF_RESULT_OK)
            throw EInvalidGraphic(std::string("AVIF error: cannot convert the colours: ") + avifResultToString(result));
        const size_t pixelBytes = static_cast<size_t>(layout.Channels) * layout.BytesPerSample;
        for (uint32_t y = first; y < last; ++y) {
            const uint8_t* samples = rgb.Rgb.pixels + static_cast<size_t>(y - from) * rgb.Rgb.rowBytes + cropX * pixelBytes;
            if (transform.QuarterTurns == 0 && transform.Mirror < 0) {
                SamplesToPixels(samples, layout, static_cast<int>(w), bitmap.ScanLine(static_cast<int>(y - cropY)));
                continue;
            }
            SamplesToPixels(samples, layout, static_cast<int>(w), row.data());
            for (uint32_t x = 0; x < w; ++x) {
                uint32_t ox, oy;
                Place(transform, w, h, x, y - cropY, ox, oy);
                std::memcpy(bitmap.ScanLine(static_cast<int>(oy)) + 3 * static_cast<size_t>(ox), row.data() + 3 * x, 3);
            }
        }
    }
}

}  // namespace quorix
