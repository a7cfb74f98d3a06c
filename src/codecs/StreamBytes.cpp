#include "StreamBytes.h"

#include "PixelMemory.h"
#include "QuorixError.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>

namespace quorix {

std::vector<uint8_t> ReadAllBytes(std::istream& stream) {
    // Straight into the vector: the announced size at once, then in growing
    // pieces for whatever a stream without a known size still holds.
    std::vector<uint8_t> bytes;
    std::streampos start = stream.tellg();
    size_t piece = 65536;
    if (start != std::streampos(-1) && stream.seekg(0, std::ios::end)) {
        std::streamoff size = stream.tellg() - start;
        stream.seekg(start);
        if (size > 0) piece = static_cast<size_t>(size) + 1;  // one more byte sees the end
    }
    stream.clear();
    size_t used = 0;
    if (piece >= LargePixelBlock) {
        bytes.reserve(piece);
        OfferHugePages(bytes.data(), piece);
    }
    for (;;) {
        bytes.resize(used + piece);
        stream.read(reinterpret_cast<char*>(bytes.data() + used), static_cast<std::streamsize>(piece));
        used += static_cast<size_t>(stream.gcount());
        if (!stream) break;
        piece = std::max<size_t>(piece, used / 2);
    }
    if (stream.bad()) throw EFileError("Stream read error");
    bytes.resize(used);
    return bytes;
}

void WriteAllBytes(std::ostream& stream, const uint8_t* data, size_t size) {
    stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!stream) throw EFileError("Stream write error");
}

}  // namespace quorix
