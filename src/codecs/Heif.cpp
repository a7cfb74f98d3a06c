#include "Heif.h"

#include "CicpProfile.h"
#include "IsoStandIn.h"

#include "QuorixError.h"
#include "YuvRows.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstdlib>
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


// The decoded planes as libavif's converter takes them; false for what it
// does not (RGB as coded, alpha of another depth).
bool PlanesView(const heif_image* image, const heif_image_handle* handle, avifImage& view) {
    view = avifImage();
    const heif_colorspace space = heif_image_get_colorspace(image);
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    if (space == heif_colorspace_YCbCr && chroma == heif_chroma_420) view.yuvFormat = AVIF_PIXEL_FORMAT_YUV420;
    else if (space == heif_colorspace_YCbCr && chroma == heif_chroma_422) view.yuvFormat = AVIF_PIXEL_FORMAT_YUV422;
    else if (space == heif_colorspace_YCbCr && chroma == heif_chroma_444) view.yuvFormat = AVIF_PIXEL_FORMAT_YUV444;
    else if (space == heif_colorspace_monochrome) view.yuvFormat = AVIF_PIXEL_FORMAT_YUV400;
    // Planar RGB (libheif puts a grid's cells together so) as the identity matrix's planes: G, B, R.
    else if (space == heif_colorspace_RGB && chroma == heif_chroma_444) view.yuvFormat = AVIF_PIXEL_FORMAT_YUV444;
    else return false;
    const bool rgb = space == heif_colorspace_RGB;
    const heif_channel channels[3] = {rgb ? heif_channel_G : heif_channel_Y, rgb ? heif_channel_B : heif_channel_Cb,
                                      rgb ? heif_channel_R : heif_channel_Cr};
    const int depth = heif_image_get_bits_per_pixel_range(image, channels[0]);
    if (depth < 8 || depth > 16) return false;
    view.width = static_cast<uint32_t>(heif_image_get_width(image, channels[0]));
    view.height = static_cast<uint32_t>(heif_image_get_height(image, channels[0]));
    view.depth = static_cast<uint32_t>(depth);
    for (int plane = 0; plane < (view.yuvFormat == AVIF_PIXEL_FORMAT_YUV400 ? 1 : 3); ++plane) {
        int stride = 0;
        const uint8_t* data = heif_image_get_plane_readonly(image, channels[plane], &stride);
        if (!data || stride <= 0 || heif_image_get_bits_per_pixel_range(image, channels[plane]) != depth) return false;
        view.yuvPlanes[plane] = const_cast<uint8_t*>(data);
        view.yuvRowBytes[plane] = static_cast<uint32_t>(stride);
    }
    if (heif_image_has_channel(image, heif_channel_Alpha)) {
        int stride = 0;
        const uint8_t* data = heif_image_get_plane_readonly(image, heif_channel_Alpha, &stride);
        if (!data || stride <= 0 || heif_image_get_bits_per_pixel_range(image, heif_channel_Alpha) != depth) return false;
        view.alphaPlane = const_cast<uint8_t*>(data);
        view.alphaRowBytes = static_cast<uint32_t>(stride);
        view.alphaPremultiplied = heif_image_is_premultiplied_alpha(const_cast<heif_image*>(image)) ? AVIF_TRUE : AVIF_FALSE;
    }
    // libheif's own conversion: the stream's or the container's code points, else BT.601 at full range.
    view.yuvRange = AVIF_RANGE_FULL;
    view.matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    view.colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    view.transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok || !nclx) {
        if (nclx) heif_nclx_color_profile_free(nclx);
        nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok && nclx) {
            heif_nclx_color_profile_free(nclx);
            nclx = nullptr;
        }
    }
    if (nclx) {
        view.yuvRange = nclx->full_range_flag ? AVIF_RANGE_FULL : AVIF_RANGE_LIMITED;
        view.matrixCoefficients = static_cast<avifMatrixCoefficients>(nclx->matrix_coefficients);
        view.colorPrimaries = static_cast<avifColorPrimaries>(nclx->color_primaries);
        view.transferCharacteristics = static_cast<avifTransferCharacteristics>(nclx->transfer_characteristics);
        heif_nclx_color_profile_free(nclx);
    }
    if (rgb) view.yuvRange = AVIF_RANGE_FULL, view.matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
    return true;
}

// Pictures coded as RGB, through libheif's interleaved samples.
void DecodeRgb(heif_image_handle* handle, int width, int height, TBitmap& bitmap) {
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    TDecodingOptions options(heif_decoding_options_alloc());
    heif_image* rawImage = nullptr;
    Check(heif_decode_image(handle, &rawImage, heif_colorspace_RGB, chroma, options.get()), "cannot decode");
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
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    SamplesToRows(pixels, static_cast<size_t>(stride), layout, 0, height, bitmap);
}

// For a picture decoded smaller: the smallest thumbnail the file carries that
// is at least the picture shrunk by shrink on each side and has its shape
// (within a pixel); null when there is none.
THandle ThumbnailFor(const heif_image_handle* handle, int width, int height, int shrink) {
    if (shrink <= 1) return nullptr;
    heif_item_id ids[16];
    const int count = heif_image_handle_get_list_of_thumbnail_IDs(handle, ids, 16);
    THandle best;
    for (int i = 0; i < count; ++i) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(handle, ids[i], &raw).code != heif_error_Ok || !raw) continue;
        THandle thumbnail(raw);
        const int64_t w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
        const bool bigEnough = w * shrink >= width && h * shrink >= height && w < width && h < height;
        const bool sameShape = std::abs(w * height - h * width) <= std::max<int64_t>(width, height);
        if (bigEnough && sameShape && (!best || w < heif_image_handle_get_width(best.get()))) best = std::move(thumbnail);
    }
    return best;
}

}  // namespace

void THeifImage::Decode(const uint8_t* data, size_t size) {
    InitOnce();
    TContext context(heif_context_alloc());
    // A grid's cells are decoded side by side (0: all on this thread).
    heif_context_set_max_decoding_threads(context.get(), PictureThreads() > 1 ? PictureThreads() : 0);
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
    SetFullSize(width, height);
    if (THandle thumbnail = ThumbnailFor(handle.get(), width, height, Limits.Shrink)) return DecodeItem(thumbnail.get());
    DecodeItem(handle.get());
}

// The item's planes kept, or its RGB samples made 24-bit.
void THeifImage::DecodeItem(heif_image_handle* handle) {
    const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
    TDecodingOptions options(heif_decoding_options_alloc());
    heif_image* rawImage = nullptr;
    // The planes as coded: converted a band at a time, never as a whole RGB copy.
    Check(heif_decode_image(handle, &rawImage, heif_colorspace_undefined, heif_chroma_undefined, options.get()),
          "cannot decode");
    TImagePtr image(rawImage);
    avifImage planes;
    if (PlanesView(image.get(), handle, planes)) {
        if (static_cast<int>(planes.width) != width || static_cast<int>(planes.height) != height)
            throw EInvalidGraphic("HEIF error: the decoded picture differs from its header");
        if (Limits.Deep) FDeep = YuvToDeep(planes, TYuvTransform());
        // The planes are kept; the rows are made from them as they are read.
        FDeferred = DeferredYuvRows(std::shared_ptr<heif_image>(std::move(image)), planes, TYuvTransform());
        return;
    }
    image.reset();
    TBitmap bitmap;
    DecodeRgb(handle, width, height, bitmap);
    FBitmap.Swap(bitmap);
}

namespace {

// The stand-in file served to libheif through its reader.
class TStandInReader {
public:
    explicit TStandInReader(const TIsoStandIn& file) : FFile(file) {}
    static const heif_reader* Reader() {
        static const heif_reader reader{1, Position, Read, Seek, Grow};
        return &reader;
    }

private:
    static int64_t Position(void* self) { return static_cast<int64_t>(static_cast<TStandInReader*>(self)->FAt); }
    static int Read(void* data, size_t size, void* user) {
        auto* self = static_cast<TStandInReader*>(user);
        if (size == 0) return 0;  // libheif asks for nothing, into nothing, now and then
        if (!self->FFile.Read(self->FAt, size, static_cast<uint8_t*>(data))) return 1;
        self->FAt += size;
        return 0;
    }
    static int Seek(int64_t position, void* user) {
        auto* self = static_cast<TStandInReader*>(user);
        if (position < 0 || static_cast<uint64_t>(position) > self->FFile.Length()) return 1;
        self->FAt = static_cast<uint64_t>(position);
        return 0;
    }
    static heif_reader_grow_status Grow(int64_t target, void* user) {
        return target >= 0 && static_cast<uint64_t>(target) <= static_cast<TStandInReader*>(user)->FFile.Length()
                   ? heif_reader_grow_status_size_reached
                   : heif_reader_grow_status_size_beyond_eof;
    }

    const TIsoStandIn& FFile;
    uint64_t FAt = 0;
};

}  // namespace

namespace {

std::vector<uint8_t> NclxProfile(const heif_image_handle* handle) {
    heif_color_profile_nclx* nclx = nullptr;
    const heif_error read = heif_image_handle_get_nclx_color_profile(handle, &nclx);
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

// The first metadata item of a type ("Exif", "mime" with a content type), at most 16 MB.
std::vector<uint8_t> MetadataItem(const heif_image_handle* handle, const char* type, const char* contentType) {
    heif_item_id ids[64];
    const int count = heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids, 64);
    for (int i = 0; i < count; ++i) {
        const char* content = heif_image_handle_get_metadata_content_type(handle, ids[i]);
        if (contentType && (!content || std::strcmp(content, contentType) != 0)) continue;
        const size_t size = heif_image_handle_get_metadata_size(handle, ids[i]);
        if (size == 0 || size > (16u << 20)) continue;
        std::vector<uint8_t> bytes(size);
        if (heif_image_handle_get_metadata(handle, ids[i], bytes.data()).code == heif_error_Ok) return bytes;
    }
    return {};
}

// An EXIF item starts with the offset of its TIFF structure.
std::vector<uint8_t> ExifStructure(const std::vector<uint8_t>& item) {
    if (item.size() < 4) return {};
    const uint32_t offset = uint32_t{item[0]} << 24 | uint32_t{item[1]} << 16 | uint32_t{item[2]} << 8 | item[3];
    if (offset > item.size() - 4) return {};
    return std::vector<uint8_t>(item.begin() + 4 + offset, item.end());
}

}  // namespace

TContainerBlocks HeifBlocks(const std::string& fileName) {
    InitOnce();
    TContainerBlocks blocks;
    TContext context(heif_context_alloc());
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_read_from_file(context.get(), fileName.c_str(), nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return blocks;
    THandle handle(rawHandle);
    blocks.Profile = NclxProfile(handle.get());
    blocks.Exif = ExifStructure(MetadataItem(handle.get(), "Exif", nullptr));
    const std::vector<uint8_t> xmp = MetadataItem(handle.get(), "mime", "application/rdf+xml");
    blocks.Xmp.assign(xmp.begin(), xmp.end());
    return blocks;
}

bool HeifShownSize(const uint8_t* data, size_t size, int& width, int& height) {
    InitOnce();
    TContext context(heif_context_alloc());
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return false;
    THandle handle(rawHandle);
    width = heif_image_handle_get_width(handle.get());
    height = heif_image_handle_get_height(handle.get());
    return true;
}

bool THeifImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    InitOnce();
    const TIsoStandIn file(head, size);
    TStandInReader reader(file);
    TContext context(heif_context_alloc());
    heif_image_handle* rawHandle = nullptr;
    if (!file.Usable() || heif_context_read_from_reader(context.get(), TStandInReader::Reader(), &reader, nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return false;
    THandle handle(rawHandle);
    peek.Width = heif_image_handle_get_width(handle.get());
    peek.Height = heif_image_handle_get_height(handle.get());
    // The planes as decoded (three full ones at most, 2 bytes a sample when
    // deeper than 8 bits) and the library's copy of a grid's cell, a band of
    // RGB, then 24 bits.
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
    peek.BytesPerPixel = (deep ? 2 : 1) * 4 + 3;
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
    heif_encoder_set_parameter_integer(encoder.get(), "threads", PictureThreads());
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
