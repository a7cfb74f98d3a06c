#include "StreamBytes.h"

#include "QuorixError.h"

#include <istream>
#include <iterator>
#include <ostream>

namespace quorix {

std::vector<uint8_t> ReadAllBytes(std::istream& stream) {
    std::vector<uint8_t> bytes;
    std::streampos start = stream.tellg();
    if (start != std::streampos(-1) && stream.seekg(0, std::ios::end)) {
        std::streamoff size = stream.tellg() - start;
        stream.seekg(start);
        if (size > 0) bytes.reserve(static_cast<size_t>(size));
    }
    stream.clear();
    char buffer[65536];
    while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0)
        bytes.insert(bytes.end(), buffer, buffer + stream.gcount());
    if (stream.bad()) throw EFileError("Stream read error");
    return bytes;
}

void WriteAllBytes(std::ostream& stream, const uint8_t* data, size_t size) {
    stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!stream) throw EFileError("Stream write error");
}

}  // namespace quorix
