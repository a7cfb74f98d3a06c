// make-picture FILE WIDTH HEIGHT [SEED] [grid]: writes a photo-like picture;
// the extension (jpg, png, bmp, heic) chooses the format. A HEIC is written
// as one coded picture, or with "grid" as phones write it: 512 x 512 cells
// (the sides must then be multiples of 512).
#include "Bmp.h"
#include "FormatPictures.h"
#include "Graphic.h"
#include "Jpeg.h"
#include "PhotoLike.h"
#include "Png.h"

#include <cstdlib>
#include <fstream>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

namespace {

quorix::test::TSamples SamplesOf(const quorix::TBitmap& bitmap) {
    quorix::test::TSamples s;
    s.Width = bitmap.Width();
    s.Height = bitmap.Height();
    s.Values.reserve(static_cast<size_t>(s.Width) * s.Height * 3);
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            for (int c = 2; c >= 0; --c) s.Values.push_back(bitmap.ScanLine(y)[3 * x + c]);
    return s;
}

void WriteHeic(const std::string& file, const quorix::TBitmap& bitmap, bool grid) {
    const quorix::test::TSamples s = SamplesOf(bitmap);
    const std::vector<uint8_t> bytes = grid ? quorix::test::HeifGridBytes(s, 512, 50) : quorix::test::HeifBytes(s, "hevc", 1, 50);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorix;
    if (argc < 4) {
        std::cerr << "usage: make-picture FILE WIDTH HEIGHT [SEED]\n";
        return 2;
    }
    std::string file = argv[1];
    int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    uint32_t seed = argc > 4 ? static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 1;
    if (width < 1 || height < 1) {
        std::cerr << "make-picture: WIDTH and HEIGHT must be positive\n";
        return 2;
    }
    try {
        std::string ext = PictureExtension(file);
        if (ext == "heic") {
            WriteHeic(file, bench::MakePhotoLike(width, height, seed), argc > 5 && std::string(argv[5]) == "grid");
            return 0;
        }
        std::unique_ptr<TGraphic> graphic;
        if (ext == "png") graphic = std::make_unique<TPngImage>();
        else if (ext == "bmp") graphic = std::make_unique<TBmpImage>();
        else {
            auto jpeg = std::make_unique<TJPEGImage>();
            jpeg->CompressionQuality = 92;
            graphic = std::move(jpeg);
        }
        graphic->Assign(bench::MakePhotoLike(width, height, seed));
        graphic->SaveToFile(file);
    } catch (const std::exception& e) {
        std::cerr << "make-picture: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
