#include "Bmp.h"

#include "QuorixError.h"
#include "StreamBytes.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <vector>

namespace quorix {

namespace {

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

}  // namespace

struct TBmpInfo {
    int32_t Width = 0;
    int32_t Height = 0;  // always positive here
    bool TopDown = false;
    int Bits = 0;
    uint32_t Compression = BI_RGB;
    uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    std::vector<TPaletteEntry> Palette;
    size_t DataOffset = 0;
};

namespace {

// A channel mask as a shift and a width, to bring any field to 8 bits.
struct TField {
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;
    explicit TField(uint32_t mask) : Mask(mask) {
        if (!mask) return;
        while (!((mask >> Shift) & 1)) ++Shift;
        while (Shift + Bits < 32 && ((mask >> (Shift + Bits)) & 1)) ++Bits;
    }
    uint8_t Extract(uint32_t pixel) const {
        if (!Mask) return 0;
        // Scaled to 0..255 and rounded, for fields wider than 8 bits too
        // (an 11-bit field's 2047 is 255, its 1024 is 128).
        const uint64_t v = (pixel & Mask) >> Shift;
        const uint64_t top = (uint64_t{1} << Bits) - 1;
        return static_cast<uint8_t>((v * 255 + top / 2) / top);
    }
};

void ReadMasks(const uint8_t* data, size_t size, size_t offset, int count, TBmpInfo& info) {
    if (offset + 4 * static_cast<size_t>(count) > size) Invalid();
    for (int i = 0; i < count; ++i) info.Masks[i] = GetU32(data + offset + 4 * i);
}

// data holds the first size bytes of a file of fileSize bytes: enough for
// every header and palette.
TBmpInfo ReadInfo(const uint8_t* data, size_t size, size_t fileSize) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') Invalid();
    TBmpInfo info;
    uint32_t offBits = GetU32(data + 10);
    uint32_t headerSize = GetU32(data + 14);
    size_t paletteEntry = 4;
    int64_t height;
    uint32_t colorsUsed = 0;
    if (headerSize == 12) {
        info.Width = GetU16(data + 18);
        height = GetU16(data + 20);
        info.Bits = GetU16(data + 24);
        paletteEntry = 3;
    } else if (headerSize >= 40 && headerSize <= 4096 && 14 + static_cast<size_t>(headerSize) <= size) {
        info.Width = GetI32(data + 18);
        height = GetI32(data + 22);
        info.Bits = GetU16(data + 28);
        info.Compression = GetU32(data + 30);
        colorsUsed = GetU32(data + 46);
    } else {
        Invalid();
    }
    size_t paletteOffset = 14 + static_cast<size_t>(headerSize);
    if (info.Compression == BI_BITFIELDS || info.Compression == BI_ALPHABITFIELDS) {
        int count = info.Compression == BI_ALPHABITFIELDS ? 4 : 3;
        if (headerSize >= 52) {
            ReadMasks(data, size, 54, headerSize >= 56 ? 4 : count, info);
        } else {
            ReadMasks(data, size, paletteOffset, count, info);
            paletteOffset += 4 * static_cast<size_t>(count);
        }
    }
    info.TopDown = height < 0;
    if (height < 0) height = -height;
    if (info.Width <= 0 || height <= 0 || height > INT32_MAX) Invalid();
    info.Height = static_cast<int32_t>(height);

    if (info.Bits <= 8) {
        if (info.Bits != 1 && info.Bits != 4 && info.Bits != 8) Invalid();
        size_t count = colorsUsed ? colorsUsed : (1u << info.Bits);
        if (count > 256) count = 256;
        if (paletteOffset + count * paletteEntry > size) Invalid();
        info.Palette.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = data + paletteOffset + i * paletteEntry;
            info.Palette[i] = {p[0], p[1], p[2], 0};
        }
        paletteOffset += count * paletteEntry;
    } else if (info.Bits != 16 && info.Bits != 24 && info.Bits != 32) {
        Invalid();
    }
    info.DataOffset = offBits >= paletteOffset && offBits < fileSize ? offBits : paletteOffset;
    return info;
}

int TargetRow(const TBmpInfo& info, int stored) {
    return info.TopDown ? stored : info.Height - 1 - stored;
}

}  // namespace

// The stored rows in file order, from memory or read from a stream one at a
// time, so an uncompressed file is never held whole beside its pixels.
class TStoredRows {
public:
    TStoredRows(const uint8_t* data, size_t size, const TBmpInfo& info, size_t stride)
        : FData(data), FStream(nullptr), FStride(stride) {
        Check(size, info);
    }
    TStoredRows(std::istream& stream, size_t fileSize, const TBmpInfo& info, size_t stride)
        : FData(nullptr), FStream(&stream), FStride(stride), FRow(stride) {
        Check(fileSize, info);
        stream.clear();
        stream.seekg(static_cast<std::streamoff>(info.DataOffset));
    }
    // The next stored row: at least rowBytes bytes.
    const uint8_t* Next() {
        if (!FStream) return FData + FStride * FIndex++;
        FStream->read(reinterpret_cast<char*>(FRow.data()), static_cast<std::streamsize>(FRow.size()));
        if (static_cast<size_t>(FStream->gcount()) < FRowBytes) Invalid();
        return FRow.data();
    }

private:
    // Every row must be there before a pixel is allocated.
    void Check(size_t fileSize, const TBmpInfo& info) {
        FRowBytes = (static_cast<size_t>(info.Width) * info.Bits + 7) / 8;
        if (info.DataOffset > fileSize || FStride * (info.Height - 1) + FRowBytes > fileSize - info.DataOffset) Invalid();
        if (FData) FData += info.DataOffset;
    }

    const uint8_t* FData;
    std::istream* FStream;
    size_t FStride, FRowBytes = 0, FIndex = 0;
    std::vector<uint8_t> FRow;
};

namespace {

void ReadPlainRows(TStoredRows& stored, const TBmpInfo& info, TBitmap& bitmap) {
    size_t rowBytes = (static_cast<size_t>(info.Width) * info.Bits + 7) / 8;
    bitmap.SetPixelFormat(static_cast<TPixelFormat>(info.Bits));
    bitmap.SetSize(info.Width, info.Height);
    for (int y = 0; y < info.Height; ++y) std::memcpy(bitmap.ScanLine(TargetRow(info, y)), stored.Next(), rowBytes);
    bitmap.SetPalette(info.Palette);
}

void ReadFieldRows(TStoredRows& stored, const TBmpInfo& info, TBitmap& bitmap) {
    bool plain16 = info.Compression == BI_RGB;  // 16-bit without masks is 5-5-5
    TField red(plain16 ? 0x7C00 : info.Masks[0]), green(plain16 ? 0x03E0 : info.Masks[1]);
    TField blue(plain16 ? 0x001F : info.Masks[2]), alpha(plain16 ? 0 : info.Masks[3]);
    int step = info.Bits / 8;
    bool withAlpha = info.Bits == 32;
    bitmap.SetPixelFormat(withAlpha ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    bitmap.SetSize(info.Width, info.Height);
    int outStep = withAlpha ? 4 : 3;
    for (int y = 0; y < info.Height; ++y) {
        const uint8_t* src = stored.Next();
        uint8_t* out = bitmap.ScanLine(TargetRow(info, y));
        for (int x = 0; x < info.Width; ++x, src += step, out += outStep) {
            uint32_t pixel = step == 2 ? GetU16(src) : GetU32(src);
            out[0] = blue.Extract(pixel);
            out[1] = green.Extract(pixel);
            out[2] = red.Extract(pixel);
            if (withAlpha) out[3] = alpha.Extract(pixel);
        }
    }
}

// Run-length data into one index byte per pixel, rows from the bottom.
std::vector<uint8_t> DecodeRle(const uint8_t* data, size_t size, const TBmpInfo& info) {
    const int w = info.Width, h = info.Height;
    const bool four = info.Compression == BI_RLE4;
    std::vector<uint8_t> indices(static_cast<size_t>(w) * h, 0);
    int64_t x = 0, y = 0;
    auto put = [&](uint8_t v) {
        if (x < w && y < h) indices[static_cast<size_t>(y) * w + x] = v;
        ++x;
    };
    size_t p = info.DataOffset;
    for (;;) {
        if (p + 2 > size) {
            if (y >= h) break;  // every row was written; only the end marker is missing
            Invalid();
        }
        uint8_t count = data[p], value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k) put(four ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (p + 2 > size) Invalid();
            x += data[p];
            y += data[p + 1];
            p += 2;
        } else {
            size_t bytes = four ? (value + 1u) / 2 : value;
            if (p + bytes > size) Invalid();
            for (int k = 0; k < value; ++k)
                put(four ? ((k & 1) ? (data[p + k / 2] & 0x0F) : (data[p + k / 2] >> 4)) : data[p + k]);
            p += bytes + (bytes & 1);
        }
        if (y > h) break;
    }
    return indices;
}

void ReadRleRows(const uint8_t* data, size_t size, const TBmpInfo& info, TBitmap& bitmap) {
    if (info.TopDown) Invalid();
    std::vector<uint8_t> indices = DecodeRle(data, size, info);
    bitmap.SetPixelFormat(static_cast<TPixelFormat>(info.Bits));
    bitmap.SetSize(info.Width, info.Height);
    for (int y = 0; y < info.Height; ++y) {
        const uint8_t* src = indices.data() + static_cast<size_t>(y) * info.Width;
        uint8_t* out = bitmap.ScanLine(info.Height - 1 - y);
        if (info.Bits == 8) {
            std::memcpy(out, src, static_cast<size_t>(info.Width));
            continue;
        }
        for (int x = 0; x < info.Width; ++x)
            out[x / 2] = static_cast<uint8_t>((x & 1) ? (out[x / 2] | (src[x] & 0x0F)) : (src[x] << 4));
    }
    bitmap.SetPalette(info.Palette);
}

}  // namespace

void TBmpImage::LoadFromStream(std::istream& stream) {
    const std::streampos start = stream.tellg();
    stream.seekg(0, std::ios::end);
    const std::streampos end = stream.tellg();
    if (start < 0 || end < start || start != std::streampos(0)) {  // not a seekable file of its own
        stream.clear();
        stream.seekg(start);
        std::vector<uint8_t> bytes = ReadAllBytes(stream);
        LoadFromBytes(bytes.data(), bytes.size());
        return;
    }
    const size_t fileSize = static_cast<size_t>(end - start);
    // Every header and palette lies within the first few kilobytes.
    std::vector<uint8_t> head(std::min<size_t>(fileSize, 14 + 4096 + 16 + 1024));
    stream.seekg(0);
    stream.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (static_cast<size_t>(stream.gcount()) != head.size()) Invalid();
    const TBmpInfo info = ReadInfo(head.data(), head.size(), fileSize);
    CheckHeader(info.Width, info.Height);
    if (info.Compression == BI_RLE8 || info.Compression == BI_RLE4) {
        stream.clear();
        stream.seekg(0);
        std::vector<uint8_t> bytes = ReadAllBytes(stream);
        return Decode(bytes.data(), bytes.size(), info);
    }
    TStoredRows stored(stream, fileSize, info, TBitmap::StrideFor(info.Width, static_cast<TPixelFormat>(info.Bits)));
    Decode(stored, info);
}

bool TBmpImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    try {
        const TBmpInfo info = ReadInfo(head, size, SIZE_MAX);
        peek.Width = info.Width;
        peek.Height = info.Height;
        return true;
    } catch (const EInvalidGraphic&) {
        return false;
    }
}

void TBmpImage::LoadFromBytes(const uint8_t* data, size_t size) {
    const TBmpInfo info = ReadInfo(data, size, size);
    CheckHeader(info.Width, info.Height);
    if (info.Compression == BI_RLE8 || info.Compression == BI_RLE4) return Decode(data, size, info);
    TStoredRows stored(data, size, info, TBitmap::StrideFor(info.Width, static_cast<TPixelFormat>(info.Bits)));
    Decode(stored, info);
}

namespace {

void CheckDepth(const TBmpInfo& info) {
    switch (info.Compression) {
    case BI_RGB: return;
    case BI_RLE8:
    case BI_RLE4:
        if (info.Bits != (info.Compression == BI_RLE8 ? 8 : 4)) Invalid();
        return;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (info.Bits != 16 && info.Bits != 32) Invalid();
        return;
    default:
        Invalid();
    }
}

}  // namespace

void TBmpImage::Decode(TStoredRows& stored, const TBmpInfo& info) {
    CheckDepth(info);
    TBitmap bitmap;
    if (info.Bits == 16 || info.Compression == BI_BITFIELDS || info.Compression == BI_ALPHABITFIELDS)
        ReadFieldRows(stored, info, bitmap);
    else
        ReadPlainRows(stored, info, bitmap);
    Swap(bitmap);
}

void TBmpImage::Decode(const uint8_t* data, size_t size, const TBmpInfo& info) {
    CheckDepth(info);
    TBitmap bitmap;
    ReadRleRows(data, size, info, bitmap);
    Swap(bitmap);
}

void TBmpImage::SaveToStream(std::ostream& stream) {
    const int bits = BitsPerPixel();
    std::vector<TPaletteEntry> palette = Palette();
    if (bits <= 8 && palette.empty()) {
        int count = 1 << bits;
        for (int i = 0; i < count; ++i) {
            uint8_t v = static_cast<uint8_t>(i * 255 / (count - 1));
            palette.push_back({v, v, v, 0});
        }
    }
    const uint32_t paletteBytes = bits <= 8 ? 4 * static_cast<uint32_t>(palette.size()) : 0;
    const uint32_t imageBytes = static_cast<uint32_t>(ByteSize());
    const uint32_t offBits = 14 + 40 + paletteBytes;
    std::vector<uint8_t> header;
    header.reserve(offBits);
    header.push_back('B');
    header.push_back('M');
    PutU32(header, offBits + imageBytes);
    PutU32(header, 0);
    PutU32(header, offBits);
    PutU32(header, 40);
    PutU32(header, static_cast<uint32_t>(Width()));
    PutU32(header, static_cast<uint32_t>(Height()));
    PutU16(header, 1);
    PutU16(header, static_cast<uint16_t>(bits));
    PutU32(header, BI_RGB);
    PutU32(header, imageBytes);
    PutU32(header, 2835);  // 72 dots per inch
    PutU32(header, 2835);
    PutU32(header, bits <= 8 ? static_cast<uint32_t>(palette.size()) : 0);
    PutU32(header, 0);
    if (bits <= 8)
        for (const TPaletteEntry& c : palette) {
            header.push_back(c.Blue);
            header.push_back(c.Green);
            header.push_back(c.Red);
            header.push_back(0);
        }
    WriteAllBytes(stream, header.data(), header.size());
    for (int y = Height() - 1; y >= 0; --y) WriteAllBytes(stream, ScanLine(y), Stride());
}

}  // namespace quorix
