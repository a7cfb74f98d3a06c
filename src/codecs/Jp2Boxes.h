// The few JP2 boxes the JPEG 2000 adapter reads and writes itself: the colour
// space box (colr) and the channel definitions (cdef).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix {

struct TJp2ChannelDef {
    uint16_t Channel;      // Cn: the component
    uint16_t Type;         // 0 colour, 1 opacity, 2 premultiplied opacity, 65535 unspecified
    uint16_t Association;  // 0 the whole image, 1.. a colour, 65535 none
};

struct TJp2Header {
    bool HasColourSpace = false;
    uint32_t EnumeratedColourSpace = 0;  // 16 sRGB, 17 greyscale, 18 sYCC
    std::vector<TJp2ChannelDef> Channels;
};

// Reads the colr and cdef boxes of the JP2 header box; a missing or broken box reads as absent.
TJp2Header ReadJp2Header(const uint8_t* data, size_t size);

// The file with a cdef box holding channels added at the end of its JP2
// header box (any cdef box already there is replaced).
std::vector<uint8_t> WithChannelDefinitions(const std::vector<uint8_t>& jp2, const std::vector<TJp2ChannelDef>& channels);

}  // namespace quorix
