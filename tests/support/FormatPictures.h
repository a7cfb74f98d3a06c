// Pictures in the formats read through whole-picture libraries, written with
// those libraries' own encoders so that the decoders meet files as other
// programs write them: depths, grey, alpha, orientation, animation, pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::test {

// Interleaved samples, top row first: 1 (grey), 2 (grey, alpha), 3 (RGB) or
// 4 (RGBA) channels of 8 or 16 bits.
struct TSamples {
    int Width = 0, Height = 0, Channels = 3, Bits = 8;
    std::vector<uint16_t> Values;  // Width * Height * Channels
    uint16_t& At(int x, int y, int c) { return Values[(static_cast<size_t>(y) * Width + x) * Channels + c]; }
    uint16_t At(int x, int y, int c) const { return Values[(static_cast<size_t>(y) * Width + x) * Channels + c]; }
};
// A smooth pattern, different in each channel, with opaque and transparent
// corners when there is alpha.
TSamples MakeSamples(int width, int height, int channels, int bits);

struct TTiffPage {
    TSamples Samples;
    int Orientation = 1;
    bool AssociatedAlpha = false;
    bool Tiled = false;
};
std::vector<uint8_t> TiffBytes(const std::vector<TTiffPage>& pages);

// A TIFF with old-style JPEG compression (YCbCr 2x2) laid out as the
// scanners that wrote them did: one JPEG stream for the whole picture, its
// tables at JPEGInterchangeFormat, each strip or tile (as wide as the
// picture) one restart interval of its data. 8-bit RGB samples; rows is the
// strip's or tile's height, a multiple of 16.
std::vector<uint8_t> OldJpegTiffBytes(const TSamples& rgb, int rows, bool tiled);

// A CMYK TIFF of one colour (ink amounts, 0 for none, of 8 or 16 bits), with
// the profile embedded when one is given.
void WriteCmykTiff(const std::string& path, int width, int height, int bits, const uint16_t ink[4],
                   const std::vector<uint8_t>& profile);

// Lossless, so that every pixel can be compared.
std::vector<uint8_t> WebPBytes(const TSamples& rgba);
// Frames of the same size on one canvas, 100 ms each.
std::vector<uint8_t> AnimatedWebPBytes(const std::vector<TSamples>& frames);

// compression: "av1" (8 bits: Debian's libaom asserts on deeper ones as
// libheif sets it up) or "hevc" (8, 10 or 12 bits); orientation 1 to 8
// written as the container's rotation and mirroring.
// thumbnailSide: a thumbnail of that longer side is stored beside the picture.
std::vector<uint8_t> HeifBytes(const TSamples& samples, const char* compression, int orientation, int quality = 90,
                               const char* chroma = nullptr, int thumbnailSide = 0);
// A HEIC grid as phones and cameras write one: cells of cell x cell pixels
// (HEVC 4:2:0, each encoded by libheif), put together by hand into one file
// whose primary item is the grid. The sides must be multiples of cell.
std::vector<uint8_t> HeifGridBytes(const TSamples& samples, int cell, int quality = 50);

// AVIF as libavif (the format's reference library) writes it.
struct TAvifOptions {
    int Depth = 8;               // 8, 10 or 12
    bool Grey = false;           // 4:0:0, from the first channel
    bool LimitedRange = false;
    bool Premultiplied = false;  // alpha stored premultiplied, and said so
    int QuarterTurns = -1;       // 'irot' (anticlockwise) when 0 to 3
    int Mirror = -1;             // 'imir' when 0 (top and bottom) or 1 (left and right)
    int GridColumns = 1, GridRows = 1;  // a grid of equal cells when more than one
    int Frames = 1;              // a sequence (each frame the samples, darker each time) when more than one
    int Primaries = 1, Transfer = 13, Matrix = 6;  // code points, as 'nclx'
    int Quality = 100;           // 100: lossless quantizers, 4:4:4
    std::vector<uint8_t> Exif;   // a TIFF structure
    std::string Xmp;
};
std::vector<uint8_t> AvifBytes(const TSamples& samples, const TAvifOptions& options = {});
// The same file with the first box type or brand of these four letters
// changed ("meta" to "free" and the brand "avif" to another leave a sequence
// without its still image), or an item's list of references of a
// type ("dimg") put in reverse order.
std::vector<uint8_t> WithFourCcRenamed(std::vector<uint8_t> file, const char* from, const char* to);
std::vector<uint8_t> WithReferencesReversed(std::vector<uint8_t> file, const char* type);

// Lossless; orientation 1 to 8 in the header.
std::vector<uint8_t> JpegXlBytes(const TSamples& samples, int orientation = 1);

// Headers announcing a side x side picture: a TIFF directory, a WebP VP8X
// chunk, an AVIF whose 'ispe' box was changed, a bare JPEG XL size header.
std::vector<uint8_t> TiffAnnouncing(uint32_t side);
std::vector<uint8_t> WebPAnnouncing(uint32_t side);
std::vector<uint8_t> AvifAnnouncing(uint32_t side);
std::vector<uint8_t> AvifWithLongData(uint32_t bytes);
std::vector<uint8_t> JpegXlAnnouncing(uint32_t side);

// The 8-bit value the decoders give a sample: rounded to nearest.
uint8_t To8(uint16_t value, int bits);

}  // namespace quorix::test
