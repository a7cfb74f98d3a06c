#include "JpegScans.h"

#include <cstring>

namespace quorix {

namespace {

constexpr uint8_t SOI = 0xD8, EOI = 0xD9, SOS = 0xDA;

bool IsStartOfFrame(uint8_t marker) {
    // C0..CF are frames except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length.
bool IsBare(uint8_t marker) {
    return marker == SOI || marker == EOI || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Skips entropy-coded data: the position of the next real marker's 0xFF.
size_t SkipEntropyData(const uint8_t* data, size_t size, size_t at) {
    while (at + 1 < size) {
        const void* hit = std::memchr(data + at, 0xFF, size - at - 1);
        if (!hit) return size;
        at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
        const uint8_t next = data[at + 1];
        if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) return at;
        at += next == 0xFF ? 1 : 2;
    }
    return size;
}

struct TFrame {
    int Components = 0;
    uint8_t Ids[4] = {0, 0, 0, 0};
    bool Coded[4] = {false, false, false, false};
    bool Progressive = false;
};

void ReadFrame(const uint8_t* segment, size_t length, uint8_t marker, TFrame& frame) {
    if (length < 6) return;
    const int n = segment[5];
    frame.Progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    frame.Components = 0;
    for (int c = 0; c < n && c < 4 && 6 + 3 * static_cast<size_t>(c) < length; ++c)
        frame.Ids[frame.Components++] = segment[6 + 3 * c];
}

void ReadScanHeader(const uint8_t* segment, size_t length, TFrame& frame) {
    if (length < 1) return;
    const size_t n = segment[0];
    if (length < 1 + 2 * n + 3) return;
    const bool dc = segment[1 + 2 * n] == 0;  // spectral selection starts at the DC coefficient
    for (size_t k = 0; k < n; ++k)
        for (int c = 0; c < frame.Components; ++c)
            if (frame.Ids[c] == segment[1 + 2 * k] && (dc || !frame.Progressive)) frame.Coded[c] = true;
}

}  // namespace

bool JpegFrameSize(const uint8_t* data, size_t size, int& width, int& height) {
    if (size < 4 || data[0] != 0xFF || data[1] != SOI) return false;
    for (size_t at = 2; at + 4 <= size;) {
        if (data[at] != 0xFF) return false;
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        at += 2;
        if (IsBare(marker)) continue;
        if (marker == SOS || marker == EOI) return false;
        const size_t length = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
        if (IsStartOfFrame(marker)) {
            if (at + 7 > size || length < 7) return false;
            height = (data[at + 3] << 8) | data[at + 4];
            width = (data[at + 5] << 8) | data[at + 6];
            return true;
        }
        if (length < 2) return false;
        at += length;
    }
    return false;
}

TJpegScans WalkJpegScans(const uint8_t* data, size_t size, int maxScans) {
    TJpegScans result;
    TFrame frame;
    size_t at = 2;  // after the start-of-image marker
    while (at + 1 < size) {
        if (data[at] != 0xFF) {  // stray bytes between segments: look for the next marker
            at = SkipEntropyData(data, size, at);
            continue;
        }
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (marker == EOI) break;
        if (IsBare(marker)) continue;
        if (at + 2 > size) break;
        const size_t length = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
        if (length < 2 || at + length > size) break;
        const uint8_t* segment = data + at + 2;
        if (IsStartOfFrame(marker)) ReadFrame(segment, length - 2, marker, frame);
        at += length;
        if (marker != SOS) continue;
        ReadScanHeader(segment, length - 2, frame);
        if (++result.Scans > maxScans) break;
        at = SkipEntropyData(data, size, at);
    }
    result.EveryComponent = frame.Components > 0;
    for (int c = 0; c < frame.Components; ++c) result.EveryComponent = result.EveryComponent && frame.Coded[c];
    return result;
}

}  // namespace quorix
