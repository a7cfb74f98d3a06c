#include "PhotoTags.h"

#include <exiv2/exiv2.hpp>
#include <lcms2.h>

namespace quorix::test {

namespace {

std::vector<uint8_t> MakeWideGamutProfile() {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace

const std::vector<uint8_t>& WideGamutProfile() {
    static const std::vector<uint8_t> profile = MakeWideGamutProfile();
    return profile;
}

void EmbedProfile(const std::string& path, const std::vector<uint8_t>& profile, bool validate) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::DataBuf buffer(profile.data(), static_cast<long>(profile.size()));
    image->setIccProfile(buffer, validate);
    image->writeMetadata();
}

void TagLikeACamera(const std::string& path, int orientation, const std::vector<uint8_t>& thumbnail) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Orientation"] = static_cast<uint16_t>(orientation);
    exif["Exif.Image.Model"] = "QuorixCam 1";
    exif["Exif.Image.Copyright"] = "Ada Example";
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:17 10:20:30";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    Exiv2::URationalValue latitude;
    latitude.read("48/1 51/1 2400/100");
    exif["Exif.GPSInfo.GPSLatitude"] = latitude;
    Exiv2::ExifThumb(exif).setJpegThumbnail(thumbnail.data(), static_cast<long>(thumbnail.size()));
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.creator"] = "Ada Example";
    xmp["Xmp.tiff.Orientation"] = std::to_string(orientation);
    xmp["Xmp.exif.GPSLatitude"] = "48,51.4N";
    image->setExifData(exif);
    image->setXmpData(xmp);
    image->writeMetadata();
}

}  // namespace quorix::test
