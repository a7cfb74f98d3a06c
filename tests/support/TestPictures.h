// Pictures and folders made by the tests themselves.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorix::test {

// A fresh folder under the system's temporary folder, removed with its content.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    // The folder with a trailing "/".
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + name; }

private:
    std::string FPath;
};

TBitmap MakeBitmap24(int width, int height, uint8_t blue, uint8_t green, uint8_t red);
// A smooth picture with some structure: gradients in each channel.
TBitmap MakeGradient(int width, int height);
// Random bytes from a fixed seed.
TBitmap MakeNoise(int width, int height, uint32_t seed);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Encoders for test inputs. Each writes a complete file.
void WriteJpeg(const std::string& path, const TBitmap& bitmap, int quality = 90);
void WriteGreyJpeg(const std::string& path, int width, int height);
void WriteCmykJpeg(const std::string& path, int width, int height, const uint8_t cmyk[4]);
// The JPEG bytes with an EXIF block carrying the orientation tag after SOI.
std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation, bool bigEndian);

// A baseline JPEG of a 24-bit bitmap with a restart marker after every MCU row.
std::vector<uint8_t> JpegWithRestarts(const TBitmap& bitmap);
// libjpeg's own encoder: width x height pixels of components samples in
// space (a J_COLOR_SPACE), rows asked for top first; restartRows > 0 puts a
// restart marker after that many rows of blocks.
std::vector<uint8_t> CompressWithLibjpeg(int width, int height, int components, int space, int quality, int restartRows,
                                         const std::function<const uint8_t*(int y)>& row);
// Same size and the same 24-bit pixels.
bool SameBitmap(const TBitmap& a, const TBitmap& b);

// A small JPEG whose frame header announces width x height pixels; with
// cutScan its data ends right after the scan header.
std::vector<uint8_t> JpegAnnouncing(int width, int height, bool cutScan);

// Blue, green and red of pixel (x, y) of a 24-bit bitmap.
std::vector<int> Bgr(const TBitmap& bitmap, int x, int y);

struct TPngLayout {
    int Width = 1, Height = 1;
    int ColorType = 2;  // PNG colour type
    int BitDepth = 8;
    bool Interlaced = false;
    std::vector<uint8_t> Rows;  // packed rows as PNG stores them, top first
    std::vector<uint8_t> PaletteRgb;
    std::vector<uint8_t> TrnsAlpha;  // palette tRNS
    int TrnsGrey = -1;               // grey tRNS
    int TrnsRgb[3] = {-1, -1, -1};   // colour tRNS
};
void WritePng(const std::string& path, const TPngLayout& layout);

struct TGifLayout {
    int ScreenWidth = 1, ScreenHeight = 1;
    std::vector<uint8_t> GlobalRgb;  // empty: no global colour table
    int Background = 0;
    int Left = 0, Top = 0, Width = 1, Height = 1;
    std::vector<uint8_t> LocalRgb;  // empty: the frame uses the global table
    int Transparent = -1;
    bool Interlaced = false;
    std::vector<uint8_t> Indices;  // frame pixels, rows from the top
    int ExtraFrames = 0;           // more frames after the first, all index 1
};
void WriteGif(const std::string& path, const TGifLayout& layout);

// A 24-bit bitmap decoded from any registered file, by extension.
TBitmap LoadAs24(const std::string& path);

}  // namespace quorix::test
