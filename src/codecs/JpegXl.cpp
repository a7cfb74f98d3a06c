#include "JpegXl.h"

#include "DeepResample.h"

#include "Jpeg.h"
#include "QuorixError.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace quorix {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw EInvalidGraphic("JPEG XL error: " + what); }

struct TDecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct TEncoderFree {
    void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};
struct TRunnerFree {
    void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};
using TRunner = std::unique_ptr<void, TRunnerFree>;

// As many threads as one picture may use: one in a batch of several.
TRunner MakeRunner() { return TRunner(JxlThreadParallelRunnerCreate(nullptr, PictureThreads())); }

}  // namespace

float JpegXlDistance(int quality) {
    if (quality >= 100) return 0.0f;
    if (quality >= 30) return 0.1f + static_cast<float>(100 - quality) * 0.09f;
    return static_cast<float>(6.4 + std::pow(2.5, (30 - quality) / 5.0) / 6.25);
}

namespace {

// A lossy file is coded in the library's own colour space (XYB); when its
// colours are described by an ICC profile, libjxl hands the pixels out in a
// space of its choosing (linear sRGB), not in the profile's. Those pixels are
// taken as floats and brought into the file's own profile here, so the pixels
// and the profile given with them agree.
class TToOriginalProfile {
public:
    TToOriginalProfile(const std::vector<uint8_t>& from, const std::vector<uint8_t>& to, bool alpha) {
        cmsHPROFILE source = cmsOpenProfileFromMem(from.data(), static_cast<cmsUInt32Number>(from.size()));
        cmsHPROFILE target = cmsOpenProfileFromMem(to.data(), static_cast<cmsUInt32Number>(to.size()));
        if (source && target && cmsGetColorSpace(target) == cmsSigRgbData)
            FTransform = cmsCreateTransform(source, alpha ? TYPE_RGBA_FLT : TYPE_RGB_FLT, target,
                                            alpha ? TYPE_RGBA_16 : TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC,
                                            cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);  // called from several threads
        if (source) cmsCloseProfile(source);
        if (target) cmsCloseProfile(target);
    }
    ~TToOriginalProfile() {
        if (FTransform) cmsDeleteTransform(FTransform);
    }
    TToOriginalProfile(const TToOriginalProfile&) = delete;
    TToOriginalProfile& operator=(const TToOriginalProfile&) = delete;
    bool Usable() const { return FTransform != nullptr; }

    // libjxl's image-out callback: a run of pixels of one row.
    uint16_t* Pixels = nullptr;
    size_t Width = 0;
    int Channels = 3;
    static void Convert(void* self, size_t x, size_t y, size_t count, const void* pixels) {
        auto* me = static_cast<TToOriginalProfile*>(self);
        cmsDoTransform(me->FTransform, pixels, me->Pixels + (y * me->Width + x) * static_cast<size_t>(me->Channels),
                       static_cast<cmsUInt32Number>(count));
    }

private:
    cmsHTRANSFORM FTransform = nullptr;
};

std::vector<uint8_t> ProfileFor(JxlDecoder* decoder, JxlColorProfileTarget target, const JxlPixelFormat* format = nullptr) {
    size_t bytes = 0;
    if (JxlDecoderGetICCProfileSize(decoder, format, target, &bytes) != JXL_DEC_SUCCESS || bytes > (size_t{16} << 20))
        return {};
    std::vector<uint8_t> profile(bytes);
    if (JxlDecoderGetColorAsICCProfile(decoder, format, target, profile.data(), bytes) != JXL_DEC_SUCCESS) return {};
    return profile;
}

// The file's colours as an ICC profile: empty for plain sRGB, which every
// reader assumes without one.
std::vector<uint8_t> OriginalProfile(JxlDecoder* decoder) {
    JxlColorEncoding encoded;
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &encoded) == JXL_DEC_SUCCESS &&
        encoded.color_space == JXL_COLOR_SPACE_RGB && encoded.white_point == JXL_WHITE_POINT_D65 &&
        encoded.primaries == JXL_PRIMARIES_SRGB && encoded.transfer_function == JXL_TRANSFER_FUNCTION_SRGB)
        return {};
    return ProfileFor(decoder, JXL_COLOR_PROFILE_TARGET_ORIGINAL);
}

// Whether the pixels libjxl hands out are in another space than the file's.
bool DataSpaceDiffers(JxlDecoder* decoder, const JxlBasicInfo& info) {
    JxlColorEncoding encoded;
    return !info.uses_original_profile &&
           JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &encoded) != JXL_DEC_SUCCESS;
}

}  // namespace

void TJpegXlImage::Decode(const uint8_t* data, size_t size) {
    std::unique_ptr<JxlDecoder, TDecoderFree> decoder(JxlDecoderCreate(nullptr));
    TRunner runner = MakeRunner();
    if (!decoder || !runner) Fail("cannot start the decoder");
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||  // applied below, as for every format
        // Colours premultiplied by their alpha come back straight: alpha is composited once, below.
        JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS)
        Fail("cannot start the decoder");
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info{};
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    TSampleLayout layout;
    std::vector<uint8_t> pixels;
    std::unique_ptr<TToOriginalProfile> convert;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_ERROR) Fail("damaged file");
        if (status == JXL_DEC_NEED_MORE_INPUT) Fail("the file ends early");
        if (status == JXL_DEC_SUCCESS) Fail("no picture in the file");
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) Fail("damaged header");
            CheckHeader(info.xsize, info.ysize);
            if (info.xsize == 0 || info.ysize == 0) Fail("empty picture");
            const bool deep = info.bits_per_sample > 8, alpha = info.alpha_bits > 0;
            format.num_channels = alpha ? 4 : 3;
            format.data_type = deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
            layout.Channels = alpha ? 4 : 3;
            layout.BytesPerSample = deep ? 2 : 1;
            layout.MaxValue = deep ? 65535 : 255;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            if (!DataSpaceDiffers(decoder.get(), info)) continue;
            JxlPixelFormat floats = format;
            floats.data_type = JXL_TYPE_FLOAT;
            convert = std::make_unique<TToOriginalProfile>(ProfileFor(decoder.get(), JXL_COLOR_PROFILE_TARGET_DATA, &floats),
                                                           ProfileFor(decoder.get(), JXL_COLOR_PROFILE_TARGET_ORIGINAL),
                                                           format.num_channels == 4);
            if (!convert->Usable()) {  // a grey or CMYK profile: the pixels as libjxl gives them, as sRGB
                convert.reset();
                continue;
            }
            format = floats;
            layout.BytesPerSample = 2;
            layout.MaxValue = 65535;
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            const size_t bytes = size_t{info.xsize} * info.ysize * format.num_channels * layout.BytesPerSample;
            if (convert) {
                pixels.resize(bytes);
                convert->Pixels = reinterpret_cast<uint16_t*>(pixels.data());
                convert->Width = info.xsize;
                convert->Channels = static_cast<int>(format.num_channels);
                if (JxlDecoderSetImageOutCallback(decoder.get(), &format, TToOriginalProfile::Convert, convert.get()) !=
                    JXL_DEC_SUCCESS)
                    Fail("cannot take the picture");
                continue;
            }
            size_t wanted = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &wanted) != JXL_DEC_SUCCESS || wanted != bytes)
                Fail("unexpected picture size");
            pixels.resize(bytes);
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.data(), bytes) != JXL_DEC_SUCCESS)
                Fail("cannot take the picture");
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break;  // the first frame is the picture
        }
    }
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(static_cast<int>(info.xsize), static_cast<int>(info.ysize));
    const size_t stride = size_t{info.xsize} * format.num_channels * layout.BytesPerSample;
    SamplesToRows(pixels.data(), stride, layout, 0, bitmap.Height(), bitmap);
    // A picture of more than 8 bits, stored upright, keeps its samples where they are asked for.
    if (Limits.Deep && info.bits_per_sample > 8 && layout.BytesPerSample == 2 && info.orientation <= 1) {
        auto deep = std::make_shared<TDeepPixels>();
        deep->SetSize(bitmap.Width(), bitmap.Height());
        for (int y = 0; y < bitmap.Height(); ++y)
            SamplesToDeepPixels(pixels.data() + stride * static_cast<size_t>(y), layout, bitmap.Width(), deep->Row(y));
        FDeep = std::move(deep);
    }
    pixels = std::vector<uint8_t>();
    ApplyOrientation(bitmap, std::clamp(static_cast<int>(info.orientation), 1, 8));
    FBitmap.Swap(bitmap);
}

std::vector<uint8_t> TJpegXlImage::Encode(const TBitmap& bitmap) const {
    std::unique_ptr<JxlEncoder, TEncoderFree> encoder(JxlEncoderCreate(nullptr));
    TRunner runner = MakeRunner();
    if (!encoder || !runner) Fail("cannot start the encoder");
    JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get());
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<uint32_t>(bitmap.Width());
    info.ysize = static_cast<uint32_t>(bitmap.Height());
    // 16 bits a sample where the pixels to write have them.
    const TDeepPixels* deep = FDeep && FDeep->Width() == bitmap.Width() && FDeep->Height() == bitmap.Height() ? FDeep.get() : nullptr;
    info.bits_per_sample = deep ? 16 : 8;
    info.num_color_channels = 3;
    info.uses_original_profile = JXL_FALSE;
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS) Fail("cannot describe the picture");
    // The picture's own profile when it has one, else sRGB. A block libjxl
    // refuses is left out and named.
    bool profiled = false;
    if (!Embedded.Profile.empty()) {
        profiled = JxlEncoderSetICCProfile(encoder.get(), Embedded.Profile.data(), Embedded.Profile.size()) == JXL_ENC_SUCCESS;
        if (!profiled) Embedded.Refused.emplace_back("colour profile", "libjxl cannot use it");
    }
    if (!profiled && JxlEncoderSetColorEncoding(encoder.get(), &colour) != JXL_ENC_SUCCESS)
        Fail("cannot describe the colours");
    if (!Embedded.Exif.empty() || !Embedded.Xmp.empty()) {
        if (JxlEncoderUseBoxes(encoder.get()) != JXL_ENC_SUCCESS) Fail("cannot add metadata");
        if (!Embedded.Exif.empty()) {
            std::vector<uint8_t> exif(4, 0);  // the offset of the TIFF header within the box
            exif.insert(exif.end(), Embedded.Exif.begin(), Embedded.Exif.end());
            if (JxlEncoderAddBox(encoder.get(), "Exif", exif.data(), exif.size(), JXL_FALSE) != JXL_ENC_SUCCESS)
                Embedded.Refused.emplace_back("EXIF", "libjxl refused the box");
        }
        if (!Embedded.Xmp.empty() &&
            JxlEncoderAddBox(encoder.get(), "xml ", reinterpret_cast<const uint8_t*>(Embedded.Xmp.data()), Embedded.Xmp.size(),
                             JXL_FALSE) != JXL_ENC_SUCCESS)
            Embedded.Refused.emplace_back("XMP", "libjxl refused the box");
        JxlEncoderCloseBoxes(encoder.get());
    }
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    JxlEncoderSetFrameDistance(settings, JpegXlDistance(Quality));
    JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, JpegXlEffort);
    if (deep) {
        std::vector<uint16_t> rgb(size_t{info.xsize} * info.ysize * 3);
        for (int y = 0; y < bitmap.Height(); ++y) {
            const uint16_t* in = deep->Row(y);
            uint16_t* out = rgb.data() + size_t{info.xsize} * 3 * y;
            for (int x = 0; x < bitmap.Width(); ++x) out[3 * x] = in[3 * x + 2], out[3 * x + 1] = in[3 * x + 1], out[3 * x + 2] = in[3 * x];
        }
        const JxlPixelFormat format{3, JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
        if (JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size() * 2) != JXL_ENC_SUCCESS) Fail("cannot encode");
    } else {
        std::vector<uint8_t> rgb(size_t{info.xsize} * info.ysize * 3);
        for (int y = 0; y < bitmap.Height(); ++y) {
            const uint8_t* in = bitmap.ScanLine(y);
            uint8_t* out = rgb.data() + size_t{info.xsize} * 3 * y;
            for (int x = 0; x < bitmap.Width(); ++x) out[3 * x] = in[3 * x + 2], out[3 * x + 1] = in[3 * x + 1], out[3 * x + 2] = in[3 * x];
        }
        const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        if (JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS) Fail("cannot encode");
    }
    JxlEncoderCloseInput(encoder.get());
    std::vector<uint8_t> out(1 << 16);
    size_t written = 0;
    for (;;) {
        uint8_t* next = out.data() + written;
        size_t available = out.size() - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        written = static_cast<size_t>(next - out.data());
        if (status == JXL_ENC_SUCCESS) break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT) Fail("cannot encode");
        out.resize(out.size() * 2);
    }
    out.resize(written);
    return out;
}

std::vector<uint8_t> JpegXlIccProfile(const uint8_t* data, size_t size) {
    std::unique_ptr<JxlDecoder, TDecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_COLOR_ENCODING) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS)
        return {};
    JxlDecoderCloseInput(decoder.get());
    for (int events = 0; events < 8; ++events) {  // the header and any boxes before the colour encoding
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_COLOR_ENCODING) return OriginalProfile(decoder.get());
        if (status == JXL_DEC_ERROR || status == JXL_DEC_NEED_MORE_INPUT || status == JXL_DEC_SUCCESS) return {};
    }
    return {};
}

bool TJpegXlImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    std::unique_ptr<JxlDecoder, TDecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), head, size) != JXL_DEC_SUCCESS)
        return false;
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info;
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO ||
        JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
        return false;
    peek.Width = info.xsize;
    peek.Height = info.ysize;
    // The library's samples (16 bits when brought into the file's profile), then 24 bits.
    peek.BytesPerPixel = info.bits_per_sample > 8 || !info.uses_original_profile ? 8 + 3 : 4 + 3;
    return true;
}

}  // namespace quorix
