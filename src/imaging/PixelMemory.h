// Zero-filled memory for pixels. Large blocks come straight from the kernel in
// 2 MiB pages where the system allows it: a picture of tens of megabytes then
// costs a few dozen page faults instead of thousands, and each fault is dear on
// a virtual machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorix {

struct TPixelMemoryFree {
    size_t Bytes = 0;
    void operator()(uint8_t* p) const noexcept;
};

using TPixelMemory = std::unique_ptr<uint8_t[], TPixelMemoryFree>;

// bytes zero-filled bytes (null for 0); raises std::bad_alloc.
TPixelMemory AllocatePixels(size_t bytes);

// The largest block AllocatePixels hands out; a larger one raises
// std::bad_alloc as a machine without the memory would. No limit by default.
void SetPixelBlockLimit(size_t bytes);

// Asks for huge pages under the whole 2 MiB pages of a block that no page of
// has been touched yet (a large heap block about to be filled, say).
void OfferHugePages(void* block, size_t bytes);

// Blocks from this size on are mapped on their own and offered huge pages.
constexpr size_t LargePixelBlock = size_t(4) << 20;

}  // namespace quorix
