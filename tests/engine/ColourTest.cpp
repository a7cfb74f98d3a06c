// Colours survive with their profile: every picture is compared as a
// colour-managed viewer shows it, pixels seen through the profile written
// beside them, in dE2000, never by the profile's bytes alone.
#include "JpegXl.h"
#include "PhotoMetadata.h"
#include "PhotoTags.h"
#include "Png.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <jxl/encode.h>
#include <lcms2.h>
#include <sys/stat.h>

#include <cmath>
#include <memory>

namespace quorix {
namespace {

// Mean and largest dE2000 between two pictures of one size, each seen through
// its own profile (sRGB when it has none).
struct TDifference {
    double Mean = 0, Largest = 0;
};

TDifference Compare(const TBitmap& a, const std::vector<uint8_t>& aProfile, const TBitmap& b,
                    const std::vector<uint8_t>& bProfile) {
    auto open = [](const std::vector<uint8_t>& icc) {
        return icc.empty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    };
    cmsHPROFILE pa = open(aProfile), pb = open(bProfile), lab = cmsCreateLab4Profile(nullptr);
    EXPECT_TRUE(pa && pb);
    cmsHTRANSFORM ta = cmsCreateTransform(pa, TYPE_BGR_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHTRANSFORM tb = cmsCreateTransform(pb, TYPE_BGR_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    TDifference d;
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    for (int y = 0; y < std::min(a.Height(), b.Height()); ++y)
        for (int x = 0; x < std::min(a.Width(), b.Width()); ++x) {
            cmsCIELab la, lb;
            cmsDoTransform(ta, a.ScanLine(y) + 3 * x, &la, 1);
            cmsDoTransform(tb, b.ScanLine(y) + 3 * x, &lb, 1);
            const double e = cmsCIE2000DeltaE(&la, &lb, 1, 1, 1);
            d.Mean += e;
            d.Largest = std::max(d.Largest, e);
        }
    d.Mean /= std::max(1, a.Width() * a.Height());
    cmsDeleteTransform(ta);
    cmsDeleteTransform(tb);
    for (cmsHPROFILE p : {pa, pb, lab}) cmsCloseProfile(p);
    return d;
}

// A smooth photo-like picture with mid greys and saturated corners.
TBitmap Photo() { return test::MakeGradient(96, 64); }

// A JPEG XL written as cjxl writes one from a picture with an ICC profile:
// lossy in the codec's own colour space, or lossless in the profile's.
std::vector<uint8_t> JpegXlLikeCjxl(const TBitmap& bitmap, const std::vector<uint8_t>& icc, bool lossless) {
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<uint32_t>(bitmap.Width());
    info.ysize = static_cast<uint32_t>(bitmap.Height());
    info.bits_per_sample = 8;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    EXPECT_EQ(JxlEncoderSetBasicInfo(encoder, &info), JXL_ENC_SUCCESS);
    EXPECT_EQ(JxlEncoderSetICCProfile(encoder, icc.data(), icc.size()), JXL_ENC_SUCCESS);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    if (lossless) JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    else JxlEncoderSetFrameDistance(settings, 1.0f);
    std::vector<uint8_t> rgb;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            for (int c : {2, 1, 0}) rgb.push_back(bitmap.ScanLine(y)[3 * x + c]);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    EXPECT_EQ(JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()), JXL_ENC_SUCCESS);
    JxlEncoderCloseInput(encoder);
    std::vector<uint8_t> out(1 << 20);
    uint8_t* next = out.data();
    size_t left = out.size();
    EXPECT_EQ(JxlEncoderProcessOutput(encoder, &next, &left), JXL_ENC_SUCCESS);
    out.resize(out.size() - left);
    JxlEncoderDestroy(encoder);
    return out;
}

// Lossy and lossless JPEG XL with an Adobe RGB-like profile: the pixels the
// decoder gives are in the colours of the profile it hands out with them.
TEST(Colour, JpegXlPixelsAgreeWithTheirProfile) {
    test::TTempDir dir;
    const TBitmap photo = Photo();
    const std::vector<uint8_t>& wide = test::WideGamutProfile();
    for (const bool lossless : {false, true}) {
        const std::string path = dir.File(lossless ? "lossless.jxl" : "lossy.jxl");
        test::WriteFileBytes(path, JpegXlLikeCjxl(photo, wide, lossless));
        const TBitmap decoded = test::LoadAs24(path);
        const std::vector<uint8_t> profile = TPhotoMetadata::Read(path).Profile();
        ASSERT_FALSE(profile.empty()) << path;
        const TDifference d = Compare(photo, wide, decoded, profile);
        EXPECT_LE(d.Mean, lossless ? 0.8 : 1.0) << path;  // the lossless file holds 8-bit values of the same resample
        EXPECT_LE(d.Largest, 6.0) << path << " mean " << d.Mean;
    }
}

// Every output format written with "Keep colour profile" and read back shows
// the source's colours: the profile and the pixels go together.
TEST(Colour, EveryOutputFormatKeepsTheColoursThroughItsProfile) {
    test::TTempDir dir;
    const TBitmap photo = Photo();
    const std::vector<uint8_t>& wide = test::WideGamutProfile();
    const std::string png = dir.File("photo.png"), jxl = dir.File("photo.jxl");
    TPngImage encoder;
    encoder.Assign(photo);
    encoder.SaveToFile(png);
    test::EmbedProfile(png, wide);
    test::WriteFileBytes(jxl, JpegXlLikeCjxl(photo, wide, false));
    ::mkdir(dir.File("out").c_str(), 0700);
    for (const std::string& source : {png, jxl})
        for (const char* format : {"jpg", "png", "webp", "avif", "jxl", "tif"}) {
            TResizeOptions o;
            o.Mode = TResizeMode::SameSize;  // the source's own size: pixels compare one to one
            o.Width = photo.Width();
            o.Height = photo.Height();
            o.FilterIndex = 0;
            o.Quality = 95;
            o.Format = format;
            o.NameTemplate = "{name}-" + std::string(format);
            const TResizeResult r = ResizeImage(source, dir.File("out/"), o);
            ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << source << " " << format;
            const std::vector<uint8_t> profile = TPhotoMetadata::Read(r.OutputName).Profile();
            EXPECT_FALSE(profile.empty()) << r.OutputName;
            const TDifference d = Compare(photo, wide, test::LoadAs24(r.OutputName), profile);
            // One lossy generation from the PNG, two from the lossy JPEG XL.
            EXPECT_LE(d.Mean, source == png ? 1.0 : 1.5) << r.OutputName;
            EXPECT_LE(d.Largest, 8.0) << r.OutputName << " mean " << d.Mean;
        }
}

}  // namespace
}  // namespace quorix
