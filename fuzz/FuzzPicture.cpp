// A picture file of any registered format through the whole job: decoded,
// resampled and encoded as the pipeline does it (the encoder abandoned when
// the decoding fails), then converted to 24 bits. The first byte picks the
// format and the job's shape, the rest is the file.
#include "Graphic.h"
#include "Resample.h"
#include "ResizeImage.h"

#include "OrvelTPU.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

using namespace quorix;

namespace {

const char* const Extensions[] = {"bmp", "jpg", "png", "gif", "jp2", "j2k", "tif", "webp", "heic", "avif", "jxl"};
constexpr size_t ExtensionCount = sizeof Extensions / sizeof *Extensions;

// QUORIX_FUZZ_FORMAT=webp keeps a run on one format (scripts/fuzz-formats).
const char* PinnedExtension() {
    static const char* pinned = [] {
        const char* wanted = getenv("QUORIX_FUZZ_FORMAT");
        for (const char* extension : Extensions)
            if (wanted && std::string(wanted) == extension) return extension;
        return static_cast<const char*>(nullptr);
    }();
    return pinned;
}

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
    const char* extension = PinnedExtension() ? PinnedExtension() : Extensions[data[0] % ExtensionCount];
    const std::string name = TempName(extension);
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    static const std::string output = TempName("out/");
    ::mkdir(output.c_str(), 0700);
    TResizeOptions options;
    options.Mode = data[0] & 0x40 ? TResizeMode::XIncrease : TResizeMode::XDecrease;
    options.Protect = (data[0] & 0x80) != 0;
    options.FilterIndex = data[0] % ResampleFilterCount;
    SetResampleThreads(data[0] & 0x20 ? 2 : 1);
    ResizeImage(name, output, options);
    std::remove((output + NameWithoutExtension(ExtractFileName(name)) + ".jpg").c_str());
    // The formats written through whole-picture libraries, on what was read.
    if (data[0] & 0x10) {
        options.Format = data[0] & 0x08 ? "webp" : "tif";
        ResizeImage(name, output, options);
        std::remove((output + NameWithoutExtension(ExtractFileName(name)) + "." + options.Format).c_str());
    }
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
