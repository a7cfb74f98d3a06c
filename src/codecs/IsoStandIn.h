// A HEIF or AVIF file known only by its first bytes, as long as its boxes
// say, its head's bytes first and zeros after: the container's libraries
// check that the picture data lies within the file, not what it holds, and
// the boxes that say which picture is shown and how large come first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

class TIsoStandIn {
public:
    TIsoStandIn(const uint8_t* head, size_t size);
    // Whether the boxes that describe the picture ("meta", or "moov" for a
    // sequence) lie whole within the head.
    bool Usable() const { return FLength > 0; }
    uint64_t Length() const { return FLength; }
    const uint8_t* Head() const { return FHead; }
    size_t HeadSize() const { return FSize; }
    // Bytes [at, at + size) into out; false beyond the length.
    bool Read(uint64_t at, size_t size, uint8_t* out) const;

private:
    const uint8_t* FHead;
    size_t FSize;
    uint64_t FLength = 0;
};

}  // namespace quorix
