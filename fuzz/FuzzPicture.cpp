// A picture file of any registered format, then its conversion to 24 bits:
// the first byte picks the format, the rest is the file.
#include "Graphic.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

using namespace quorix;

namespace {

const char* const Extensions[] = {"bmp", "jpg", "png", "gif", "jp2", "j2k"};

std::string TempName(const char* extension) {
    static const std::string folder = [] {
        const char* tmp = getenv("TMPDIR");
        return std::string(tmp ? tmp : "/tmp") + "/quorix-fuzz-" + std::to_string(getpid()) + ".";
    }();
    return folder + extension;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetDecoderPixelLimit(4000000);  // every input stays small enough to decode quickly
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* extension = Extensions[data[0] % (sizeof Extensions / sizeof *Extensions)];
    const std::string name = TempName(extension);
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    try {
        TPicture picture;
        picture.LoadFromFile(name);
        TBitmap bitmap;
        bitmap.Assign(*picture.Graphic());
        if (bitmap.PixelFormat() != TPixelFormat::pf24bit) bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    } catch (const std::exception&) {
        // Refusing bad input with an error is the expected outcome.
    }
    std::remove(name.c_str());
    return 0;
}
