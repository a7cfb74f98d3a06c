#include "HostilePictures.h"

#include "Jpeg.h"
#include "Jpeg2000Bitmap.h"
#include "TestPictures.h"

#include <zlib.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>

namespace quorix::test {

namespace {

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutLittle(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
    PutBig32(out, static_cast<uint32_t>(body.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// Rows of zeros (filter byte and samples) deflated a row at a time.
std::vector<uint8_t> ZeroRows(uint32_t width, uint32_t height, int channels) {
    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("deflateInit");
    const std::vector<uint8_t> row(static_cast<size_t>(width) * static_cast<size_t>(channels) + 1, 0);
    std::vector<uint8_t> out, chunk(1 << 16);
    for (uint32_t y = 0; y <= height; ++y) {
        const bool last = y == height;
        z.next_in = const_cast<Bytef*>(row.data());
        z.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

size_t FindMarker(const std::vector<uint8_t>& data, uint8_t first, uint8_t second) {
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == first && data[i + 1] == second) return i;
    throw std::runtime_error("marker not found");
}

}  // namespace

std::vector<uint8_t> JpegWithScans(int scans) {
    TJPEGImage small;
    small.ProgressiveEncoding = true;
    small.Assign(MakeGradient(16, 16));
    small.Compress();
    std::vector<uint8_t> data = small.Data();
    // The first scan (DC, which decodes the same however often it comes) is
    // repeated right after itself.
    std::vector<size_t> starts;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == 0xDA) starts.push_back(i);
    const std::vector<uint8_t> first(data.begin() + static_cast<long>(starts[0]), data.begin() + static_cast<long>(starts[1]));
    std::vector<uint8_t> out(data.begin(), data.begin() + static_cast<long>(starts[1]));
    for (int n = static_cast<int>(starts.size()); n < scans; ++n) out.insert(out.end(), first.begin(), first.end());
    out.insert(out.end(), data.begin() + static_cast<long>(starts[1]), data.end());
    return out;
}

std::vector<uint8_t> PngAnnouncing(uint32_t width, uint32_t height, bool zeros, bool alpha) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.insert(header.end(), {8, uint8_t(alpha ? 6 : 2), 0, 0, 0});  // 8-bit RGB(A), not interlaced
    PngChunk(out, "IHDR", header);
    {  // without rows, one row of data: the reader stops at the first data chunk
        const std::vector<uint8_t> data = ZeroRows(width, zeros ? height : 1, alpha ? 4 : 3);
        for (size_t at = 0; at < data.size(); at += 1 << 20)
            PngChunk(out, "IDAT", std::vector<uint8_t>(data.begin() + static_cast<long>(at),
                                                       data.begin() + static_cast<long>(std::min(data.size(), at + (1 << 20)))));
    }
    PngChunk(out, "IEND", {});
    return out;
}

std::vector<uint8_t> BmpAnnouncing(int32_t width, int32_t height) {
    std::vector<uint8_t> out = {'B', 'M'};
    PutLittle(out, 54, 4);  // file size as written
    PutLittle(out, 0, 4);
    PutLittle(out, 54, 4);
    PutLittle(out, 40, 4);
    PutLittle(out, static_cast<uint32_t>(width), 4);
    PutLittle(out, static_cast<uint32_t>(height), 4);
    PutLittle(out, 1, 2);
    PutLittle(out, 24, 2);
    for (int i = 0; i < 6; ++i) PutLittle(out, 0, 4);
    return out;
}

std::vector<uint8_t> GifAnnouncing(uint16_t width, uint16_t height) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    PutLittle(out, width, 2);
    PutLittle(out, height, 2);
    out.insert(out.end(), {0x80, 0, 0});  // a global table of two colours
    out.insert(out.end(), {0, 0, 0, 255, 255, 255});
    out.push_back(0x2C);
    PutLittle(out, 0, 2);
    PutLittle(out, 0, 2);
    PutLittle(out, width, 2);
    PutLittle(out, height, 2);
    out.push_back(0);
    out.insert(out.end(), {2, 2, 0x44, 0x01, 0, 0x3B});  // code size 2: a clear code, then the end
    return out;
}

std::vector<uint8_t> J2kAnnouncing(uint32_t width, uint32_t height) {
    TJpeg2000Bitmap small;
    small.Assign(MakeGradient(8, 8));
    std::ostringstream file;
    small.SaveToStream(file);
    const std::string bytes = file.str();
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    data.erase(data.begin(), data.begin() + static_cast<long>(FindMarker(data, 0xFF, 0x4F)));
    const size_t siz = FindMarker(data, 0xFF, 0x51);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    put(siz + 6, width);    // Xsiz
    put(siz + 10, height);  // Ysiz
    put(siz + 22, width);   // XTsiz: one tile
    put(siz + 26, height);  // YTsiz
    return data;
}

}  // namespace quorix::test
