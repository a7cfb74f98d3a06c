#include "IsoStandIn.h"

#include <algorithm>
#include <cstring>

namespace quorix {

TIsoStandIn::TIsoStandIn(const uint8_t* head, size_t size) : FHead(head), FSize(size) {
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
        if (std::memcmp(head + at + 4, "meta", 4) == 0 || std::memcmp(head + at + 4, "moov", 4) == 0)
            described = described || at + length <= size;
        at += length;
    }
    FLength = described ? at : 0;
}

bool TIsoStandIn::Read(uint64_t at, size_t size, uint8_t* out) const {
    if (at > FLength || size > FLength - at) return false;
    const size_t fromHead = at < FSize ? static_cast<size_t>(std::min<uint64_t>(size, FSize - at)) : 0;
    if (fromHead > 0) std::memcpy(out, FHead + at, fromHead);
    std::memset(out + fromHead, 0, size - fromHead);
    return true;
}

}  // namespace quorix
