// What a photo carries reaches the output as the options say: the profile
// unchanged, EXIF and XMP upright and at the new size, no thumbnail, no
// location unless asked for; converted to sRGB on request.
#include "FormatPictures.h"
#include "PhotoTags.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>
#include <jxl/decode.h>
#include <lcms2.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

namespace quorix {
namespace {

using test::WideGamutProfile;

// A 64 x 48 photo turned by its EXIF (Orientation 6), with a date, a camera,
// a copyright, a location, a thumbnail, XMP, IPTC and the wide-gamut profile.
std::string MakeTaggedPhoto(const test::TTempDir& dir) {
    const std::string path = dir.File("photo.jpg");
    test::WriteJpeg(path, test::MakeGradient(64, 48));
    test::WriteJpeg(dir.File("thumb.jpg"), test::MakeGradient(8, 6));
    test::TagLikeACamera(path, 6, test::ReadFileBytes(dir.File("thumb.jpg")));
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::IptcData iptc;
    iptc["Iptc.Application2.Caption"] = "A test photo";
    image->setIptcData(iptc);
    image->writeMetadata();
    test::EmbedProfile(path, WideGamutProfile());
    return path;
}

// An output folder, made.
std::string Folder(const test::TTempDir& dir, const std::string& name) {
    ::mkdir(dir.File(name).c_str(), 0700);
    return dir.File(name) + "/";
}

struct TRead {
    Exiv2::ExifData Exif;
    Exiv2::XmpData Xmp;
    Exiv2::IptcData Iptc;
    std::vector<uint8_t> Profile;
};
// exiv2 does not look into a JPEG XL codestream for its profile: libjxl does.
std::vector<uint8_t> JpegXlProfile(const std::string& path) {
    const std::vector<uint8_t> file = test::ReadFileBytes(path);
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_COLOR_ENCODING);
    JxlDecoderSetInput(decoder, file.data(), file.size());
    JxlDecoderCloseInput(decoder);
    std::vector<uint8_t> profile;
    size_t size = 0;
    if (JxlDecoderProcessInput(decoder) == JXL_DEC_COLOR_ENCODING &&
        JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &size) == JXL_DEC_SUCCESS) {
        profile.resize(size);
        JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, profile.data(), size);
    }
    JxlDecoderDestroy(decoder);
    return profile;
}

TRead ReadBack(const std::string& path) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    TRead r{image->exifData(), image->xmpData(), image->iptcData(), {}};
    if (image->iccProfileDefined()) r.Profile.assign(image->iccProfile()->pData_, image->iccProfile()->pData_ + image->iccProfile()->size_);
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".jxl") == 0) r.Profile = JpegXlProfile(path);
    return r;
}

std::string Text(const Exiv2::ExifData& exif, const char* key) {
    auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? "" : it->toString();
}
bool HasGps(const TRead& r) {
    for (const auto& d : r.Exif)
        if (d.groupName() == "GPSInfo") return true;
    for (const auto& d : r.Xmp)
        if (d.key().rfind("Xmp.exif.GPS", 0) == 0) return true;
    return false;
}

TEST(Metadata, EveryWritableFormatCarriesItUprightAtTheNewSize) {
    test::TTempDir dir;
    const std::string source = MakeTaggedPhoto(dir);
    const std::vector<uint8_t> profile = WideGamutProfile();
    for (const char* format : {"jpg", "png", "webp", "tif", "avif", "jxl"}) {
        for (const bool keepGps : {false, true}) {
            TResizeOptions o;  // halve
            o.Format = format;
            o.RemoveGps = !keepGps;
            const TResizeResult result = ResizeImage(source, Folder(dir, "out"), o);
            ASSERT_EQ(result.Outcome, TResizeOutcome::Written) << format;
            TRead r = ReadBack(result.OutputName);
            EXPECT_EQ(r.Profile, profile) << format;
            EXPECT_EQ(Text(r.Exif, "Exif.Photo.DateTimeOriginal"), "2024:05:17 10:20:30") << format;
            EXPECT_EQ(Text(r.Exif, "Exif.Image.Model"), "QuorixCam 1") << format;
            EXPECT_EQ(Text(r.Exif, "Exif.Image.Copyright"), "Ada Example") << format;
            EXPECT_EQ(Text(r.Exif, "Exif.Image.Orientation"), "1") << format;
            EXPECT_EQ(Text(r.Exif, "Exif.Photo.PixelXDimension"), "24") << format;  // turned upright, then halved
            EXPECT_EQ(Text(r.Exif, "Exif.Photo.PixelYDimension"), "32") << format;
            EXPECT_EQ(Exiv2::ExifThumbC(r.Exif).copy().size_, 0) << format;
            EXPECT_EQ(HasGps(r), keepGps) << format;
            EXPECT_EQ(r.Xmp["Xmp.dc.creator"].toString(), "Ada Example") << format;
            EXPECT_EQ(r.Xmp["Xmp.tiff.Orientation"].toString(), "1") << format;
            if (std::string(format) == "jpg" || std::string(format) == "png" || std::string(format) == "tif") {
                EXPECT_EQ(r.Iptc["Iptc.Application2.Caption"].toString(), "A test photo") << format;  // the others have no place for IPTC
            }
        }
    }
}

// Outputs read back as sources: each format's profile comes through again
// (JPEG XL's from the codestream, through libjxl).
TEST(Metadata, EveryFormatsProfileIsReadAsASource) {
    test::TTempDir dir;
    const std::string source = MakeTaggedPhoto(dir);
    const std::vector<uint8_t> profile = WideGamutProfile();
    for (const char* format : {"png", "webp", "tif", "avif", "jxl"}) {
        TResizeOptions o;
        o.Format = format;
        const std::string first = ResizeImage(source, Folder(dir, std::string("x") + format), o).OutputName;
        o.Format = "jpg";
        const std::string second = ResizeImage(first, Folder(dir, std::string("y") + format), o).OutputName;
        EXPECT_EQ(ReadBack(second).Profile, profile) << format;
    }
}

TEST(Metadata, StrippedOrAbsentItLeavesTheBareFile) {
    test::TTempDir dir;
    const std::string source = MakeTaggedPhoto(dir);
    TResizeOptions strip;
    strip.KeepMetadata = strip.KeepProfile = false;
    const TResizeResult stripped = ResizeImage(source, Folder(dir, "a"), strip);
    const TRead r = ReadBack(stripped.OutputName);
    EXPECT_TRUE(r.Exif.empty() && r.Xmp.empty() && r.Iptc.empty() && r.Profile.empty());
    // A source without any: the same bytes whatever the options.
    test::WriteJpeg(dir.File("bare.jpg"), test::MakeGradient(64, 48));
    const TResizeResult kept = ResizeImage(dir.File("bare.jpg"), Folder(dir, "b"), TResizeOptions());
    const TResizeResult bare = ResizeImage(dir.File("bare.jpg"), Folder(dir, "c"), strip);
    EXPECT_EQ(test::ReadFileBytes(kept.OutputName), test::ReadFileBytes(bare.OutputName));
}

// JFIF first, then EXIF, XMP and the profile, as baseline readers expect.
TEST(Metadata, JpegMarkersComeInOrder) {
    test::TTempDir dir;
    const TResizeResult result = ResizeImage(MakeTaggedPhoto(dir), Folder(dir, "out"), TResizeOptions());
    const std::vector<uint8_t> b = test::ReadFileBytes(result.OutputName);
    std::vector<std::string> order;
    for (size_t at = 2; at + 4 < b.size() && b[at] == 0xFF && b[at + 1] != 0xDA;) {
        const size_t length = static_cast<size_t>(b[at + 2] << 8 | b[at + 3]);
        const std::string head(reinterpret_cast<const char*>(&b[at + 4]), std::min<size_t>(length - 2, 12));
        if (b[at + 1] == 0xE0) order.push_back("JFIF");
        if (b[at + 1] == 0xE1) order.push_back(head.rfind("Exif", 0) == 0 ? "EXIF" : "XMP");
        if (b[at + 1] == 0xE2 && (order.empty() || order.back() != "ICC")) order.push_back("ICC");
        at += 2 + length;
    }
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 4), (std::vector<std::string>{"JFIF", "EXIF", "XMP", "ICC"}));
}

// sRGB on request: the pixels within dE2000 1 of lcms2's own conversion of
// the unconverted result, and the sRGB profile written beside them.
TEST(Metadata, ColoursConvertedToSrgb) {
    test::TTempDir dir;
    const std::string source = MakeTaggedPhoto(dir);
    TResizeOptions plain;
    plain.Format = "png";
    TResizeOptions srgb = plain;
    srgb.ConvertSrgb = true;
    const TBitmap before = test::LoadAs24(ResizeImage(source, Folder(dir, "plain"), plain).OutputName);
    const TResizeResult converted = ResizeImage(source, Folder(dir, "srgb"), srgb);
    const TBitmap after = test::LoadAs24(converted.OutputName);
    const std::vector<uint8_t> wide = WideGamutProfile();
    cmsHPROFILE wideProfile = cmsOpenProfileFromMem(wide.data(), static_cast<cmsUInt32Number>(wide.size()));
    cmsHPROFILE srgbProfile = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM reference = cmsCreateTransform(wideProfile, TYPE_BGR_8, srgbProfile, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgbProfile, TYPE_BGR_8, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    double worst = 0, changed = 0;
    for (int y = 0; y < before.Height(); ++y)
        for (int x = 0; x < before.Width(); ++x) {
            uint8_t want[3];
            cmsDoTransform(reference, before.ScanLine(y) + 3 * x, want, 1);
            cmsCIELab a, b;
            cmsDoTransform(toLab, want, &a, 1);
            cmsDoTransform(toLab, after.ScanLine(y) + 3 * x, &b, 1);
            worst = std::max(worst, cmsCIE2000DeltaE(&a, &b, 1, 1, 1));
            changed += std::abs(after.ScanLine(y)[3 * x] - before.ScanLine(y)[3 * x]);
        }
    EXPECT_LE(worst, 1.0);
    EXPECT_GT(changed, 0);  // a wide-gamut picture does change
    const TRead r = ReadBack(converted.OutputName);
    cmsHPROFILE written = cmsOpenProfileFromMem(r.Profile.data(), static_cast<cmsUInt32Number>(r.Profile.size()));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(r.Profile.size() < wide.size() + 2000, true);
    EXPECT_NE(r.Profile, wide);
    for (cmsHPROFILE p : {wideProfile, srgbProfile, lab, written}) cmsCloseProfile(p);
    cmsDeleteTransform(reference);
    cmsDeleteTransform(toLab);
}

// A grey profile cannot stand beside RGB pixels: left out, or on request
// the grey converted to sRGB with the sRGB profile beside it.
TEST(Metadata, AGreyProfileIsLeftOutOrConverted) {
    test::TTempDir dir;
    test::WriteJpeg(dir.File("grey.jpg"), test::MakeBitmap24(32, 32, 128, 128, 128), 100);
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(grey, nullptr, &size);
    std::vector<uint8_t> icc(size);
    cmsSaveProfileToMem(grey, icc.data(), &size);
    cmsCloseProfile(grey);
    test::EmbedProfile(dir.File("grey.jpg"), icc);
    TResizeOptions o;
    o.Format = "png";
    const TResizeResult kept = ResizeImage(dir.File("grey.jpg"), Folder(dir, "k"), o);
    EXPECT_TRUE(ReadBack(kept.OutputName).Profile.empty());
    o.ConvertSrgb = true;
    const TResizeResult converted = ResizeImage(dir.File("grey.jpg"), Folder(dir, "c"), o);
    EXPECT_FALSE(ReadBack(converted.OutputName).Profile.empty());
    const TBitmap before = test::LoadAs24(kept.OutputName), after = test::LoadAs24(converted.OutputName);
    EXPECT_GT(after.ScanLine(8)[0], before.ScanLine(8)[0] + 40);  // linear mid grey is much lighter in sRGB
    EXPECT_EQ(after.ScanLine(8)[0], after.ScanLine(8)[2]);
}

// A CMYK profile whose inks are not the plain formula's: each ink takes away
// a different colour than usual (cyan takes blue), so that a conversion
// through it is told apart from the formula.
std::vector<uint8_t> OddCmykProfile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(grid, [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
        const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
        const cmsUInt16Number rgb[3] = {static_cast<cmsUInt16Number>(65535 * (1 - y) * (1 - k)),
                                        static_cast<cmsUInt16Number>(65535 * (1 - m) * (1 - k)),
                                        static_cast<cmsUInt16Number>(65535 * (1 - c) * (1 - k))};
        cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, out, 1);
        return 1;
    }, toLab, 0);
    cmsDeleteTransform(toLab);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, grid);
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// With --srgb a CMYK JPEG that carries its profile is converted through it,
// not by the plain formula; without, the profile is left out.
TEST(Metadata, ACmykJpegIsConvertedByItsProfile) {
    test::TTempDir dir;
    const uint8_t ink[4] = {255 - 200, 255, 255, 255};  // stored inverted: much cyan, nothing else
    test::WriteCmykJpeg(dir.File("cmyk.jpg"), 16, 16, ink);
    const std::vector<uint8_t> icc = OddCmykProfile();
    test::EmbedProfile(dir.File("cmyk.jpg"), icc, false);
    TResizeOptions o;
    o.Format = "png";
    const TResizeResult plain = ResizeImage(dir.File("cmyk.jpg"), Folder(dir, "p"), o);
    EXPECT_TRUE(ReadBack(plain.OutputName).Profile.empty());
    o.ConvertSrgb = true;
    const TResizeResult converted = ResizeImage(dir.File("cmyk.jpg"), Folder(dir, "s"), o);
    EXPECT_FALSE(ReadBack(converted.OutputName).Profile.empty());
    const TBitmap byFormula = test::LoadAs24(plain.OutputName), through = test::LoadAs24(converted.OutputName);
    const uint8_t* formula = byFormula.ScanLine(4) + 12;
    const uint8_t* p = through.ScanLine(4) + 12;
    EXPECT_LT(formula[2], 100);  // the formula: cyan takes red
    EXPECT_GT(p[2], 200);        // this profile: cyan takes blue
    EXPECT_LT(p[0], 100);
}

// Outputs of one picture that need it decoded in different ways (through
// its CMYK profile for sRGB, by the formula otherwise) each get the pixels
// a run of their own gets, in any order; those that agree share a decode.
TEST(Metadata, OutputsThatNeedOtherPixelsGetTheirOwnDecode) {
    test::TTempDir dir;
    const uint8_t ink[4] = {255 - 200, 255, 255, 255};
    test::WriteCmykJpeg(dir.File("cmyk.jpg"), 16, 16, ink);
    test::EmbedProfile(dir.File("cmyk.jpg"), OddCmykProfile(), false);
    std::vector<TPictureOutput> outputs(3);
    for (size_t k = 0; k < 3; ++k) {
        outputs[k].Key = "o" + std::to_string(k);
        outputs[k].Options.Format = "png";
        outputs[k].Options.NameTemplate = "{name}-" + outputs[k].Key;
        outputs[k].Options.ConvertSrgb = k == 1;
    }
    TPicture picture;
    const std::vector<TResizeResult> made = ResizePicture(dir.File("cmyk.jpg"), Folder(dir, "all"), outputs, picture);
    ASSERT_EQ(made.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(made[k].Key, outputs[k].Key);
        const TResizeResult alone = ResizeImage(dir.File("cmyk.jpg"), Folder(dir, "alone" + std::to_string(k)), outputs[k].Options);
        ASSERT_EQ(alone.Outcome, TResizeOutcome::Written);
        EXPECT_EQ(test::ReadFileBytes(made[k].OutputName), test::ReadFileBytes(alone.OutputName)) << k;
    }
    EXPECT_NE(test::ReadFileBytes(made[0].OutputName), test::ReadFileBytes(made[1].OutputName));
}

// The same for CMYK TIFF files of 8 and 16 bits, which store their inks
// as they are (0 for none).
TEST(Metadata, ACmykTiffIsConvertedByItsProfile) {
    test::TTempDir dir;
    const uint16_t ink[4] = {200 * 257, 0, 0, 0};  // much cyan, nothing else
    const std::vector<uint8_t> icc = OddCmykProfile();
    for (const int bits : {8, 16}) {
        const std::string name = "cmyk" + std::to_string(bits) + ".tif";
        test::WriteCmykTiff(dir.File(name), 16, 16, bits, ink, icc);
        TResizeOptions o;
        o.Format = "png";
        const TResizeResult plain = ResizeImage(dir.File(name), Folder(dir, "p"), o);
        o.ConvertSrgb = true;
        const TResizeResult converted = ResizeImage(dir.File(name), Folder(dir, "s"), o);
        ASSERT_EQ(converted.Outcome, TResizeOutcome::Written) << bits;
        EXPECT_FALSE(ReadBack(converted.OutputName).Profile.empty()) << bits;
        const TBitmap byFormula = test::LoadAs24(plain.OutputName), through = test::LoadAs24(converted.OutputName);
        EXPECT_LT(byFormula.ScanLine(4)[12 + 2], 100) << bits;  // the formula: cyan takes red
        EXPECT_GT(through.ScanLine(4)[12 + 2], 200) << bits;    // this profile: cyan takes blue
        EXPECT_LT(through.ScanLine(4)[12], 100) << bits;
    }
}

TEST(Metadata, TheSourcesDateOnRequest) {
    test::TTempDir dir;
    test::WriteJpeg(dir.File("old.jpg"), test::MakeGradient(20, 20));
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};  // 2001
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("old.jpg").c_str(), times, 0), 0);
    for (const bool keep : {false, true}) {
        TResizeOptions o;
        o.KeepDate = keep;
        const TResizeResult result = ResizeImage(dir.File("old.jpg"), Folder(dir, keep ? "k" : "n"), o);
        struct stat info {};
        ASSERT_EQ(::stat(result.OutputName.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec == 1000000000, keep);
    }
}

}  // namespace
}  // namespace quorix
