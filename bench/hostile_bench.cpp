// Time and peak memory of quorix-resize on each hostile picture, one process
// a picture, made by the generator beside the tests. Refused pictures must
// cost well under 0.1 s and 50 MB; pictures within the limits the memory of
// a real picture of their size: 1.3 x the decoded 24-bit source + 64 MB.
//   hostile_bench PATH-TO-quorix-resize [--big]   (--big adds 300,000,000 x 1)
#include "Bmp.h"
#include "FormatPictures.h"
#include "Graphic.h"
#include "HostilePictures.h"
#include "TestPictures.h"

#include <fstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace quorix;

namespace {

struct TCase {
    std::string Name;
    std::vector<uint8_t> Bytes;
    double Pixels;  // 0 for a picture that must be refused
    std::vector<std::string> Options;
};

// One line a case in the folder's list: name, file size, pixels, options.
void Measure(const std::string& tool, const std::string& dir, const TCase& c) {
    const std::string file = dir + c.Name;
    std::vector<std::string> args = {tool, "--threads", "1", "--out", dir + "out"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    args.push_back(file);
    std::fflush(stdout);  // the child must not print what is still buffered here
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double mb = usage.ru_maxrss / 1024.0;
    const double source = c.Pixels * 3 / 1048576.0;
    std::printf("%-28s %9.0f KB  exit %d  %8.1f ms  %7.1f MB", c.Name.c_str(), test::ReadFileBytes(file).size() / 1024.0,
                WEXITSTATUS(status), ms, mb);
    if (c.Pixels > 0)
        std::printf("  (24-bit source %.0f MB, bound %.0f MB)\n", source, 1.3 * source + 64);
    else
        std::printf("  refused: %s\n", ms < 100 && mb < 50 ? "within 0.1 s and 50 MB" : "OVER 0.1 s or 50 MB");
}

// Measures in a fresh process image: a child's peak memory starts from its
// parent's size at the fork, and the generator's buffers are large.
int MeasureAll(const std::string& tool, const std::string& dir) {
    FILE* list = std::fopen((dir + "cases").c_str(), "r");
    if (!list) return 1;
    std::printf("%-28s %12s  %6s  %11s  %10s\n", "picture", "file", "", "time", "peak");
    char name[256], options[256];
    double pixels;
    while (std::fscanf(list, "%255s %lf %255[^\n]\n", name, &pixels, options) == 3) {
        TCase c{name, {}, pixels, {}};
        if (std::strcmp(options, "-") != 0) c.Options.push_back(options);
        Measure(tool, dir, c);
    }
    std::fclose(list);
    return 0;
}

// Real pictures of each format with many colours, for the memory of a
// picture within the limits.
void WriteRealPictures(const test::TTempDir& dir, std::vector<TCase>& cases) {
    const int w = 6000, h = 4000;
    const TBitmap noise = test::MakeNoise(w, h, 2);
    for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TBmpImage bmp;
        bmp.Assign(noise);
        bmp.SetPixelFormat(format);
        const std::string name = format == TPixelFormat::pf24bit ? "real-24bit.bmp" : "real-32bit.bmp";
        std::ofstream out(dir.File(name), std::ios::binary);
        bmp.SaveToStream(out);
        cases.push_back({name, {}, double(w) * h, {}});
    }
    test::TPngLayout png;
    png.Width = w;
    png.Height = h;
    png.ColorType = 6;  // RGBA
    png.Rows.resize(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < png.Rows.size(); ++i) png.Rows[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    test::WritePng(dir.File("real-alpha.png"), png);
    cases.push_back({"real-alpha.png", {}, double(w) * h, {}});
    test::TGifLayout gif;
    gif.ScreenWidth = gif.Width = w;
    gif.ScreenHeight = gif.Height = h;
    for (int i = 0; i < 256; ++i) gif.GlobalRgb.insert(gif.GlobalRgb.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    gif.Indices.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < gif.Indices.size(); ++i) gif.Indices[i] = static_cast<uint8_t>((i / 7) ^ (i / w));
    test::WriteGif(dir.File("real.gif"), gif);
    cases.push_back({"real.gif", {}, double(w) * h, {}});
    // The formats read through whole-picture libraries, written by our own encoders.
    for (const char* key : {"tif", "webp", "avif", "jxl"}) {
        std::unique_ptr<TGraphic> encoder = FindOutputFormat(key).Create(90);
        encoder->Assign(noise);
        const std::string name = std::string("real.") + key;
        std::ofstream out(dir.File(name), std::ios::binary);
        encoder->SaveToStream(out);
        cases.push_back({name, {}, double(w) * h, {}});
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) return MeasureAll(argv[2], argv[3]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: hostile_bench PATH-TO-quorix-resize [--big]\n");
        return 2;
    }
    const bool big = argc > 2 && std::strcmp(argv[2], "--big") == 0;
    test::TTempDir dir;
    {
        test::WriteJpeg(dir.File("photo.jpg"), test::MakeNoise(6000, 4000, 1), 90);
        std::vector<uint8_t> photo = test::ReadFileBytes(dir.File("photo.jpg"));
        std::vector<TCase> cases = {
            {"photo-6000x4000.jpg", photo, 24e6, {}},
            {"cut-50pc-6000x4000.jpg", std::vector<uint8_t>(photo.begin(), photo.begin() + photo.size() / 2), 24e6, {}},
            {"data-missing-4000x3000.jpg", test::JpegAnnouncing(4000, 3000, false), 0, {}},
            {"scans-1000.jpg", test::JpegWithScans(1000), 0, {}},
            {"scans-10000.jpg", test::JpegWithScans(10000), 0, {}},
            {"scans-400.jpg", test::JpegWithScans(400), 256, {}},
            {"guard-17000.jpg", test::JpegAnnouncing(17000, 17000, true), 0, {}},
            {"guard-17000.png", test::PngAnnouncing(17000, 17000, false), 0, {}},
            {"guard-17000.bmp", test::BmpAnnouncing(17000, 17000), 0, {}},
            {"guard-17000.gif", test::GifAnnouncing(17000, 17000), 0, {}},
            {"guard-17000.j2k", test::J2kAnnouncing(17000, 17000), 0, {}},
            {"guard-17000.tif", test::TiffAnnouncing(17000), 0, {}},
            {"guard-17000.webp", test::WebPAnnouncing(17000), 0, {}},
            {"guard-17000.avif", test::AvifAnnouncing(17000), 0, {}},
            {"guard-17000.jxl", test::JpegXlAnnouncing(17000), 0, {}},
            {"limit-20000.png", test::PngAnnouncing(20000, 20000, false), 0, {"--no-protect"}},
            {"limit-20000.tif", test::TiffAnnouncing(20000), 0, {"--no-protect"}},
            {"limit-20000.webp", test::WebPAnnouncing(20000), 0, {"--no-protect"}},
            {"limit-20000.avif", test::AvifAnnouncing(20000), 0, {"--no-protect"}},
            {"limit-20000.jxl", test::JpegXlAnnouncing(20000), 0, {"--no-protect"}},
            {"limit-20000.bmp", test::BmpAnnouncing(20000, 20000), 0, {"--no-protect"}},
            {"limit-20000.gif", test::GifAnnouncing(20000, 20000), 0, {"--no-protect"}},
            {"limit-20000.j2k", test::J2kAnnouncing(20000, 20000), 0, {"--no-protect"}},
            {"zeros-30000x10000.png", test::PngAnnouncing(30000, 10000, true), 300e6, {}},
            {"row-3000000x1.png", test::PngAnnouncing(3000000, 1, true), 3e6, {}},
        };
        if (big) cases.push_back({"row-300000000x1.png", test::PngAnnouncing(300000000, 1, true), 300e6, {}});
        for (const TCase& c : cases) test::WriteFileBytes(dir.File(c.Name), c.Bytes);
        WriteRealPictures(dir, cases);
        FILE* list = std::fopen(dir.File("cases").c_str(), "w");
        for (const TCase& c : cases) {
            std::fprintf(list, "%s %.0f %s\n", c.Name.c_str(), c.Pixels, c.Options.empty() ? "-" : c.Options[0].c_str());
        }
        std::fclose(list);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string self = "/proc/self/exe", tool = argv[1], folder = dir.Path();
        execl(self.c_str(), argv[0], "--measure", tool.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WEXITSTATUS(status);
}
