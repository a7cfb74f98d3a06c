#include "SrgbConversion.h"

#include <algorithm>

#include <lcms2.h>

#include <array>

#include <memory>

namespace quorix {

namespace {

struct TProfileFree {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using TProfile = std::unique_ptr<void, TProfileFree>;
struct TTransformFree {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};

}  // namespace

bool ConvertToSrgb(TBitmap& bitmap, const std::vector<uint8_t>& profile) {
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit || bitmap.Empty()) return false;
    return ConvertRowsToSrgb(bitmap.ScanLine(0), bitmap.Stride(), bitmap.Width(), bitmap.Height(), profile);
}

bool IsRgbProfile(const std::vector<uint8_t>& profile) {
    TProfile p(profile.empty() ? nullptr : cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    return p && cmsGetColorSpace(p.get()) == cmsSigRgbData;
}

bool ConvertRowsToSrgb(uint8_t* first, size_t stride, int width, int height, const std::vector<uint8_t>& profile,
                       const std::vector<uint8_t>& target) {
    return ConvertSampleRows(first, stride, width, height, profile, target, 1);
}

bool ConvertDeepToSrgb(TDeepPixels& pixels, const std::vector<uint8_t>& profile) {
    if (pixels.Width() < 1 || pixels.Height() < 1) return false;
    return ConvertSampleRows(reinterpret_cast<uint8_t*>(pixels.Row(0)), static_cast<size_t>(pixels.Width()) * 6, pixels.Width(),
                             pixels.Height(), profile, {}, 2);
}

// Rows of three samples a pixel of bytes (1 or 2) each.
bool ConvertSampleRows(uint8_t* first, size_t stride, int width, int height, const std::vector<uint8_t>& profile,
                       const std::vector<uint8_t>& target, int bytes) {
    if (profile.empty()) return false;
    TProfile source(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source) return false;
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    if (space != cmsSigRgbData && space != cmsSigGrayData) return false;
    // A grey profile reads one of the equal channels: three bytes a pixel, the first taken.
    const cmsUInt32Number rgb = bytes == 2 ? TYPE_BGR_16 : TYPE_BGR_8;
    const cmsUInt32Number input =
        space == cmsSigRgbData ? rgb : COLORSPACE_SH(PT_GRAY) | EXTRA_SH(2) | CHANNELS_SH(1) | BYTES_SH(static_cast<cmsUInt32Number>(bytes));
    TProfile srgb(target.empty() ? nullptr : cmsOpenProfileFromMem(target.data(), static_cast<cmsUInt32Number>(target.size())));
    if (!srgb || cmsGetColorSpace(srgb.get()) != cmsSigRgbData) srgb.reset(cmsCreate_sRGBProfile());
    std::unique_ptr<void, TTransformFree> transform(
        cmsCreateTransform(source.get(), input, srgb.get(), rgb, INTENT_PERCEPTUAL, 0));
    if (!transform) return false;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = first + stride * static_cast<size_t>(y);
        cmsDoTransform(transform.get(), row, row, static_cast<cmsUInt32Number>(width));
    }
    return true;
}

TCmykConversion CmykToSrgb(const std::vector<uint8_t>& profile) {
    TProfile source(profile.empty() ? nullptr : cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source || cmsGetColorSpace(source.get()) != cmsSigCmykData) return {};
    TProfile srgb(cmsCreate_sRGBProfile());
    // One transform for each way of storing the inks: 8 or 16 bits, inverted or not.
    // No cache: a transform is shared by the threads that decode strips.
    const cmsUInt32Number types[2][2] = {{TYPE_CMYK_8, TYPE_CMYK_8_REV}, {TYPE_CMYK_16, TYPE_CMYK_16_REV}};
    std::array<std::shared_ptr<void>, 4> transforms;
    for (int i = 0; i < 4; ++i) {
        transforms[i].reset(cmsCreateTransform(source.get(), types[i / 2][i % 2], srgb.get(), TYPE_BGR_8, INTENT_PERCEPTUAL,
                                               cmsFLAGS_NOCACHE),
                            TTransformFree());
        if (!transforms[i]) return {};
    }
    return [transforms](const uint8_t* cmyk, int bytesPerSample, bool inverted, uint8_t* bgr, int count) {
        const auto& transform = transforms[(bytesPerSample == 2 ? 2 : 0) + (inverted ? 1 : 0)];
        cmsDoTransform(transform.get(), cmyk, bgr, static_cast<cmsUInt32Number>(count));
    };
}

namespace {

// lcms2 stamps the profile it writes with the moment it was written: the
// stamp is made fixed (and the ID, a digest that would cover it, left out),
// so that the same picture gives the same file at any time.
std::vector<uint8_t> MakeSrgbProfileBytes() {
    TProfile srgb(cmsCreate_sRGBProfile());
    cmsUInt32Number size = 0;
    if (!srgb || !cmsSaveProfileToMem(srgb.get(), nullptr, &size)) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(srgb.get(), bytes.data(), &size) || bytes.size() < 128) return {};
    const uint8_t created[12] = {0x07, 0xD0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2000-01-01 00:00:00
    std::copy(std::begin(created), std::end(created), bytes.begin() + 24);
    std::fill(bytes.begin() + 84, bytes.begin() + 100, uint8_t{0});
    return bytes;
}

}  // namespace

std::vector<uint8_t> SrgbProfileBytes() {
    static const std::vector<uint8_t> bytes = MakeSrgbProfileBytes();
    return bytes;
}

}  // namespace quorix
