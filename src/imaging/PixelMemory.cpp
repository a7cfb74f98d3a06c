#include "PixelMemory.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quorix {

namespace {

#if defined(__linux__)
constexpr size_t HugePage = size_t(2) << 20;

// An anonymous mapping (zero pages) aligned to a huge page, so the kernel can
// back it with huge pages from the first byte.
uint8_t* MapLarge(size_t bytes) {
    const size_t length = bytes + HugePage;
    void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (start + HugePage - 1) & ~(HugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    uintptr_t end = start + length, used = aligned + bytes;
    uintptr_t pageEnd = (used + 4095) & ~uintptr_t(4095);
    if (end > pageEnd) munmap(reinterpret_cast<void*>(pageEnd), end - pageEnd);
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);  // a hint; refusal is harmless
    return reinterpret_cast<uint8_t*>(aligned);
}
#endif

std::atomic<size_t> BlockLimit{~size_t{0}};

}  // namespace

void SetPixelBlockLimit(size_t bytes) { BlockLimit = bytes == 0 ? ~size_t{0} : bytes; }

void OfferHugePages(void* block, size_t bytes) {
#if defined(__linux__)
    uintptr_t start = reinterpret_cast<uintptr_t>(block);
    uintptr_t first = (start + HugePage - 1) & ~(HugePage - 1), last = (start + bytes) & ~(HugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

void TPixelMemoryFree::operator()(uint8_t* p) const noexcept {
#if defined(__linux__)
    if (Bytes >= LargePixelBlock) {
        munmap(p, Bytes);
        return;
    }
#endif
    std::free(p);
}

TPixelMemory AllocatePixels(size_t bytes) {
    if (bytes == 0) return TPixelMemory(nullptr, TPixelMemoryFree{0});
    if (bytes > BlockLimit.load(std::memory_order_relaxed)) throw std::bad_alloc();
    uint8_t* p = nullptr;
#if defined(__linux__)
    if (bytes >= LargePixelBlock) {
        p = MapLarge(bytes);
        if (!p) throw std::bad_alloc();
        return TPixelMemory(p, TPixelMemoryFree{bytes});
    }
#endif
    p = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (!p) throw std::bad_alloc();
    return TPixelMemory(p, TPixelMemoryFree{bytes});
}

}  // namespace quorix
