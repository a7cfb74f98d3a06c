#include "Jpeg2000Bitmap.h"

#include "Jp2Boxes.h"
#include "StreamBytes.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>

namespace quorix {

namespace {

const uint8_t Jp2Signature[8] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
const uint8_t CodestreamSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};

[[noreturn]] void DecodingFailed() { throw EJpeg2000Error("JPEG 2000 image decoding failed"); }
[[noreturn]] void EncodingFailed() { throw EJpeg2000Error("JPEG 2000 image encoding failed"); }

// ---------------------------------------------------------------- memory streams

struct TMemory {
    const uint8_t* Data = nullptr;  // input
    std::vector<uint8_t>* Out = nullptr;  // output
    size_t Size = 0;
    size_t Position = 0;
    size_t Furthest = 0;  // the end of what the decoder has read
};

OPJ_SIZE_T ReadMemory(void* buffer, OPJ_SIZE_T bytes, void* user) {
    auto* m = static_cast<TMemory*>(user);
    if (m->Position >= m->Size) return static_cast<OPJ_SIZE_T>(-1);
    size_t n = std::min<size_t>(bytes, m->Size - m->Position);
    std::memcpy(buffer, m->Data + m->Position, n);
    m->Position += n;
    m->Furthest = std::max(m->Furthest, m->Position);
    return n;
}

OPJ_SIZE_T WriteMemory(void* buffer, OPJ_SIZE_T bytes, void* user) {
    auto* m = static_cast<TMemory*>(user);
    if (m->Out->size() < m->Position + bytes) m->Out->resize(m->Position + bytes);
    std::memcpy(m->Out->data() + m->Position, buffer, bytes);
    m->Position += bytes;
    return bytes;
}

OPJ_OFF_T SkipMemory(OPJ_OFF_T bytes, void* user) {
    auto* m = static_cast<TMemory*>(user);
    size_t limit = m->Out ? SIZE_MAX : m->Size;
    if (bytes < 0 || static_cast<size_t>(bytes) > limit - m->Position) return -1;
    m->Position += static_cast<size_t>(bytes);
    if (m->Out && m->Out->size() < m->Position) m->Out->resize(m->Position);
    return bytes;
}

OPJ_BOOL SeekMemory(OPJ_OFF_T position, void* user) {
    auto* m = static_cast<TMemory*>(user);
    if (position < 0 || (!m->Out && static_cast<size_t>(position) > m->Size)) return OPJ_FALSE;
    m->Position = static_cast<size_t>(position);
    if (m->Out && m->Out->size() < m->Position) m->Out->resize(m->Position);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

struct TCodecFree { void operator()(opj_codec_t* c) const { opj_destroy_codec(c); } };
struct TStreamFree { void operator()(opj_stream_t* s) const { opj_stream_destroy(s); } };
struct TImageFree { void operator()(opj_image_t* i) const { opj_image_destroy(i); } };
using TCodec = std::unique_ptr<opj_codec_t, TCodecFree>;
using TStream = std::unique_ptr<opj_stream_t, TStreamFree>;
using TImage = std::unique_ptr<opj_image_t, TImageFree>;

void Detach(opj_codec_t* codec) {
    opj_set_info_handler(codec, Quiet, nullptr);
    opj_set_warning_handler(codec, Quiet, nullptr);
    opj_set_error_handler(codec, Quiet, nullptr);
}

TStream MemoryStream(TMemory& memory, bool input) {
    TStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, input ? OPJ_TRUE : OPJ_FALSE));
    if (!stream) throw std::bad_alloc();
    opj_stream_set_user_data(stream.get(), &memory, nullptr);
    if (input) {
        opj_stream_set_user_data_length(stream.get(), memory.Size);
        opj_stream_set_read_function(stream.get(), ReadMemory);
    } else {
        opj_stream_set_write_function(stream.get(), WriteMemory);
    }
    opj_stream_set_skip_function(stream.get(), SkipMemory);
    opj_stream_set_seek_function(stream.get(), SeekMemory);
    return stream;
}

// ---------------------------------------------------------------- roles

TJp2ColourSpace ColourSpaceOf(const TJp2Header& header) {
    if (!header.HasColourSpace) return TJp2ColourSpace::None;
    switch (header.EnumeratedColourSpace) {
    case 16: return TJp2ColourSpace::Srgb;
    case 17: return TJp2ColourSpace::Grey;
    case 18: return TJp2ColourSpace::Sycc;
    default: return TJp2ColourSpace::None;
    }
}

OPJ_COMPONENT_TYPE RoleOf(const TJp2ChannelDef& def, TJp2ColourSpace space) {
    if (def.Type == 1 && def.Association == 0) return COMPTYPE_OPACITY;
    if (def.Type != 0 || def.Association < 1 || def.Association > 3) return COMPTYPE_UNKNOWN;
    int a = def.Association - 1;
    switch (space) {
    case TJp2ColourSpace::Srgb: return static_cast<OPJ_COMPONENT_TYPE>(COMPTYPE_R + a);
    case TJp2ColourSpace::Grey: return a == 0 ? COMPTYPE_Y : COMPTYPE_UNKNOWN;
    case TJp2ColourSpace::Sycc: return static_cast<OPJ_COMPONENT_TYPE>(COMPTYPE_Y + a);
    case TJp2ColourSpace::None: break;
    }
    return COMPTYPE_UNKNOWN;
}

// The roles of the components in the order OpenJPEG returns them: it moves
// each colour channel to the index of its association as it applies the
// channel definitions, and the roles have to follow the same moves.
std::vector<OPJ_COMPONENT_TYPE> ReturnedRoles(const TJp2Header& header, int components) {
    TJp2ColourSpace space = ColourSpaceOf(header);
    std::vector<OPJ_COMPONENT_TYPE> original(static_cast<size_t>(components), COMPTYPE_UNKNOWN);
    for (const TJp2ChannelDef& def : header.Channels)
        if (def.Channel < components) original[def.Channel] = RoleOf(def, space);
    std::vector<int> stored(static_cast<size_t>(components));  // stored[k]: original index now at k
    for (int k = 0; k < components; ++k) stored[k] = k;
    std::vector<TJp2ChannelDef> defs = header.Channels;
    for (size_t i = 0; i < defs.size(); ++i) {
        const int cn = defs[i].Channel, asoc = defs[i].Association;
        if (cn >= components || asoc == 0 || asoc == 65535) continue;
        const int acn = asoc - 1;
        if (acn >= components || cn == acn || defs[i].Type != 0) continue;
        std::swap(stored[cn], stored[acn]);
        for (size_t j = i + 1; j < defs.size(); ++j) {
            if (defs[j].Channel == cn) defs[j].Channel = static_cast<uint16_t>(acn);
            else if (defs[j].Channel == acn) defs[j].Channel = static_cast<uint16_t>(cn);
        }
    }
    std::vector<OPJ_COMPONENT_TYPE> roles(static_cast<size_t>(components));
    for (int k = 0; k < components; ++k) roles[k] = original[stored[k]];
    return roles;
}

// ---------------------------------------------------------------- pixels

uint8_t SampleToByte(int32_t sample, const TChannelInfo& info, uint32_t precision) {
    int64_t v = static_cast<int64_t>(sample) + info.Shift;
    if (precision == 8) return static_cast<uint8_t>(v & 0xFF);
    return static_cast<uint8_t>((v * 255 / info.MaxValue) & 0xFF);
}

void CopyComponent(const opj_image_comp_t& comp, const TChannelInfo& info, TBitmap& bitmap, int pixelBytes) {
    const int width = bitmap.Width(), height = bitmap.Height();
    const uint32_t dx = std::max<uint32_t>(comp.dx, 1), dy = std::max<uint32_t>(comp.dy, 1);
    for (uint32_t r = 0; r < comp.h; ++r) {
        const uint64_t top = static_cast<uint64_t>(r) * dy;
        if (top >= static_cast<uint64_t>(height)) break;
        for (uint32_t k = 0; k < comp.w; ++k) {
            const uint64_t left = static_cast<uint64_t>(k) * dx;
            if (left >= static_cast<uint64_t>(width)) break;
            const uint8_t byte = SampleToByte(comp.data[static_cast<size_t>(r) * comp.w + k], info, comp.prec);
            // A subsampled sample is repeated over its dx x dy block, up to the edges.
            for (uint64_t y = top; y < top + dy && y < static_cast<uint64_t>(height); ++y) {
                uint8_t* row = bitmap.ScanLine(static_cast<int>(y));
                for (uint64_t x = left; x < left + dx && x < static_cast<uint64_t>(width); ++x)
                    row[x * pixelBytes + info.DestOffset] = byte;
            }
        }
    }
}

uint8_t ClampRound(long double v) {
    long double r = std::nearbyint(v);  // ties to even
    return static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
}

void SyccToRgb(TBitmap& bitmap, int pixelBytes) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, p += pixelBytes) {
            long double luma = p[2], cb = p[1] - 128.0L, cr = p[0] - 128.0L;
            p[2] = ClampRound(luma + 1.402L * cr);
            p[1] = ClampRound(luma - 0.34414L * cb - 0.71414L * cr);
            p[0] = ClampRound(luma + 1.772L * cb);
        }
    }
}

std::vector<TPaletteEntry> GreyPalette() {
    std::vector<TPaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
    return palette;
}

TBitmap BitmapFromImage(const opj_image_t& image, const std::vector<OPJ_COMPONENT_TYPE>& roles, TJp2ColourSpace space) {
    const int n = static_cast<int>(image.numcomps);
    const int used = n == 3 ? 3 : n == 4 ? 4 : 1;
    TBitmap bitmap;
    bitmap.SetPixelFormat(used == 3 ? TPixelFormat::pf24bit : used == 4 ? TPixelFormat::pf32bit : TPixelFormat::pf8bit);
    bitmap.SetSize(static_cast<int>(image.x1 - image.x0), static_cast<int>(image.y1 - image.y0));
    if (used == 1) bitmap.SetPalette(GreyPalette());
    for (int i = 0; i < used; ++i) {
        const opj_image_comp_t& comp = image.comps[i];
        if (!comp.data || comp.prec < 1 || comp.prec > 31) DecodingFailed();
        TChannelInfo info;
        info.CompType = roles[i];
        info.MaxValue = static_cast<int32_t>((int64_t{1} << comp.prec) - 1);
        info.Shift = comp.sgnd ? static_cast<int32_t>(int64_t{1} << (comp.prec - 1)) : 0;
        info.DestOffset = ChannelDestOffset(roles[i], i, used, space);
        if (info.DestOffset < 0 || info.DestOffset >= used) continue;  // no place in the pixel
        CopyComponent(comp, info, bitmap, used);
    }
    if (space == TJp2ColourSpace::Sycc && used >= 3) SyccToRgb(bitmap, used);
    return bitmap;
}

// ---------------------------------------------------------------- decoding

struct TDecoded {
    TImage Image;
    size_t Consumed = 0;
};

TDecoded Decode(const std::vector<uint8_t>& bytes, bool jp2, const TGraphic& owner) {
    TMemory memory;
    memory.Data = bytes.data();
    memory.Size = bytes.size();
    TDecoded result;
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    TCodec codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) DecodingFailed();
    Detach(codec.get());
    TStream stream = MemoryStream(memory, true);
    opj_image_t* raw = nullptr;
    bool ok = opj_setup_decoder(codec.get(), &parameters) && opj_read_header(stream.get(), codec.get(), &raw);
    result.Image.reset(raw);
    // A picture beyond the decoder limit is refused before its pixels exist.
    if (ok) {
        int64_t w = static_cast<int64_t>(raw->x1) - raw->x0, h = static_cast<int64_t>(raw->y1) - raw->y0;
        ok = w > 0 && h > 0 && raw->numcomps > 0;
        if (ok) owner.CheckHeader(w, h);
    }
    ok = ok && opj_decode(codec.get(), stream.get(), raw) && opj_end_decompress(codec.get(), stream.get());
    result.Consumed = memory.Furthest;
    if (!ok) result.Image.reset();
    return result;
}

}  // namespace

int32_t ChannelDestOffset(OPJ_COMPONENT_TYPE role, int index, int pixelBytes, TJp2ColourSpace space) {
    switch (role) {
    case COMPTYPE_UNKNOWN:
        // Colour components in reverse byte order; a fourth one is the alpha byte.
        if (pixelBytes == 4) return index < 3 ? 2 - index : 3;
        return pixelBytes - 1 - index;
    case COMPTYPE_R: return 2;
    case COMPTYPE_G:
    case COMPTYPE_CB: return 1;
    case COMPTYPE_B:
    case COMPTYPE_CR: return 0;
    case COMPTYPE_Y: return space == TJp2ColourSpace::Sycc ? 2 : 0;
    case COMPTYPE_OPACITY: return 3;
    }
    return -1;
}

float Jpeg2000Ratio(int quality, int components, int64_t pixels) {
    const float n = static_cast<float>(pixels * components);
    const float k = 100.0f / static_cast<float>((115 - quality) * (115 - quality));
    const float target = n * k + 550.0f + 142.0f * static_cast<float>(components - 1);
    return 1.0f / (target / n);
}

void TJpeg2000Bitmap::LoadFromStream(std::istream& stream) {
    const std::streampos start = stream.tellg();
    uint8_t head[8];
    stream.read(reinterpret_cast<char*>(head), 8);
    const std::streamsize got = stream.gcount();
    stream.clear();
    stream.seekg(start);
    const bool jp2 = got == 8 && std::memcmp(head, Jp2Signature, 8) == 0;
    if (!jp2 && !(got >= 4 && std::memcmp(head, CodestreamSignature, 4) == 0))
        throw EJpeg2000Error("Unknown JPEG 2000 file type");

    std::vector<uint8_t> bytes = ReadAllBytes(stream);
    TDecoded decoded = Decode(bytes, jp2, *this);
    stream.clear();
    stream.seekg(start + static_cast<std::streamoff>(decoded.Consumed));
    if (!decoded.Image) DecodingFailed();

    const opj_image_t& image = *decoded.Image;
    TJp2Header header = jp2 ? ReadJp2Header(bytes.data(), bytes.size()) : TJp2Header();
    std::vector<OPJ_COMPONENT_TYPE> roles = ReturnedRoles(header, static_cast<int>(image.numcomps));
    TBitmap bitmap = BitmapFromImage(image, roles, ColourSpaceOf(header));
    Swap(bitmap);
}

namespace {

TImage ImageForSaving(const TBitmap& source, int components) {
    opj_image_cmptparm_t parameters[4];
    std::memset(parameters, 0, sizeof parameters);
    for (int i = 0; i < components; ++i) {
        parameters[i].dx = parameters[i].dy = 1;
        parameters[i].w = static_cast<OPJ_UINT32>(source.Width());
        parameters[i].h = static_cast<OPJ_UINT32>(source.Height());
        parameters[i].prec = 8;
        parameters[i].sgnd = 0;
    }
    TImage image(opj_image_create(static_cast<OPJ_UINT32>(components), parameters, OPJ_CLRSPC_SRGB));
    if (!image) throw EJpeg2000Error("Failed to create JPEG 2000 image struct for saving");
    image->x0 = image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(source.Width());
    image->y1 = static_cast<OPJ_UINT32>(source.Height());
    static const int bytes[4] = {2, 1, 0, 3};  // red, green, blue, opacity
    const int step = source.BitsPerPixel() / 8;
    for (int i = 0; i < components; ++i) {
        OPJ_INT32* out = image->comps[i].data;
        for (int y = 0; y < source.Height(); ++y) {
            const uint8_t* row = source.ScanLine(y);
            for (int x = 0; x < source.Width(); ++x) *out++ = row[x * step + bytes[i]];
        }
    }
    return image;
}

// Six resolution levels, fewer where the picture is too small to hold them
// (the encoder would refuse it).
int ResolutionLevels(int width, int height) {
    int levels = 1;
    while (levels < 6 && (1 << levels) <= std::min(width, height)) ++levels;
    return levels;
}

}  // namespace

// The size marker of the codestream (inside a JP2 file, after its first boxes).
bool TJpeg2000Bitmap::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    const uint8_t* end = head + size;
    const uint8_t* siz = std::search(head, end, CodestreamSignature, CodestreamSignature + 4);
    if (end - siz < 42) return false;
    auto big = [](const uint8_t* p) { return (uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; };
    peek.Width = int64_t{big(siz + 8)} - big(siz + 16);
    peek.Height = int64_t{big(siz + 12)} - big(siz + 20);
    // OpenJPEG holds every component as 32-bit samples beside the bitmap.
    peek.BytesPerPixel = 4 * ((siz[40] << 8) | siz[41]) + 4;
    return peek.Width > 0 && peek.Height > 0;
}

void TJpeg2000Bitmap::SaveToStream(std::ostream& stream) {
    TBitmap converted;
    const TBitmap* source = this;
    if (BitsPerPixel() != 24 && BitsPerPixel() != 32) {
        converted = *this;
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
    }
    if (source->Empty()) EncodingFailed();
    const int components = source->BitsPerPixel() == 32 ? 4 : 3;
    TImage image = ImageForSaving(*source, components);

    TCodec codec(opj_create_compress(OPJ_CODEC_JP2));
    if (!codec) EncodingFailed();
    Detach(codec.get());
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.cod_format = 1;  // JP2
    parameters.numresolution = ResolutionLevels(source->Width(), source->Height());
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    parameters.tcp_rates[0] = LosslessCompression
        ? 0.0f
        : Jpeg2000Ratio(CompressionQuality, components, static_cast<int64_t>(source->Width()) * source->Height());

    std::vector<uint8_t> output;
    TMemory memory;
    memory.Out = &output;
    TStream out = MemoryStream(memory, false);
    bool ok = opj_setup_encoder(codec.get(), &parameters, image.get()) &&
              opj_start_compress(codec.get(), image.get(), out.get()) && opj_encode(codec.get(), out.get()) &&
              opj_end_compress(codec.get(), out.get());
    if (!ok) EncodingFailed();
    output.resize(memory.Position);
    std::vector<TJp2ChannelDef> channels = {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}};
    if (components == 4) channels.push_back({3, 1, 0});
    std::vector<uint8_t> file = WithChannelDefinitions(output, channels);
    WriteAllBytes(stream, file.data(), file.size());
}

}  // namespace quorix
