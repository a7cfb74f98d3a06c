#include "Heif.h"

#include "CicpProfile.h"

#include "QuorixError.h"
#include "Resample.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace quorix {

namespace {

void Check(const heif_error& error, const char* what) {
    if (error.code != heif_error_Ok)
        throw EInvalidGraphic(std::string("HEIF error: ") + what + (error.message ? std::string(": ") + error.message : ""));
}

template <class T, void (*Free)(T*)>
struct TFree {
    void operator()(T* p) const { Free(p); }
};
void FreeHandle(heif_image_handle* h) { heif_image_handle_release(h); }
void FreeImage(heif_image* i) { heif_image_release(i); }
using TContext = std::unique_ptr<heif_context, TFree<heif_context, heif_context_free>>;
using THandle = std::unique_ptr<heif_image_handle, TFree<heif_image_handle, FreeHandle>>;
using TImagePtr = std::unique_ptr<heif_image, TFree<heif_image, FreeImage>>;
using TEncoder = std::unique_ptr<heif_encoder, TFree<heif_encoder, heif_encoder_release>>;
using TDecodingOptions = std::unique_ptr<heif_decoding_options, TFree<heif_decoding_options, heif_decoding_options_free>>;

heif_error WriteToVector(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<std::vector<uint8_t>*>(userdata);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// Once, before any thread uses the library: it registers its codecs.
void InitOnce() {
    static const bool done = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)done;
}

}  // namespace

void THeifImage::Decode(const uint8_t* data, size_t size) {
    InitOnce();
    TContext context(heif_context_alloc());
    heif_context_set_max_decoding_threads(context.get(), 0);  // a batch runs pictures side by side already
    Check(heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr), "cannot read the file");
    heif_image_handle* rawHandle = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &rawHandle), "no primary image");
    THandle handle(rawHandle);
    // The size as shown, rotation applied; the guard and the limit ask it first.
    const int width = heif_image_handle_get_width(handle.get()), height = heif_image_handle_get_height(handle.get());
    CheckHeader(width, height);
    if (width <= 0 || height <= 0) throw EInvalidGraphic("HEIF error: empty picture");
    // The coded stream states its own size, which libheif allocates as it
    // decodes: a 600-byte file can ask for 3 GB. No side may go beyond the
    // picture's own, give or take the padding of the last coding block.
    const int side = std::max({width, height, heif_image_handle_get_ispe_width(handle.get()),
                               heif_image_handle_get_ispe_height(handle.get())});
    heif_context_set_maximum_image_size_limit(context.get(), side + 128);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    TDecodingOptions options(heif_decoding_options_alloc());
    heif_image* rawImage = nullptr;
    Check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get()), "cannot decode");
    TImagePtr image(rawImage);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int decodedWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    const int bits = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    if (!pixels || decodedWidth != width || decodedHeight != height || bits < 8 || bits > 16)
        throw EInvalidGraphic("HEIF error: the decoded picture differs from its header");
    TSampleLayout layout;
    layout.Channels = alpha ? 4 : 3;
    layout.BytesPerSample = deep ? 2 : 1;
    layout.MaxValue = (1 << bits) - 1;
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    SamplesToRows(pixels, static_cast<size_t>(stride), layout, 0, height, bitmap);
    FBitmap.Swap(bitmap);
}

namespace {

// The file as long as its boxes say, the head's bytes first and zeros after,
// served to libheif by a reader without being made: libheif checks that the
// picture data lies within the file, not what it holds, and the boxes that
// say which picture is primary and how large it shows come first.
class TStandInFile {
public:
    TStandInFile(const uint8_t* head, size_t size) : FHead(head), FSize(size) {
        uint64_t at = 0;
        bool described = false;
        while (at + 8 <= size) {
            uint64_t length = 0;
            for (int i = 0; i < 4; ++i) length = (length << 8) | head[at + i];
            if (length == 1 && at + 16 <= size) {
                length = 0;
                for (int i = 0; i < 8; ++i) length = (length << 8) | head[at + 8 + i];
            }
            if (length < 8 || length > (uint64_t{1} << 40)) break;
            if (std::string(reinterpret_cast<const char*>(head + at + 4), 4) == "meta") described = at + length <= size;
            at += length;
        }
        FLength = described ? static_cast<int64_t>(at) : 0;
    }
    bool Usable() const { return FLength > 0; }
    static const heif_reader* Reader() {
        static const heif_reader reader{1, Position, Read, Seek, Grow};
        return &reader;
    }

private:
    static int64_t Position(void* self) { return static_cast<TStandInFile*>(self)->FAt; }
    static int Read(void* data, size_t size, void* user) {
        auto* self = static_cast<TStandInFile*>(user);
        if (size == 0) return 0;  // libheif asks for nothing, into nothing, now and then
        if (self->FAt < 0 || size > static_cast<uint64_t>(self->FLength - self->FAt)) return 1;
        auto* out = static_cast<uint8_t*>(data);
        const uint64_t at = static_cast<uint64_t>(self->FAt);
        const size_t fromHead = at < self->FSize ? static_cast<size_t>(std::min<uint64_t>(size, self->FSize - at)) : 0;
        if (fromHead > 0) std::memcpy(out, self->FHead + at, fromHead);
        std::memset(out + fromHead, 0, size - fromHead);
        self->FAt += static_cast<int64_t>(size);
        return 0;
    }
    static int Seek(int64_t position, void* user) {
        auto* self = static_cast<TStandInFile*>(user);
        if (position < 0 || position > self->FLength) return 1;
        self->FAt = position;
        return 0;
    }
    static heif_reader_grow_status Grow(int64_t target, void* user) {
        return target <= static_cast<TStandInFile*>(user)->FLength ? heif_reader_grow_status_size_reached
                                                                    : heif_reader_grow_status_size_beyond_eof;
    }

    const uint8_t* FHead;
    size_t FSize;
    int64_t FLength = 0, FAt = 0;
};

}  // namespace

std::vector<uint8_t> HeifCicpProfile(const std::string& fileName) {
    InitOnce();
    TContext context(heif_context_alloc());
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_read_from_file(context.get(), fileName.c_str(), nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return {};
    THandle handle(rawHandle);
    heif_color_profile_nclx* nclx = nullptr;
    const heif_error read = heif_image_handle_get_nclx_color_profile(handle.get(), &nclx);
    // libheif may hand out the profile it began to fill, with an error (unknown primaries): it is freed either way.
    std::unique_ptr<heif_color_profile_nclx, void (*)(heif_color_profile_nclx*)> owned(nclx, heif_nclx_color_profile_free);
    if (read.code != heif_error_Ok || !nclx) return {};
    TCicp cicp;
    cicp.Primaries = nclx->color_primaries;
    cicp.Transfer = nclx->transfer_characteristics;
    cicp.Red[0] = nclx->color_primary_red_x, cicp.Red[1] = nclx->color_primary_red_y;
    cicp.Green[0] = nclx->color_primary_green_x, cicp.Green[1] = nclx->color_primary_green_y;
    cicp.Blue[0] = nclx->color_primary_blue_x, cicp.Blue[1] = nclx->color_primary_blue_y;
    cicp.White[0] = nclx->color_primary_white_x, cicp.White[1] = nclx->color_primary_white_y;
    return CicpProfile(cicp);
}

bool THeifImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    InitOnce();
    TStandInFile file(head, size);
    TContext context(heif_context_alloc());
    heif_image_handle* rawHandle = nullptr;
    if (!file.Usable() || heif_context_read_from_reader(context.get(), TStandInFile::Reader(), &file, nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return false;
    THandle handle(rawHandle);
    peek.Width = heif_image_handle_get_width(handle.get());
    peek.Height = heif_image_handle_get_height(handle.get());
    // The planes as decoded, the interleaved copy (2 bytes a sample when deeper than 8 bits), then 24 bits.
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
    peek.BytesPerPixel = (deep ? 2 : 1) * (3 + 4) + 3;
    return true;
}

std::vector<uint8_t> THeifImage::Encode(const TBitmap& bitmap) const {
    InitOnce();
    TContext context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    Check(heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &rawEncoder), "no AV1 encoder");
    TEncoder encoder(rawEncoder);
    Check(heif_encoder_set_lossy_quality(encoder.get(), Quality), "quality");
    heif_encoder_set_parameter_integer(encoder.get(), "speed", AvifEncoderSpeed);
    heif_encoder_set_parameter_string(encoder.get(), "chroma", "420");  // what every AVIF reader takes
    heif_encoder_set_parameter_integer(encoder.get(), "threads", std::max(1, ResampleThreads()));
    const int width = bitmap.Width(), height = bitmap.Height();
    heif_image* rawImage = nullptr;
    Check(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &rawImage), "image");
    TImagePtr image(rawImage);
    Check(heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8), "plane");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = bitmap.ScanLine(y);
        uint8_t* out = plane + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    // A block the library refuses is left out: the picture is written without it.
    auto keep = [this](const heif_error& error, const char* block) {
        if (error.code != heif_error_Ok) Embedded.Refused.emplace_back(block, error.message ? error.message : "refused");
    };
    if (!Embedded.Profile.empty())
        keep(heif_image_set_raw_color_profile(image.get(), "prof", Embedded.Profile.data(), Embedded.Profile.size()),
             "colour profile");
    heif_image_handle* rawHandle = nullptr;
    Check(heif_context_encode_image(context.get(), image.get(), encoder.get(), nullptr, &rawHandle), "cannot encode");
    THandle handle(rawHandle);
    if (!Embedded.Exif.empty())
        keep(heif_context_add_exif_metadata(context.get(), handle.get(), Embedded.Exif.data(),
                                            static_cast<int>(Embedded.Exif.size())), "EXIF");
    if (!Embedded.Xmp.empty())
        keep(heif_context_add_XMP_metadata(context.get(), handle.get(), Embedded.Xmp.data(),
                                           static_cast<int>(Embedded.Xmp.size())), "XMP");
    std::vector<uint8_t> out;
    heif_writer writer{1, WriteToVector};
    Check(heif_context_write(context.get(), &writer, &out), "cannot write");
    return out;
}

}  // namespace quorix
