#include "WebP.h"

#include "QuorixError.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <memory>

namespace quorix {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw EInvalidGraphic("WebP error: " + what); }

TSampleLayout Rgba() {
    TSampleLayout layout;
    layout.Channels = 4;
    return layout;
}

// The first frame drawn on the animation's canvas.
void DecodeFirstFrame(const uint8_t* data, size_t size, TBitmap& bitmap) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) Fail("library version");
    options.color_mode = MODE_RGBA;
    options.use_threads = PictureThreads() > 1;
    const WebPData input{data, size};
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(WebPAnimDecoderNew(&input, &options),
                                                                         WebPAnimDecoderDelete);
    if (!decoder) Fail("damaged animation");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) Fail("damaged animation");
    if (static_cast<int>(info.canvas_width) != bitmap.Width() || static_cast<int>(info.canvas_height) != bitmap.Height())
        Fail("the canvas differs from the header");
    uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp)) Fail("damaged first frame");
    SamplesToRows(frame, static_cast<size_t>(bitmap.Width()) * 4, Rgba(), 0, bitmap.Height(), bitmap);
}

// Scaled by the decoder when shrink is above 1 (its rescaler averages the
// pixels each one covers).
void DecodeStill(const uint8_t* data, size_t size, bool alpha, TBitmap& bitmap, int shrink) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Fail("library version");
    config.options.use_threads = PictureThreads() > 1;
    if (shrink > 1) {
        config.options.use_scaling = 1;
        config.options.scaled_width = bitmap.Width();
        config.options.scaled_height = bitmap.Height();
    }
    if (!alpha) {  // straight into the bitmap's rows
        config.output.colorspace = MODE_BGR;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = bitmap.ScanLine(0);
        config.output.u.RGBA.stride = static_cast<int>(bitmap.Stride());
        config.output.u.RGBA.size = bitmap.ByteSize();
    } else {
        config.output.colorspace = MODE_RGBA;
    }
    const VP8StatusCode status = WebPDecode(data, size, &config);
    std::unique_ptr<WebPDecBuffer, void (*)(WebPDecBuffer*)> buffer(&config.output, WebPFreeDecBuffer);
    if (status != VP8_STATUS_OK) Fail("damaged picture (" + std::to_string(status) + ")");
    if (config.output.width != bitmap.Width() || config.output.height != bitmap.Height()) Fail("size changed");
    if (alpha)
        SamplesToRows(config.output.u.RGBA.rgba, static_cast<size_t>(config.output.u.RGBA.stride), Rgba(), 0,
                      bitmap.Height(), bitmap);
}

int Shrunk(int side, int shrink) {
    return (side + shrink - 1) / shrink;
}

}  // namespace

void TWebPImage::Decode(const uint8_t* data, size_t size) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) Fail("not a WebP file");
    CheckHeader(features.width, features.height);
    if (features.width <= 0 || features.height <= 0) Fail("empty picture");
    // An animation's frames are drawn on the canvas at full size.
    const int shrink = features.has_animation ? 1 : std::max(1, Limits.Shrink);
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(Shrunk(features.width, shrink), Shrunk(features.height, shrink));
    if (features.has_animation)
        DecodeFirstFrame(data, size, bitmap);
    else
        DecodeStill(data, size, features.has_alpha != 0, bitmap, shrink);
    FBitmap.Swap(bitmap);
    SetFullSize(features.width, features.height);
}

std::vector<uint8_t> TWebPImage::Encode(const TBitmap& bitmap) const {
    if (bitmap.Width() > WEBP_MAX_DIMENSION || bitmap.Height() > WEBP_MAX_DIMENSION)
        Fail("WebP pictures are at most " + std::to_string(WEBP_MAX_DIMENSION) + " pixels a side");
    // WebPEncodeBGR's settings, with the analysis and the coding side by side where cores are free.
    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, static_cast<float>(Quality))) Fail("library version");
    config.thread_level = PictureThreads() > 1 ? 1 : 0;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) Fail("library version");
    std::unique_ptr<WebPPicture, void (*)(WebPPicture*)> ownedPicture(&picture, WebPPictureFree);
    picture.width = bitmap.Width();
    picture.height = bitmap.Height();
    if (!WebPPictureImportBGR(&picture, bitmap.ScanLine(0), static_cast<int>(bitmap.Stride()))) Fail("out of memory");
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    std::unique_ptr<WebPMemoryWriter, void (*)(WebPMemoryWriter*)> ownedWriter(&writer, WebPMemoryWriterClear);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!WebPEncode(&config, &picture)) Fail("cannot encode the picture (" + std::to_string(picture.error_code) + ")");
    return std::vector<uint8_t>(writer.mem, writer.mem + writer.size);
}

bool TWebPImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    int width = 0, height = 0;
    if (!WebPGetInfo(head, size, &width, &height)) return false;
    peek.Width = width;
    peek.Height = height;
    peek.BytesPerPixel = 7;  // RGBA from the library, then 24 bits
    return true;
}

}  // namespace quorix
