#include "FormatPictures.h"

#include "TestPictures.h"

#include <avif/avif.h>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <jxl/encode.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace quorix::test {

namespace {

int MaxOf(int bits) { return (1 << bits) - 1; }

std::vector<uint8_t> Bytes8(const TSamples& s) {
    std::vector<uint8_t> out(s.Values.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(s.Values[i]);
    return out;
}

void Require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("cannot write the test picture: ") + what);
}

}  // namespace

TSamples MakeSamples(int width, int height, int channels, int bits) {
    TSamples s;
    s.Width = width;
    s.Height = height;
    s.Channels = channels;
    s.Bits = bits;
    s.Values.resize(static_cast<size_t>(width) * height * channels);
    const long max = MaxOf(bits);
    const bool alpha = channels == 2 || channels == 4;
    const int colours = alpha ? channels - 1 : channels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const long ramps[3] = {x * max / std::max(1, width - 1), y * max / std::max(1, height - 1),
                                   (x + y) * max / std::max(1, width + height - 2)};
            for (int c = 0; c < colours; ++c) s.At(x, y, c) = static_cast<uint16_t>(ramps[c]);
            if (!alpha) continue;
            // Transparent in the top-left quarter's corner, half in the top-right one, opaque elsewhere.
            const bool top = y < height / 4, left = x < width / 4, right = x >= width - width / 4;
            s.At(x, y, channels - 1) = static_cast<uint16_t>(top && left ? 0 : top && right ? max / 2 : max);
        }
    return s;
}

uint8_t To8(uint16_t value, int bits) {
    const uint32_t max = static_cast<uint32_t>(MaxOf(bits));
    return static_cast<uint8_t>((value * 255u + max / 2) / max);
}

std::vector<uint8_t> TiffBytes(const std::vector<TTiffPage>& pages) {
    char name[] = "/tmp/quorix-tiff-XXXXXX";
    const int fd = mkstemp(name);
    Require(fd >= 0, "temporary file");
    close(fd);
    TIFF* tif = TIFFOpen(name, "w");
    Require(tif, "TIFFOpen");
    for (const TTiffPage& page : pages) {
        const TSamples& s = page.Samples;
        const bool alpha = s.Channels == 2 || s.Channels == 4;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.Width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.Height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.Channels);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.Bits);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.Channels <= 2 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, page.Orientation);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        if (alpha) {
            const uint16_t type = page.AssociatedAlpha ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &type);
        }
        const size_t sampleBytes = s.Bits > 8 ? 2 : 1, pixelBytes = sampleBytes * s.Channels;
        std::vector<uint8_t> raw(s.Values.size() * sampleBytes);
        for (size_t i = 0; i < s.Values.size(); ++i) {
            if (sampleBytes == 2) std::memcpy(&raw[2 * i], &s.Values[i], 2);
            else raw[i] = static_cast<uint8_t>(s.Values[i]);
        }
        if (page.Tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
            std::vector<uint8_t> tile(16 * 16 * pixelBytes);
            for (int ty = 0; ty < s.Height; ty += 16)
                for (int tx = 0; tx < s.Width; tx += 16) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int y = ty; y < std::min(ty + 16, s.Height); ++y)
                        for (int x = tx; x < std::min(tx + 16, s.Width); ++x)
                            std::memcpy(&tile[((y - ty) * 16 + (x - tx)) * pixelBytes],
                                        &raw[(static_cast<size_t>(y) * s.Width + x) * pixelBytes], pixelBytes);
                    Require(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0) >= 0, "tile");
                }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
            for (int y = 0; y < s.Height; ++y)
                Require(TIFFWriteScanline(tif, &raw[static_cast<size_t>(y) * s.Width * pixelBytes], y, 0) >= 0, "row");
        }
        Require(TIFFWriteDirectory(tif), "directory");
    }
    TIFFClose(tif);
    std::ifstream in(name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(name);
    return bytes;
}

namespace {

// libjpeg's encoder (YCbCr, 2x2), a restart marker every restartRows rows of blocks.
std::vector<uint8_t> JpegOf(const TSamples& rgb, int restartRows) {
    std::vector<uint8_t> row(static_cast<size_t>(rgb.Width) * 3);
    return CompressWithLibjpeg(rgb.Width, rgb.Height, 3, JCS_RGB, 95, restartRows, [&](int y) {
        for (int x = 0; x < rgb.Width; ++x)
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<uint8_t>(rgb.At(x, y, c));
        return row.data();
    });
}

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

void WriteCmykTiff(const std::string& path, int width, int height, int bits, const uint16_t ink[4],
                   const std::vector<uint8_t>& profile) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    Require(tif, "TIFFOpen");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    if (!profile.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4 * (bits / 8));
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) {
            if (bits == 16) std::memcpy(&row[(4 * x + c) * 2], &ink[c], 2);
            else row[4 * x + c] = static_cast<uint8_t>(ink[c] >> 8);
        }
    for (int y = 0; y < height; ++y) Require(TIFFWriteScanline(tif, row.data(), y, 0) >= 0, "row");
    TIFFClose(tif);
}

std::vector<uint8_t> OldJpegTiffBytes(const TSamples& rgb, int rows, bool tiled) {
    const std::vector<uint8_t> jpeg = JpegOf(rgb, rows / 16);
    // The tables: everything up to the end of the scan's header.
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) at += 2 + (size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    const size_t tables = at + 2 + (size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    // The scan's data split at its restart markers.
    std::vector<std::vector<uint8_t>> parts(1);
    for (size_t i = tables; i + 1 < jpeg.size() && !(jpeg[i] == 0xFF && jpeg[i + 1] == 0xD9); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7) {
            parts.emplace_back();
            ++i;
            continue;
        }
        parts.back().push_back(jpeg[i]);
    }
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
    const uint32_t tablesAt = static_cast<uint32_t>(out.size());
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(tables));
    std::vector<uint32_t> offsets, lengths;
    for (const auto& part : parts) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        lengths.push_back(static_cast<uint32_t>(part.size()));
        out.insert(out.end(), part.begin(), part.end());
    }
    const uint32_t bits = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 3; ++i) Put(out, 8, 2);
    const uint32_t offsetList = static_cast<uint32_t>(out.size());
    for (uint32_t o : offsets) Put(out, o, 4);
    const uint32_t lengthList = static_cast<uint32_t>(out.size());
    for (uint32_t l : lengths) Put(out, l, 4);
    const uint32_t count = static_cast<uint32_t>(parts.size());
    struct TTag {
        uint16_t Tag, Type;
        uint32_t Count, Value;
    };
    std::vector<TTag> tags = {{256, 4, 1, static_cast<uint32_t>(rgb.Width)}, {257, 4, 1, static_cast<uint32_t>(rgb.Height)},
                              {258, 3, 3, bits}, {259, 3, 1, 6}, {262, 3, 1, 6}};
    const uint32_t offsetsValue = count == 1 ? offsets[0] : offsetList, lengthsValue = count == 1 ? lengths[0] : lengthList;
    if (!tiled) tags.push_back({273, 4, count, offsetsValue});
    tags.push_back({277, 3, 1, 3});
    if (!tiled) tags.insert(tags.end(), {{278, 4, 1, static_cast<uint32_t>(rows)}, {279, 4, count, lengthsValue}});
    tags.push_back({284, 3, 1, 1});
    if (tiled)
        tags.insert(tags.end(), {{322, 4, 1, static_cast<uint32_t>(rgb.Width)}, {323, 4, 1, static_cast<uint32_t>(rows)},
                                 {324, 4, count, offsetsValue}, {325, 4, count, lengthsValue}});
    const uint32_t blocksAcross = static_cast<uint32_t>((rgb.Width + 15) / 16);
    tags.insert(tags.end(), {{513, 4, 1, tablesAt}, {514, 4, 1, static_cast<uint32_t>(tables)},
                             {515, 3, 1, blocksAcross * static_cast<uint32_t>(rows / 16)}, {530, 3, 2, 2 | (2 << 16)}});
    if (out.size() & 1) out.push_back(0);
    const uint32_t directory = static_cast<uint32_t>(out.size());
    std::memcpy(&out[4], &directory, 4);  // little-endian machine
    Put(out, static_cast<uint32_t>(tags.size()), 2);
    for (const TTag& t : tags) {
        Put(out, t.Tag, 2);
        Put(out, t.Type, 2);
        Put(out, t.Count, 4);
        Put(out, t.Value, 4);
    }
    Put(out, 0, 4);
    return out;
}

std::vector<uint8_t> WebPBytes(const TSamples& rgba) {
    const std::vector<uint8_t> pixels = Bytes8(rgba);
    uint8_t* output = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(pixels.data(), rgba.Width, rgba.Height, rgba.Width * 4, &output);
    Require(size > 0, "WebP");
    std::vector<uint8_t> bytes(output, output + size);
    WebPFree(output);
    return bytes;
}

std::vector<uint8_t> AnimatedWebPBytes(const std::vector<TSamples>& frames) {
    WebPAnimEncoderOptions options;
    Require(WebPAnimEncoderOptionsInit(&options), "options");
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].Width, frames[0].Height, &options);
    Require(encoder, "animation encoder");
    int timestamp = 0;
    for (const TSamples& frame : frames) {
        const std::vector<uint8_t> pixels = Bytes8(frame);
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = frame.Width;
        picture.height = frame.Height;
        Require(WebPPictureImportRGBA(&picture, pixels.data(), frame.Width * 4), "import");
        WebPConfig config;
        WebPConfigInit(&config);
        config.lossless = 1;
        Require(WebPAnimEncoderAdd(encoder, &picture, timestamp, &config), "frame");
        WebPPictureFree(&picture);
        timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    Require(WebPAnimEncoderAssemble(encoder, &data), "assemble");
    std::vector<uint8_t> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

std::vector<uint8_t> HeifBytes(const TSamples& s, const char* compression, int orientation, int quality, const char* subsampling,
                               int thumbnailSide) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    const heif_compression_format format = std::string(compression) == "hevc" ? heif_compression_HEVC : heif_compression_AV1;
    Require(heif_context_get_encoder_for_format(context, format, &encoder).code == heif_error_Ok, "encoder");
    heif_encoder_set_lossy_quality(encoder, quality);
    const bool alpha = s.Channels == 4, deep = s.Bits > 8;
    if (format == heif_compression_AV1 || subsampling)
        heif_encoder_set_parameter_string(encoder, "chroma", subsampling ? subsampling : "420");
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* image = nullptr;
    Require(heif_image_create(s.Width, s.Height, heif_colorspace_RGB, chroma, &image).code == heif_error_Ok, "image");
    Require(heif_image_add_plane(image, heif_channel_interleaved, s.Width, s.Height, s.Bits).code == heif_error_Ok, "plane");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            for (int c = 0; c < s.Channels; ++c) {
                uint8_t* p = plane + static_cast<size_t>(y) * stride + (static_cast<size_t>(x) * s.Channels + c) * (deep ? 2 : 1);
                const uint16_t v = s.At(x, y, c);
                if (deep) std::memcpy(p, &v, 2);  // little-endian machine
                else *p = static_cast<uint8_t>(v);
            }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(orientation);
    heif_image_handle* handle = nullptr;
    Require(heif_context_encode_image(context, image, encoder, options, &handle).code == heif_error_Ok, "encode");
    if (thumbnailSide > 0)
        Require(heif_context_encode_thumbnail(context, image, handle, encoder, options, thumbnailSide, nullptr).code ==
                    heif_error_Ok,
                "thumbnail");
    heif_image_handle_release(handle);
    heif_encoding_options_free(options);
    std::vector<uint8_t> bytes;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* user) {
                           auto* out = static_cast<std::vector<uint8_t>*>(user);
                           out->insert(out->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
                       }};
    Require(heif_context_write(context, &writer, &bytes).code == heif_error_Ok, "write");
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

namespace {

using TAvifImagePtr = std::unique_ptr<avifImage, void (*)(avifImage*)>;

// The samples' rectangle as an AVIF image, converted by libavif.
TAvifImagePtr AvifCell(const TSamples& s, int x0, int y0, int width, int height, int darker, const TAvifOptions& o) {
    const bool alpha = s.Channels == 4 || s.Channels == 2;
    const avifPixelFormat format = o.Grey ? AVIF_PIXEL_FORMAT_YUV400 : o.Quality >= 100 ? AVIF_PIXEL_FORMAT_YUV444
                                                                                      : AVIF_PIXEL_FORMAT_YUV420;
    TAvifImagePtr image(avifImageCreate(width, height, o.Depth, format), avifImageDestroy);
    image->yuvRange = o.LimitedRange ? AVIF_RANGE_LIMITED : AVIF_RANGE_FULL;
    image->colorPrimaries = static_cast<avifColorPrimaries>(o.Primaries);
    image->transferCharacteristics = static_cast<avifTransferCharacteristics>(o.Transfer);
    image->matrixCoefficients = static_cast<avifMatrixCoefficients>(o.Matrix);
    image->alphaPremultiplied = o.Premultiplied ? AVIF_TRUE : AVIF_FALSE;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 16;
    rgb.alphaPremultiplied = AVIF_FALSE;  // libavif premultiplies when the image says so
    avifRGBImageAllocatePixels(&rgb);
    const long max = (1L << s.Bits) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto* out = reinterpret_cast<uint16_t*>(rgb.pixels + static_cast<size_t>(y) * rgb.rowBytes) + 4 * x;
            for (int c = 0; c < 4; ++c) {
                const bool isAlpha = c == 3;
                const int from = isAlpha ? s.Channels - 1 : (s.Channels <= 2 ? 0 : c);
                long v = (isAlpha && !alpha) ? max : s.At(x0 + x, y0 + y, from);
                if (!isAlpha) v = std::max(0L, v - darker * max / 8);
                out[c] = static_cast<uint16_t>(v * 65535 / max);
            }
        }
    if (!alpha) rgb.format = AVIF_RGB_FORMAT_RGBA, rgb.ignoreAlpha = AVIF_TRUE;
    Require(avifImageRGBToYUV(image.get(), &rgb) == AVIF_RESULT_OK, "RGB to YUV");
    avifRGBImageFreePixels(&rgb);
    if (o.QuarterTurns >= 0) image->transformFlags |= AVIF_TRANSFORM_IROT, image->irot.angle = static_cast<uint8_t>(o.QuarterTurns);
    if (o.Mirror >= 0) image->transformFlags |= AVIF_TRANSFORM_IMIR, image->imir.mode = static_cast<uint8_t>(o.Mirror);
    return image;
}

}  // namespace

std::vector<uint8_t> AvifBytes(const TSamples& s, const TAvifOptions& o) {
    std::unique_ptr<avifEncoder, void (*)(avifEncoder*)> encoder(avifEncoderCreate(), avifEncoderDestroy);
    encoder->speed = 9;
    const int quantizer = o.Quality >= 100 ? 0 : (100 - o.Quality) * 63 / 100;
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = 0;
    encoder->timescale = 10;
    const int cellWidth = s.Width / o.GridColumns, cellHeight = s.Height / o.GridRows;
    if (o.GridColumns * o.GridRows > 1) {
        std::vector<TAvifImagePtr> cells;
        std::vector<const avifImage*> pointers;
        for (int row = 0; row < o.GridRows; ++row)
            for (int column = 0; column < o.GridColumns; ++column) {
                cells.push_back(AvifCell(s, column * cellWidth, row * cellHeight, cellWidth, cellHeight, 0, o));
                pointers.push_back(cells.back().get());
            }
        Require(avifEncoderAddImageGrid(encoder.get(), o.GridColumns, o.GridRows, pointers.data(), AVIF_ADD_IMAGE_FLAG_SINGLE) ==
                    AVIF_RESULT_OK, "grid");
    } else {
        for (int frame = 0; frame < o.Frames; ++frame) {
            const TAvifImagePtr image = AvifCell(s, 0, 0, s.Width, s.Height, frame, o);
            if (!o.Exif.empty()) avifImageSetMetadataExif(image.get(), o.Exif.data(), o.Exif.size());
            if (!o.Xmp.empty())
                avifImageSetMetadataXMP(image.get(), reinterpret_cast<const uint8_t*>(o.Xmp.data()), o.Xmp.size());
            const avifAddImageFlags flags = o.Frames > 1 ? AVIF_ADD_IMAGE_FLAG_NONE : AVIF_ADD_IMAGE_FLAG_SINGLE;
            Require(avifEncoderAddImage(encoder.get(), image.get(), 1, flags) == AVIF_RESULT_OK, "frame");
        }
    }
    avifRWData out = AVIF_DATA_EMPTY;
    Require(avifEncoderFinish(encoder.get(), &out) == AVIF_RESULT_OK, "AVIF");
    std::vector<uint8_t> bytes(out.data, out.data + out.size);
    avifRWDataFree(&out);
    return bytes;
}

std::vector<uint8_t> WithFourCcRenamed(std::vector<uint8_t> file, const char* from, const char* to) {
    for (size_t i = 4; i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], from, 4) == 0) {
            std::memcpy(&file[i], to, 4);
            return file;
        }
    throw std::runtime_error(std::string("no box ") + from);
}

std::vector<uint8_t> WithReferencesReversed(std::vector<uint8_t> file, const char* type) {
    // In an 'iref' of version 0: the type, the item (2 bytes), the count (2), the items (2 each).
    for (size_t i = 4; i + 8 <= file.size(); ++i) {
        if (std::memcmp(&file[i], type, 4) != 0) continue;
        const size_t count = size_t{file[i + 6]} << 8 | file[i + 7];
        Require(i + 8 + 2 * count <= file.size(), "references");
        for (size_t a = 0, b = count - 1; a < b; ++a, --b) {
            std::swap(file[i + 8 + 2 * a], file[i + 8 + 2 * b]);
            std::swap(file[i + 9 + 2 * a], file[i + 9 + 2 * b]);
        }
        return file;
    }
    throw std::runtime_error(std::string("no references ") + type);
}

namespace {

void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 24; i >= 0; i -= 8) v.push_back(static_cast<uint8_t>(x >> i));
}

// A box: its size, its type, its content.
std::vector<uint8_t> Box(const char* type, const std::vector<uint8_t>& content, int fullVersion = -1, uint32_t flags = 0) {
    std::vector<uint8_t> box = {0, 0, 0, 0};
    box.insert(box.end(), type, type + 4);
    if (fullVersion >= 0) Put32(box, static_cast<uint32_t>(fullVersion) << 24 | flags);
    box.insert(box.end(), content.begin(), content.end());
    const uint32_t size = static_cast<uint32_t>(box.size());
    for (int i = 0; i < 4; ++i) box[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    return box;
}

// The first box of a type within a file, whole; its content alone with content.
std::vector<uint8_t> FindBox(const std::vector<uint8_t>& file, const char* type, bool content = false) {
    for (size_t i = 4; i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], type, 4) == 0) {
            const size_t size = size_t{file[i - 4]} << 24 | size_t{file[i - 3]} << 16 | size_t{file[i - 2]} << 8 | file[i - 1];
            Require(size >= 8 && i - 4 + size <= file.size(), "box");
            return std::vector<uint8_t>(file.begin() + static_cast<long>(i - 4 + (content ? 8 : 0)),
                                        file.begin() + static_cast<long>(i - 4 + size));
        }
    throw std::runtime_error(std::string("no box ") + type);
}

}  // namespace

std::vector<uint8_t> HeifGridBytes(const TSamples& s, int cell, int quality) {
    const int columns = s.Width / cell, rows = s.Height / cell, count = columns * rows;
    std::vector<std::vector<uint8_t>> data;
    std::vector<uint8_t> hvcC, colr;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            TSamples part = MakeSamples(cell, cell, s.Channels, s.Bits);
            for (int y = 0; y < cell; ++y)
                for (int x = 0; x < cell; ++x)
                    for (int k = 0; k < s.Channels; ++k) part.At(x, y, k) = s.At(c * cell + x, r * cell + y, k);
            const std::vector<uint8_t> file = HeifBytes(part, "hevc", 1, quality, "420");
            if (hvcC.empty()) {
                hvcC = FindBox(file, "hvcC");
                try {  // the colours as code points, where libheif wrote them into the container
                    colr = FindBox(file, "colr");
                } catch (const std::runtime_error&) {
                }
            }
            data.push_back(FindBox(file, "mdat", true));
        }
    // Items: 1 the grid, 2 .. count + 1 the cells. Properties: 1 hvcC, 2 the cell's ispe, 3 the grid's ispe, 4 colr.
    auto u16 = [](std::vector<uint8_t>& v, uint32_t x) { v.push_back(static_cast<uint8_t>(x >> 8)), v.push_back(static_cast<uint8_t>(x)); };
    std::vector<uint8_t> grid = {0, 0, static_cast<uint8_t>(rows - 1), static_cast<uint8_t>(columns - 1)};
    u16(grid, static_cast<uint32_t>(s.Width));
    u16(grid, static_cast<uint32_t>(s.Height));
    std::vector<uint8_t> infos, references, associations;
    u16(infos, static_cast<uint32_t>(count + 1));
    u16(references, 1);
    u16(references, static_cast<uint32_t>(count));
    Put32(associations, static_cast<uint32_t>(count + 1));
    for (int item = 1; item <= count + 1; ++item) {
        std::vector<uint8_t> info;
        u16(info, static_cast<uint32_t>(item));
        u16(info, 0);
        info.insert(info.end(), item == 1 ? "grid" : "hvc1", (item == 1 ? "grid" : "hvc1") + 4);
        info.push_back(0);
        const std::vector<uint8_t> infe = Box("infe", info, 2, item == 1 ? 0 : 1);  // the cells hidden
        infos.insert(infos.end(), infe.begin(), infe.end());
        if (item > 1) u16(references, static_cast<uint32_t>(item));
        u16(associations, static_cast<uint32_t>(item));
        if (item == 1 && colr.empty()) associations.insert(associations.end(), {1, 3});
        else if (item == 1) associations.insert(associations.end(), {2, 3, 4});
        else associations.insert(associations.end(), {2, 0x81, 2});
    }
    auto ispe = [&](int w, int h) {
        std::vector<uint8_t> v;
        Put32(v, static_cast<uint32_t>(w));
        Put32(v, static_cast<uint32_t>(h));
        return Box("ispe", v, 0);
    };
    std::vector<uint8_t> properties = hvcC, cellSize = ispe(cell, cell), gridSize = ispe(s.Width, s.Height);
    for (const auto* p : {&cellSize, &gridSize, &colr}) properties.insert(properties.end(), p->begin(), p->end());
    std::vector<uint8_t> iprp = Box("ipco", properties), ipma = Box("ipma", associations, 0);
    iprp.insert(iprp.end(), ipma.begin(), ipma.end());
    iprp = Box("iprp", iprp);
    std::vector<uint8_t> pitm;
    u16(pitm, 1);
    const std::vector<uint8_t> dimg = Box("dimg", references);
    // The locations point into the data box that follows the description.
    auto describe = [&](uint32_t dataAt) {
        std::vector<uint8_t> locations = {0x44, 0x00};
        u16(locations, static_cast<uint32_t>(count + 1));
        uint32_t at = dataAt;
        for (int item = 1; item <= count + 1; ++item) {
            const uint32_t length = static_cast<uint32_t>(item == 1 ? grid.size() : data[item - 2].size());
            u16(locations, static_cast<uint32_t>(item));
            u16(locations, 0);
            u16(locations, 1);
            Put32(locations, at);
            Put32(locations, length);
            at += length;
        }
        std::vector<uint8_t> meta = Box("hdlr", {0, 0, 0, 0, 'p', 'i', 'c', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0);
        for (const std::vector<uint8_t>& b : {Box("pitm", pitm, 0), Box("iloc", locations, 0), Box("iinf", infos, 0),
                                              Box("iref", dimg, 0), iprp})
            meta.insert(meta.end(), b.begin(), b.end());
        std::vector<uint8_t> file = Box("ftyp", {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'});
        const std::vector<uint8_t> metaBox = Box("meta", meta, 0);
        file.insert(file.end(), metaBox.begin(), metaBox.end());
        return file;
    };
    std::vector<uint8_t> file = describe(0);
    file = describe(static_cast<uint32_t>(file.size() + 8));
    std::vector<uint8_t> payload = grid;
    for (const auto& d : data) payload.insert(payload.end(), d.begin(), d.end());
    const std::vector<uint8_t> mdat = Box("mdat", payload);
    file.insert(file.end(), mdat.begin(), mdat.end());
    return file;
}

std::vector<uint8_t> JpegXlBytes(const TSamples& s, int orientation) {
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    const bool alpha = s.Channels == 2 || s.Channels == 4, grey = s.Channels <= 2;
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<uint32_t>(s.Width);
    info.ysize = static_cast<uint32_t>(s.Height);
    info.bits_per_sample = static_cast<uint32_t>(s.Bits);
    info.num_color_channels = grey ? 1 : 3;
    info.alpha_bits = alpha ? static_cast<uint32_t>(s.Bits) : 0;
    info.num_extra_channels = alpha ? 1 : 0;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = static_cast<JxlOrientation>(orientation);
    Require(JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS, "basic info");
    if (alpha) {
        JxlExtraChannelInfo extra;
        JxlEncoderInitExtraChannelInfo(JXL_CHANNEL_ALPHA, &extra);
        extra.bits_per_sample = static_cast<uint32_t>(s.Bits);
        Require(JxlEncoderSetExtraChannelInfo(encoder, 0, &extra) == JXL_ENC_SUCCESS, "alpha");
    }
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, grey ? JXL_TRUE : JXL_FALSE);
    Require(JxlEncoderSetColorEncoding(encoder, &colour) == JXL_ENC_SUCCESS, "colour");
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    const bool deep = s.Bits > 8;
    const JxlPixelFormat format{static_cast<uint32_t>(s.Channels), deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                                JXL_NATIVE_ENDIAN, 0};
    std::vector<uint8_t> pixels;
    if (deep) {
        pixels.resize(s.Values.size() * 2);
        std::memcpy(pixels.data(), s.Values.data(), pixels.size());
    } else {
        pixels = Bytes8(s);
    }
    Require(JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) == JXL_ENC_SUCCESS, "frame");
    JxlEncoderCloseInput(encoder);
    std::vector<uint8_t> out(1 << 16);
    size_t written = 0;
    for (;;) {
        uint8_t* next = out.data() + written;
        size_t available = out.size() - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
        written = static_cast<size_t>(next - out.data());
        if (status == JXL_ENC_SUCCESS) break;
        Require(status == JXL_ENC_NEED_MORE_OUTPUT, "output");
        out.resize(out.size() * 2);
    }
    out.resize(written);
    JxlEncoderDestroy(encoder);
    return out;
}

// Headers announcing a picture of side x side and nothing more.
std::vector<uint8_t> TiffAnnouncing(uint32_t side) {
    std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](uint16_t v) { b.push_back(static_cast<uint8_t>(v)); b.push_back(static_cast<uint8_t>(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(static_cast<uint16_t>(v)); u16(static_cast<uint16_t>(v >> 16)); };
    const std::pair<uint16_t, uint32_t> entries[] = {{256, side}, {257, side}, {258, 8}, {259, 1}, {262, 1},
                                                      {273, 200}, {277, 1}, {278, side}, {279, side * side}};
    u16(9);
    for (const auto& [tag, value] : entries) {
        u16(tag);
        u16(tag == 258 || tag == 259 || tag == 262 || tag == 277 ? 3 : 4);  // SHORT or LONG
        u32(1);
        u32(value);
    }
    u32(0);
    b.resize(400, 0);
    return b;
}

std::vector<uint8_t> WebPAnnouncing(uint32_t side) {
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0, 0x02, 0, 0, 0};
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k) b.push_back(static_cast<uint8_t>((side - 1) >> (8 * k)));
    return b;
}

// A small AVIF whose 'ispe' box claims another size.
std::vector<uint8_t> AvifAnnouncing(uint32_t side) {
    std::vector<uint8_t> b = HeifBytes(MakeSamples(16, 16, 3, 8), "av1", 1);
    for (size_t i = 0; i + 16 < b.size(); ++i)
        if (b[i] == 'i' && b[i + 1] == 's' && b[i + 2] == 'p' && b[i + 3] == 'e')
            for (int k = 0; k < 2; ++k)
                for (int j = 0; j < 4; ++j) b[i + 8 + 4 * k + j] = static_cast<uint8_t>(side >> (24 - 8 * j));
    return b;
}

// A bare JPEG XL codestream header: size side x side, default metadata.
std::vector<uint8_t> JpegXlAnnouncing(uint32_t side) {
    const uint64_t bits = (uint64_t{2} << 1) | (uint64_t{side - 1} << 3) | (uint64_t{1} << 21) | (uint64_t{1} << 24);
    std::vector<uint8_t> b = {0xFF, 0x0A};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    b.resize(64, 0);
    return b;
}

// A small AVIF whose data box announces bytes bytes: the file ends long before.
std::vector<uint8_t> AvifWithLongData(uint32_t bytes) {
    std::vector<uint8_t> b = HeifBytes(MakeSamples(16, 16, 3, 8), "av1", 1);
    for (size_t i = 4; i + 4 <= b.size(); ++i)
        if (b[i] == 'm' && b[i + 1] == 'd' && b[i + 2] == 'a' && b[i + 3] == 't')
            for (int j = 0; j < 4; ++j) b[i - 4 + j] = static_cast<uint8_t>(bytes >> (24 - 8 * j));
    return b;
}

}  // namespace quorix::test
