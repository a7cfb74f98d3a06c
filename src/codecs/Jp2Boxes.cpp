#include "Jp2Boxes.h"

#include <cstring>

namespace quorix {

namespace {

uint32_t Be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

struct TBox {
    size_t Start = 0;    // of the box header
    size_t Content = 0;  // of the box's content
    size_t End = 0;
    uint32_t Type = 0;
};

// The box at position p of data[0 .. end); false when it does not fit.
bool ReadBox(const uint8_t* data, size_t p, size_t end, TBox& box) {
    if (end - p < 8) return false;
    uint64_t length = Be32(data + p);
    box.Start = p;
    box.Type = Be32(data + p + 4);
    box.Content = p + 8;
    if (length == 1) {
        if (end - p < 16) return false;
        length = (static_cast<uint64_t>(Be32(data + p + 8)) << 32) | Be32(data + p + 12);
        box.Content = p + 16;
    } else if (length == 0) {
        length = end - p;
    }
    if (length < box.Content - p || length > end - p) return false;
    box.End = p + static_cast<size_t>(length);
    return true;
}

constexpr uint32_t Type(const char (&t)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(t[0])) << 24) | (static_cast<uint8_t>(t[1]) << 16) |
           (static_cast<uint8_t>(t[2]) << 8) | static_cast<uint8_t>(t[3]);
}

bool FindBox(const uint8_t* data, size_t begin, size_t end, uint32_t type, TBox& found) {
    TBox box;
    for (size_t p = begin; p < end && ReadBox(data, p, end, box); p = box.End)
        if (box.Type == type) {
            found = box;
            return true;
        }
    return false;
}

}  // namespace

TJp2Header ReadJp2Header(const uint8_t* data, size_t size) {
    TJp2Header header;
    TBox jp2h, box;
    if (!FindBox(data, 0, size, Type("jp2h"), jp2h)) return header;
    if (FindBox(data, jp2h.Content, jp2h.End, Type("colr"), box) && box.End - box.Content >= 7 && data[box.Content] == 1) {
        header.HasColourSpace = true;
        header.EnumeratedColourSpace = Be32(data + box.Content + 3);
    }
    if (FindBox(data, jp2h.Content, jp2h.End, Type("cdef"), box) && box.End - box.Content >= 2) {
        size_t count = Be16(data + box.Content);
        if (box.End - box.Content - 2 >= 6 * count)
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* e = data + box.Content + 2 + 6 * i;
                header.Channels.push_back({Be16(e), Be16(e + 2), Be16(e + 4)});
            }
    }
    return header;
}

std::vector<uint8_t> WithChannelDefinitions(const std::vector<uint8_t>& jp2, const std::vector<TJp2ChannelDef>& channels) {
    TBox jp2h;
    if (!FindBox(jp2.data(), 0, jp2.size(), Type("jp2h"), jp2h) || jp2h.Content != jp2h.Start + 8) return jp2;
    std::vector<uint8_t> cdef;
    PutBe32(cdef, static_cast<uint32_t>(8 + 2 + 6 * channels.size()));
    PutBe32(cdef, Type("cdef"));
    PutBe16(cdef, static_cast<uint16_t>(channels.size()));
    for (const TJp2ChannelDef& c : channels) {
        PutBe16(cdef, c.Channel);
        PutBe16(cdef, c.Type);
        PutBe16(cdef, c.Association);
    }
    // The header box's children without an old cdef, then the new one.
    std::vector<uint8_t> children;
    TBox box;
    for (size_t p = jp2h.Content; p < jp2h.End && ReadBox(jp2.data(), p, jp2h.End, box); p = box.End)
        if (box.Type != Type("cdef")) children.insert(children.end(), jp2.begin() + box.Start, jp2.begin() + box.End);
    children.insert(children.end(), cdef.begin(), cdef.end());
    std::vector<uint8_t> out(jp2.begin(), jp2.begin() + jp2h.Start);
    PutBe32(out, static_cast<uint32_t>(8 + children.size()));
    PutBe32(out, Type("jp2h"));
    out.insert(out.end(), children.begin(), children.end());
    out.insert(out.end(), jp2.begin() + jp2h.End, jp2.end());
    return out;
}

}  // namespace quorix
