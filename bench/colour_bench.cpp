// What keeping the colour profile is worth, and what each metadata option
// costs: a wide-gamut photo (Adobe RGB primaries) with EXIF, XMP and a
// thumbnail is written at its own size as JPEG, and its colours compared
// in dE2000 with the source as a colour-managed viewer shows both.
//   build/bench/colour_bench
#include "OrvelTPU.h"
#include "PhotoLike.h"
#include "PhotoTags.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <exiv2/exiv2.hpp>
#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

using namespace quorix;

namespace {

// The file's profile, or sRGB for a file without one (how viewers take it).
cmsHPROFILE ProfileOf(const std::string& path) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    if (!image->iccProfileDefined()) return cmsCreate_sRGBProfile();
    return cmsOpenProfileFromMem(image->iccProfile()->pData_, static_cast<cmsUInt32Number>(image->iccProfile()->size_));
}

// Mean and largest dE2000 between two pictures of the same size, each seen through its profile.
std::pair<double, double> ColourError(const TBitmap& a, cmsHPROFILE pa, const TBitmap& b, cmsHPROFILE pb) {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM ta = cmsCreateTransform(pa, TYPE_BGR_8, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    cmsHTRANSFORM tb = cmsCreateTransform(pb, TYPE_BGR_8, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    double sum = 0, worst = 0;
    long count = 0;
    for (int y = 0; y < a.Height(); y += 3)
        for (int x = 0; x < a.Width(); x += 3) {
            cmsCIELab la, lb;
            cmsDoTransform(ta, a.ScanLine(y) + 3 * x, &la, 1);
            cmsDoTransform(tb, b.ScanLine(y) + 3 * x, &lb, 1);
            const double e = cmsCIE2000DeltaE(&la, &lb, 1, 1, 1);
            sum += e;
            worst = std::max(worst, e);
            ++count;
        }
    cmsDeleteTransform(ta);
    cmsDeleteTransform(tb);
    cmsCloseProfile(lab);
    return {sum / count, worst};
}

}  // namespace

int main() {
    test::TTempDir dir;
    const std::string source = dir.File("wide.jpg");
    test::WriteJpeg(source, bench::MakePhotoLike(1600, 1200, 5), 95);
    test::WriteJpeg(dir.File("thumb.jpg"), bench::MakePhotoLike(160, 120, 5), 80);
    test::TagLikeACamera(source, 1, test::ReadFileBytes(dir.File("thumb.jpg")));
    const std::vector<uint8_t>& icc = test::WideGamutProfile();
    test::EmbedProfile(source, icc);
    cmsHPROFILE wide = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    const TBitmap original = test::LoadAs24(source);
    std::printf("1600x1200 wide-gamut photo (Adobe RGB primaries) with EXIF, GPS, a thumbnail and XMP, written at its\n"
                "own size: the JPEG's bytes (quality 90), and the colours of a lossless PNG against the source,\n"
                "both seen through their profiles (so that only the colours' handling counts)\n");
    std::printf("  %-34s %10s %14s %12s\n", "options", "JPEG bytes", "mean dE2000", "max dE2000");
    const struct {
        const char* name;
        std::function<void(TResizeOptions&)> set;
    } cases[] = {
        {"default (profile, EXIF, XMP kept)", [](TResizeOptions&) {}},
        {"--keep-gps", [](TResizeOptions& o) { o.RemoveGps = false; }},
        {"--no-profile", [](TResizeOptions& o) { o.KeepProfile = false; }},
        {"--strip-metadata (as before)", [](TResizeOptions& o) { o.KeepProfile = o.KeepMetadata = false; }},
        {"--srgb", [](TResizeOptions& o) { o.ConvertSrgb = true; }},
    };
    int n = 0;
    for (const auto& c : cases) {
        TResizeOptions o;
        o.DecFactor = 1;
        o.Quality = 90;
        c.set(o);
        const std::string folder = dir.File("out" + std::to_string(n++) + "/");
        EnsureFolder(folder);
        const TResizeResult jpeg = ResizeImage(source, folder, o);
        o.Format = "png";
        const TResizeResult png = ResizeImage(source, folder, o);
        const TBitmap written = test::LoadAs24(png.OutputName);
        cmsHPROFILE profile = ProfileOf(png.OutputName);
        const auto [mean, worst] = ColourError(original, wide, written, profile);
        cmsCloseProfile(profile);
        std::printf("  %-34s %10zu %14.2f %12.2f\n", c.name, test::ReadFileBytes(jpeg.OutputName).size(), mean, worst);
    }
    cmsCloseProfile(wide);
    return 0;
}
