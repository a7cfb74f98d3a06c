// make-picture FILE WIDTH HEIGHT [SEED]: writes a photo-like picture; the
// extension (jpg, png, bmp) chooses the format.
#include "Bmp.h"
#include "Graphic.h"
#include "Jpeg.h"
#include "PhotoLike.h"
#include "Png.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

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
