// Colours survive with their profile: every picture is compared as a
// colour-managed viewer shows it, pixels seen through the profile written
// beside them, in dE2000, never by the profile's bytes alone.
#include "FormatPictures.h"
#include "JpegXl.h"
#include "PhotoMetadata.h"
#include "PhotoTags.h"
#include "Png.h"
#include "ResizeImage.h"
#include "SrgbConversion.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <jxl/encode.h>
#include <libheif/heif.h>
#include <lcms2.h>
#include <sys/stat.h>

#include <algorithm>
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

// An AVIF whose colours are signalled as code points (an nclx box), as phones
// write them: primaries and transfer as H.273 numbers them.
std::vector<uint8_t> AvifSignalling(const TBitmap& bitmap, int primaries, int transfer) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    EXPECT_EQ(heif_context_get_encoder_for_format(context, heif_compression_AV1, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 95);
    const int w = bitmap.Width(), h = bitmap.Height();
    heif_image* image = nullptr;
    heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) plane[static_cast<size_t>(y) * stride + 3 * x + c] = bitmap.ScanLine(y)[3 * x + 2 - c];
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    heif_nclx_color_profile_set_color_primaries(nclx, static_cast<uint16_t>(primaries));
    heif_nclx_color_profile_set_transfer_characteristics(nclx, static_cast<uint16_t>(transfer));
    heif_nclx_color_profile_set_matrix_coefficients(nclx, 6);
    nclx->full_range_flag = 1;
    heif_image_set_nclx_color_profile(image, nclx);
    heif_nclx_color_profile_free(nclx);
    EXPECT_EQ(heif_context_encode_image(context, image, encoder, nullptr, nullptr).code, heif_error_Ok);
    std::vector<uint8_t> out;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* user) {
                           auto* bytes = static_cast<std::vector<uint8_t>*>(user);
                           bytes->insert(bytes->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
                       }};
    heif_context_write(context, &writer, &out);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

// Display P3 (D65 white, the sRGB curve), made here from its chromaticities.
std::vector<uint8_t> DisplayP3Profile() {
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

// The bitmap's pixels as samples (RGB, 8 bits).
test::TSamples SamplesOf(const TBitmap& bitmap) {
    test::TSamples s = test::MakeSamples(bitmap.Width(), bitmap.Height(), 3, 8);
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            for (int c = 0; c < 3; ++c) s.At(x, y, c) = bitmap.ScanLine(y)[3 * x + 2 - c];
    return s;
}

// Colours signalled in the container as Display P3 code points keep their
// colours through the output's profile, whichever library wrote the file;
// sRGB code points need none.
// The sRGB profile written into converted pictures is the same at any time:
// it carries a fixed date, not the moment it was made.
TEST(Colour, TheSrgbProfileWrittenIsTheSameAtAnyTime) {
    const std::vector<uint8_t> bytes = SrgbProfileBytes();
    cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    ASSERT_NE(profile, nullptr);
    struct tm created {};
    EXPECT_TRUE(cmsGetHeaderCreationDateTime(profile, &created));
    EXPECT_EQ(created.tm_year + 1900, 2000);
    EXPECT_EQ(cmsGetColorSpace(profile), cmsSigRgbData);
    cmsCloseProfile(profile);
}

TEST(Colour, AvifCodePointsBecomeAProfile) {
    test::TTempDir dir;
    const TBitmap photo = Photo();
    ::mkdir(dir.File("out").c_str(), 0700);
    test::TAvifOptions p3;
    p3.Primaries = 12;
    test::WriteFileBytes(dir.File("p3-libheif.avif"), AvifSignalling(photo, 12, 13));
    test::WriteFileBytes(dir.File("p3-libavif.avif"), test::AvifBytes(SamplesOf(photo), p3));
    test::WriteFileBytes(dir.File("srgb.avif"), AvifSignalling(photo, 1, 13));
    TResizeOptions o;
    o.Mode = TResizeMode::SameSize;
    o.Width = photo.Width();
    o.Height = photo.Height();
    o.FilterIndex = 0;
    o.Format = "png";
    for (const char* name : {"p3-libheif.avif", "p3-libavif.avif"}) {
        const TResizeResult r = ResizeImage(dir.File(name), dir.File("out/"), o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << name;
        const std::vector<uint8_t> profile = TPhotoMetadata::Read(r.OutputName).Profile();
        ASSERT_FALSE(profile.empty()) << name;
        const TDifference d = Compare(photo, DisplayP3Profile(), test::LoadAs24(r.OutputName), profile);
        EXPECT_LE(d.Mean, 1.0) << name;
        EXPECT_LE(d.Largest, 8.0) << name << " mean " << d.Mean;
    }
    EXPECT_TRUE(TPhotoMetadata::Read(dir.File("srgb.avif")).Profile().empty());
}

// HDR (PQ and HLG, BT.2020) shows as SDR through the profile made for it:
// light up to reference white as the standards define it, brighter light
// rolled off below white, the brightest clipped to white.
TEST(Colour, HdrCodePointsAreToneMappedIntoTheProfile) {
    const struct {
        int transfer;
        double signal;  // 0 to 1
        int srgb;       // the value an sRGB screen shows, white 255
    } cases[] = {
        {16, 0.5081, 187},  // 100 cd/m2: 100 / 203 of white, sRGB-encoded
        {16, 0.2996, 63},   // 10 cd/m2
        {16, 1.0, 255},     // 10000 cd/m2
        {18, 0.5, 137},     // HLG 0.5: scene light 1/12, 50.8 cd/m2 on a 1000 cd/m2 screen
        {18, 0.25, 61},     // scene light 1/48: 9.6 cd/m2
        {18, 1.0, 255},
    };
    for (const auto& c : cases) {
        test::TTempDir dir;
        test::TSamples grey = test::MakeSamples(16, 16, 1, 10);
        for (uint16_t& v : grey.Values) v = static_cast<uint16_t>(std::lround(c.signal * 1023));
        test::TAvifOptions hdr;
        hdr.Depth = 10;
        hdr.Primaries = 9, hdr.Transfer = c.transfer, hdr.Matrix = 9;
        test::WriteFileBytes(dir.File("hdr.avif"), test::AvifBytes(grey, hdr));
        const std::vector<uint8_t> profile = TPhotoMetadata::Read(dir.File("hdr.avif")).Profile();
        ASSERT_FALSE(profile.empty()) << c.transfer << " " << c.signal;
        TBitmap expected;
        expected.SetPixelFormat(TPixelFormat::pf24bit);
        expected.SetSize(16, 16);
        for (int y = 0; y < 16; ++y) std::fill(expected.ScanLine(y), expected.ScanLine(y) + 48, static_cast<uint8_t>(c.srgb));
        const TDifference d = Compare(expected, {}, test::LoadAs24(dir.File("hdr.avif")), profile);
        EXPECT_LE(d.Largest, 1.5) << c.transfer << " " << c.signal;
    }
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
