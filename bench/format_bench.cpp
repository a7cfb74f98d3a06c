// Decoding and encoding a 12-megapixel photo-like picture in every format the
// program writes (and HEIC, which it only reads), on one thread: milliseconds
// (best of RUNS) and the file's size.
//   build/bench/format_bench [RUNS]
#include "FormatPictures.h"
#include "Graphic.h"
#include "PhotoLike.h"
#include "Resample.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

using namespace quorix;

namespace {

double Milliseconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The best of runs decodes of the file's bytes.
double DecodeTime(const std::string& extension, const std::string& bytes, int runs) {
    double best = 1e12;
    for (int run = 0; run < runs; ++run) {
        std::istringstream in(bytes);
        std::unique_ptr<TGraphic> graphic = FileFormats().Find(extension)->Create();
        const auto start = std::chrono::steady_clock::now();
        graphic->LoadFromStream(in);
        TBitmap bitmap;
        bitmap.Assign(*graphic);  // a JPEG decodes its pixels here
        best = std::min(best, Milliseconds(start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    SetResampleThreads(1);  // the codecs that spread over threads take this count
    const TBitmap photo = bench::MakePhotoLike(4000, 3000, 11);
    std::printf("4000x3000 photo-like picture, one thread, best of %d (ms), quality 70 for the lossy formats\n", runs);
    std::printf("  %-8s %9s %9s %12s\n", "format", "encode", "decode", "bytes");
    for (const TOutputFormatInfo& format : OutputFormats()) {
        double encode = 1e12;
        std::string bytes;
        for (int run = 0; run < runs; ++run) {
            std::unique_ptr<TGraphic> encoder = format.Create(70);
            const auto start = std::chrono::steady_clock::now();
            encoder->Assign(photo);
            std::ostringstream out;
            encoder->SaveToStream(out);
            encode = std::min(encode, Milliseconds(start));
            bytes = out.str();
        }
        const double decode = DecodeTime(format.Extension.substr(1), bytes, runs);
        std::printf("  %-8s %9.0f %9.0f %12zu\n", format.Key.c_str(), encode, decode, bytes.size());
    }
    // HEIC is read, not written: a phone's picture made by the HEVC encoder.
    test::TSamples samples = test::MakeSamples(4000, 3000, 3, 8);
    for (int y = 0; y < 3000; ++y)
        for (int x = 0; x < 4000; ++x)
            for (int c = 0; c < 3; ++c) samples.At(x, y, c) = photo.ScanLine(y)[3 * x + 2 - c];
    const std::vector<uint8_t> heic = test::HeifBytes(samples, "hevc", 1, 70);
    const std::string heicBytes(heic.begin(), heic.end());
    std::printf("  %-8s %9s %9.0f %12zu\n", "heic", "-", DecodeTime("heic", heicBytes, runs), heicBytes.size());
    return 0;
}
