#include "SrgbConversion.h"

#include <lcms2.h>

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

bool ConvertRowsToSrgb(uint8_t* first, size_t stride, int width, int height, const std::vector<uint8_t>& profile) {
    if (profile.empty()) return false;
    TProfile source(cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source || cmsGetColorSpace(source.get()) != cmsSigRgbData) return false;
    TProfile srgb(cmsCreate_sRGBProfile());
    std::unique_ptr<void, TTransformFree> transform(
        cmsCreateTransform(source.get(), TYPE_BGR_8, srgb.get(), TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
    if (!transform) return false;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = first + stride * static_cast<size_t>(y);
        cmsDoTransform(transform.get(), row, row, static_cast<cmsUInt32Number>(width));
    }
    return true;
}

std::vector<uint8_t> SrgbProfileBytes() {
    TProfile srgb(cmsCreate_sRGBProfile());
    cmsUInt32Number size = 0;
    if (!srgb || !cmsSaveProfileToMem(srgb.get(), nullptr, &size)) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(srgb.get(), bytes.data(), &size)) return {};
    return bytes;
}

}  // namespace quorix
