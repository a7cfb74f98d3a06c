#include "AvifCellOrder.h"

#include <algorithm>
#include <cstring>

namespace quorix {

namespace {

// A box: its type and where its content lies (after the header).
struct TBox {
    char Type[4] = {};
    size_t Start = 0, Content = 0, End = 0;
};

uint64_t Read(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

// The boxes between from and to, each within them; a box that overruns
// ends the list.
std::vector<TBox> Boxes(const uint8_t* data, size_t from, size_t to) {
    std::vector<TBox> boxes;
    for (size_t at = from; at + 8 <= to && boxes.size() < 4096;) {
        TBox box;
        uint64_t length = Read(data + at, 4);
        size_t header = 8;
        if (length == 1) {
            if (at + 16 > to) break;
            length = Read(data + at + 8, 8);
            header = 16;
        } else if (length == 0) {
            length = to - at;
        }
        if (length < header || length > to - at) break;
        std::memcpy(box.Type, data + at + 4, 4);
        box.Start = at, box.Content = at + header, box.End = at + static_cast<size_t>(length);
        boxes.push_back(box);
        at = box.End;
    }
    return boxes;
}

const TBox* Find(const std::vector<TBox>& boxes, const char* type) {
    for (const TBox& box : boxes)
        if (std::memcmp(box.Type, type, 4) == 0) return &box;
    return nullptr;
}

// The grids' cell lists from 'iref' ('dimg' references), each in its order.
std::vector<std::vector<uint32_t>> CellLists(const uint8_t* data, const TBox& iref) {
    std::vector<std::vector<uint32_t>> lists;
    if (iref.Content + 4 > iref.End) return lists;
    const int idBytes = data[iref.Content] == 0 ? 2 : 4;
    for (const TBox& ref : Boxes(data, iref.Content + 4, iref.End)) {
        if (std::memcmp(ref.Type, "dimg", 4) != 0 || ref.Content + idBytes + 2 > ref.End) continue;
        const size_t count = Read(data + ref.Content + idBytes, 2);
        const size_t first = ref.Content + idBytes + 2;
        if (count * idBytes > ref.End - first) continue;
        std::vector<uint32_t> cells;
        for (size_t i = 0; i < count; ++i) cells.push_back(static_cast<uint32_t>(Read(data + first + i * idBytes, idBytes)));
        lists.push_back(std::move(cells));
    }
    return lists;
}

// One item's entry: its ID and its bytes.
struct TEntry {
    uint32_t Id = 0;
    size_t Start = 0, End = 0;
};

// The entries of 'iloc'; false when they do not fit the box.
bool LocationEntries(const uint8_t* data, const TBox& iloc, std::vector<TEntry>& entries) {
    size_t at = iloc.Content;
    if (at + 8 > iloc.End) return false;
    const int version = data[at];
    if (version > 2) return false;
    const int offsetSize = data[at + 4] >> 4, lengthSize = data[at + 4] & 15, baseSize = data[at + 5] >> 4;
    const int indexSize = version >= 1 ? data[at + 5] & 15 : 0;
    const int idBytes = version < 2 ? 2 : 4;
    at += 6;
    if (at + idBytes > iloc.End) return false;
    const uint64_t count = Read(data + at, idBytes);
    at += idBytes;
    for (uint64_t i = 0; i < count; ++i) {
        TEntry entry;
        entry.Start = at;
        const size_t fixed = idBytes + (version >= 1 ? 2 : 0) + 2 + baseSize + 2;
        if (fixed > iloc.End - at) return false;
        entry.Id = static_cast<uint32_t>(Read(data + at, idBytes));
        const uint64_t extents = Read(data + at + fixed - 2, 2);
        const uint64_t extentBytes = static_cast<uint64_t>(indexSize + offsetSize + lengthSize) * extents;
        if (extentBytes > iloc.End - at - fixed) return false;
        at += fixed + static_cast<size_t>(extentBytes);
        entry.End = at;
        entries.push_back(entry);
    }
    return true;
}

// The 'infe' boxes of 'iinf'; false when they cannot be read.
bool InfoEntries(const uint8_t* data, const TBox& iinf, std::vector<TEntry>& entries) {
    if (iinf.Content + 4 > iinf.End) return false;
    const size_t first = iinf.Content + 4 + (data[iinf.Content] == 0 ? 2 : 4);
    if (first > iinf.End) return false;
    for (const TBox& infe : Boxes(data, first, iinf.End)) {
        if (std::memcmp(infe.Type, "infe", 4) != 0 || infe.Content + 8 > infe.End) return false;
        const int version = data[infe.Content];
        if (version < 2) return false;  // the old form names no item type; grids use the new one
        TEntry entry;
        entry.Id = static_cast<uint32_t>(Read(data + infe.Content + 4, version == 2 ? 2 : 4));
        entry.Start = infe.Start, entry.End = infe.End;
        entries.push_back(entry);
    }
    return true;
}

// Fills the slots the cells take with the cells in their list's order;
// false when nothing moves.
bool Reorder(const uint8_t* data, const std::vector<TEntry>& entries, const std::vector<uint32_t>& cells, uint8_t* out) {
    std::vector<size_t> slots;
    for (size_t i = 0; i < entries.size(); ++i)
        if (std::find(cells.begin(), cells.end(), entries[i].Id) != cells.end()) slots.push_back(i);
    if (slots.size() != cells.size()) return false;  // not one entry for each cell: left to libavif
    std::vector<size_t> wanted;
    for (uint32_t cell : cells)
        for (size_t slot : slots)
            if (entries[slot].Id == cell) wanted.push_back(slot);
    if (wanted.size() != slots.size() || wanted == slots) return false;
    size_t at = entries[slots.front()].Start;
    const size_t end = entries[slots.back()].End;
    std::vector<uint8_t> span;
    // The entries between the first and the last cell keep their place; the cells take the slots in order.
    for (size_t i = slots.front(), next = 0; i <= slots.back(); ++i) {
        const TEntry& e = std::find(slots.begin(), slots.end(), i) != slots.end() ? entries[wanted[next++]] : entries[i];
        span.insert(span.end(), data + e.Start, data + e.End);
    }
    if (span.size() != end - at) return false;
    std::memcpy(out + at, span.data(), span.size());
    return true;
}

}  // namespace

std::vector<uint8_t> AvifCellsInGridOrder(const uint8_t* data, size_t size) {
    const std::vector<TBox> top = Boxes(data, 0, size);
    const TBox* meta = Find(top, "meta");
    if (!meta || meta->Content + 4 > meta->End) return {};
    const std::vector<TBox> children = Boxes(data, meta->Content + 4, meta->End);
    const TBox* iref = Find(children, "iref");
    if (!iref) return {};
    const std::vector<std::vector<uint32_t>> lists = CellLists(data, *iref);
    // The box that names the items first decides their order.
    const TBox* naming = nullptr;
    for (const TBox& box : children)
        if (!naming && (std::memcmp(box.Type, "iloc", 4) == 0 || std::memcmp(box.Type, "iinf", 4) == 0 ||
                        std::memcmp(box.Type, "iref", 4) == 0 || std::memcmp(box.Type, "iprp", 4) == 0))
            naming = &box;
    // Items named first by their references are already in the grid's order.
    const bool locations = naming && std::memcmp(naming->Type, "iloc", 4) == 0;
    if (lists.empty() || !naming || (!locations && std::memcmp(naming->Type, "iinf", 4) != 0)) return {};
    std::vector<uint8_t> out(data, data + size);
    bool moved = false;
    for (const std::vector<uint32_t>& cells : lists) {
        // Each list (the colour grid's, the alpha grid's) is put in order in what the earlier ones left.
        std::vector<TEntry> entries;
        const std::vector<uint8_t> before = out;
        const bool read = locations ? LocationEntries(before.data(), *naming, entries) : InfoEntries(before.data(), *naming, entries);
        if (read && Reorder(before.data(), entries, cells, out.data())) moved = true;
    }
    return moved ? out : std::vector<uint8_t>();
}

}  // namespace quorix
