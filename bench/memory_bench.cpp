// Peak memory of quorix-resize where a picture's work once went beyond what
// the memory gate counts: metadata written into a large output, the HEIF size
// probe, a large RGBA PNG, and a long list of names. Each case runs in a
// process of its own and is held against its bound.
//   memory_bench PATH-TO-quorix-resize
#include "FormatPictures.h"
#include "Graphic.h"
#include "HostilePictures.h"
#include "Jpeg.h"
#include "MemoryGate.h"
#include "PhotoLike.h"
#include "TestPictures.h"

#include <exiv2/exiv2.hpp>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace quorix;

namespace {

constexpr double MB = 1048576.0;

struct TCase {
    std::string Name;
    std::vector<std::string> Args;
    double BoundMB;
};

// 1.3 x the 24-bit picture + 64 MB, the bound of a picture within the limits.
double PictureBound(double pixels) { return 1.3 * pixels * 3 / MB + 64; }
// HEIF, AVIF and JPEG XL: their libraries keep planes of their own.
double LibraryPictureBound(double pixels) { return 2.0 * pixels * 3 / MB + 64; }

double PeakOf(const std::string& tool, const std::string& dir, const std::vector<std::string>& args, int& exitCode) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || !freopen("/dev/null", "w", stdout)) _exit(126);
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return usage.ru_maxrss / 1024.0;
}

std::vector<TCase> Cases() {
    const double photo = 4000.0 * 3000;
    const std::vector<std::string> same = {"--threads", "1", "--mode", "same-size", "--size", "4000x3000"};
    auto with = [](std::vector<std::string> a, std::initializer_list<std::string> more) {
        a.insert(a.end(), more);
        return a;
    };
    return {
        {"12 MP TIFF, bare", with(same, {"--format", "tif", "--out", "a", "bare.jpg"}), PictureBound(photo)},
        {"12 MP TIFF, one EXIF tag", with(same, {"--format", "tif", "--out", "b", "tagged.jpg"}), PictureBound(photo)},
        {"12 MP PNG, bare", with(same, {"--format", "png", "--out", "c", "bare.jpg"}), PictureBound(photo)},
        {"12 MP PNG, one EXIF tag", with(same, {"--format", "png", "--out", "d", "tagged.jpg"}), PictureBound(photo)},
        {"12 MP JPEG, one EXIF tag", with(same, {"--format", "jpg", "--out", "e", "tagged.jpg"}), PictureBound(photo)},
        {"4 AVIF of 2 KB announcing 255 MB", {"--threads", "2", "--out", "f", "a.avif", "b.avif", "c.avif", "d.avif"}, 50},
        {"30000x10000 RGBA PNG, 1 thread", {"--threads", "1", "--out", "g", "zeros.png"}, PictureBound(3e8)},
        {"30000x10000 RGBA PNG, 2 threads", {"--threads", "2", "--out", "h", "zeros.png"}, PictureBound(3e8)},
        {"200,000 names from a list", {"--threads", "2", "--files-from", "names"}, 64},
        {"50 MP 10-bit HEIC grid to JPEG", {"--threads", "1", "--out", "i", "camera.hif"}, LibraryPictureBound(8192.0 * 6144)},
        {"50 MP 10-bit AVIF grid to JPEG", {"--threads", "1", "--out", "j", "grid.avif"}, LibraryPictureBound(8192.0 * 6144)},
        {"24 MP AVIF to JPEG", {"--threads", "1", "--out", "k", "photo.avif"}, LibraryPictureBound(6000.0 * 4000)},
        {"24 MP JPEG XL to JPEG", {"--threads", "1", "--out", "l", "photo.jxl"}, LibraryPictureBound(6000.0 * 4000)},
        {"24 MP WebP to JPEG", {"--threads", "1", "--out", "m", "photo.webp"}, PictureBound(6000.0 * 4000)},
    };
}

// Each lossy library format's encoder on a 24 MP picture, within what the
// memory gate counts for it.
std::vector<TCase> EncoderCases(const std::string& dir) {
    std::vector<TCase> cases;
    for (const char* key : {"webp", "avif", "jxl"}) {
        const std::vector<std::string> args = {"--threads", "1", "--mode", "same-size", "--size", "6000x4000", "--format", key,
                                               "--out", std::string("enc-") + key, "big.jpg"};
        TResizeOptions options;
        options.Mode = TResizeMode::SameSize;
        options.Width = 6000, options.Height = 4000;
        options.Format = key;
        const double gate = static_cast<double>(PictureMemoryEstimate(dir + "/big.jpg", options)) / MB;
        cases.push_back({std::string("24 MP JPEG into ") + key + " (the gate's count)", args, gate});
    }
    return cases;
}

int MeasureAll(const std::string& tool, const std::string& dir) {
    std::printf("%-44s %10s %10s  %s\n", "case", "peak MB", "bound MB", "exit");
    int over = 0;
    std::vector<TCase> cases = Cases();
    for (TCase& c : EncoderCases(dir)) cases.push_back(std::move(c));
    for (const TCase& c : cases) {
        int exitCode = 0;
        const double peak = PeakOf(tool, dir, c.Args, exitCode);
        std::printf("%-44s %10.1f %10.1f  %d%s\n", c.Name.c_str(), peak, c.BoundMB, exitCode, peak <= c.BoundMB ? "" : "  OVER");
        over += peak > c.BoundMB;
    }
    return over == 0 ? 0 : 1;
}

// A photo-like picture as samples of bits bits.
test::TSamples PhotoSamples(int width, int height, int bits) {
    const TBitmap photo = bench::MakePhotoLike(width, height, 3);
    test::TSamples s;
    s.Width = width, s.Height = height, s.Channels = 3, s.Bits = bits;
    s.Values.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                s.At(x, y, c) = static_cast<uint16_t>(photo.ScanLine(y)[3 * x + 2 - c] << (bits - 8) | (x + y) % (1 << (bits - 8)));
    return s;
}

// The phone and camera formats, written by their libraries.
void MakeLibraryPictures(const test::TTempDir& dir) {
    // As cameras write them: 10-bit 4:2:0 in cells of 512 x 512.
    test::WriteFileBytes(dir.File("camera.hif"), test::HeifGridBytes(PhotoSamples(8192, 6144, 10), 512));
    test::TAvifOptions grid;
    grid.Depth = 10, grid.GridColumns = 2, grid.GridRows = 2, grid.Quality = 50;
    test::WriteFileBytes(dir.File("grid.avif"), test::AvifBytes(PhotoSamples(8192, 6144, 10), grid));
    const TBitmap photo = bench::MakePhotoLike(6000, 4000, 3);
    TJPEGImage big;
    big.CompressionQuality = 90;
    big.Assign(photo);
    big.SaveToFile(dir.File("big.jpg"));
    for (const char* key : {"avif", "jxl", "webp"}) {
        std::unique_ptr<TGraphic> encoder = FindOutputFormat(key).Create(70);
        encoder->Assign(photo);
        encoder->SaveToFile(dir.File(std::string("photo.") + key));
    }
}

void MakePictures(const test::TTempDir& dir) {
    MakeLibraryPictures(dir);
    TJPEGImage jpeg;
    jpeg.CompressionQuality = 90;
    jpeg.Assign(bench::MakePhotoLike(4000, 3000, 3));
    jpeg.SaveToFile(dir.File("bare.jpg"));
    jpeg.SaveToFile(dir.File("tagged.jpg"));
    auto image = Exiv2::ImageFactory::open(dir.File("tagged.jpg"));
    image->readMetadata();
    image->exifData()["Exif.Image.Artist"] = "Ada";
    image->writeMetadata();
    for (const char* name : {"a.avif", "b.avif", "c.avif", "d.avif"})
        test::WriteFileBytes(dir.File(name), test::AvifWithLongData(255u << 20));
    test::WriteFileBytes(dir.File("zeros.png"), test::PngAnnouncing(30000, 10000, true, true));
    FILE* names = std::fopen(dir.File("names").c_str(), "w");
    for (int i = 0; i < 200000; ++i) std::fprintf(names, "album/missing-picture-%06d.jpg\n", i);
    std::fclose(names);
}

// Measured from a fresh process: a child's peak starts from its parent's size.
int MeasureInChild(const char* self, const char* tool, const std::string& dir) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/proc/self/exe", self, "--measure", tool, dir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

// memory_bench TOOL [EARLIER-TOOL]: an earlier build is measured first, on the same pictures.
// memory_bench --library-pictures DIR: writes the HEIF, AVIF, JPEG XL and WebP pictures into DIR.
int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) return MeasureAll(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--library-pictures") == 0) {  // kept, to look into one case
        test::TTempDir dir;
        MakeLibraryPictures(dir);
        return std::system(("cp -r '" + dir.Path() + "/.' '" + argv[2] + "'").c_str()) == 0 ? 0 : 1;
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: memory_bench PATH-TO-quorix-resize [PATH-TO-AN-EARLIER-quorix-resize]\n");
        return 2;
    }
    test::TTempDir dir;
    MakePictures(dir);
    if (argc == 3) {
        std::printf("%s\n", argv[2]);
        MeasureInChild(argv[0], argv[2], dir.Path());
        std::printf("\n%s\n", argv[1]);
        std::fflush(stdout);
    }
    return MeasureInChild(argv[0], argv[1], dir.Path());
}
