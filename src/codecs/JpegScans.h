// A walk over a JPEG file's markers before anything is decoded: how many
// scans it has and whether every component gets data, so that a crafted file
// with thousands of scans, or one without picture data, is refused cheaply.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

struct TJpegScans {
    int Scans = 0;               // start-of-scan markers seen (counting stops past the limit)
    bool EveryComponent = false; // each frame component is in a scan (with its DC for progressive)
};

// The frame's sides from the start-of-frame marker among the first size bytes.
bool JpegFrameSize(const uint8_t* data, size_t size, int& width, int& height);

// Walks the markers up to the end-of-image marker or the data's end; stops
// counting once more than maxScans scans were seen.
TJpegScans WalkJpegScans(const uint8_t* data, size_t size, int maxScans);

}  // namespace quorix
