// Small files that announce large or damaged pictures: what a crafted or cut
// download looks like. Shared by the tests and the hostile-picture benchmark.
#pragma once

#include <cstdint>
#include <vector>

namespace quorix::test {

// A progressive JPEG of a small picture whose first scan is repeated until it
// has scans scans in all.
std::vector<uint8_t> JpegWithScans(int scans);
// An 8-bit RGB (or RGBA) PNG of width x height; with zeros, every row is
// present (all zero, so the file stays small), else the data ends after one row.
std::vector<uint8_t> PngAnnouncing(uint32_t width, uint32_t height, bool zeros, bool alpha = false);
// A 24-bit BMP header without pixel data.
std::vector<uint8_t> BmpAnnouncing(int32_t width, int32_t height);
// A GIF whose screen and first frame are width x height, with one code of data.
std::vector<uint8_t> GifAnnouncing(uint16_t width, uint16_t height);
// A raw JPEG 2000 codestream whose size marker announces width x height.
std::vector<uint8_t> J2kAnnouncing(uint32_t width, uint32_t height);

}  // namespace quorix::test
