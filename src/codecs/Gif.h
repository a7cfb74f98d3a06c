// GIF pictures through giflib: the first frame, placed on the logical screen.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>
#include <vector>

namespace quorix {

// The system's window background, used where a GIF has no global colour table.
constexpr TColor WindowBackgroundColor = 0x00FFFFFF;

class TGIFImage : public TGraphic {
public:
    const char* ClassName() const override { return "TGIFImage"; }
    int Width() const override { return FScreenWidth; }
    int Height() const override { return FScreenHeight; }

    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    void Assign(const TGraphic& source) override;
    void AssignTo(TGraphic& dest) const override;

    void LoadFromBytes(const uint8_t* data, size_t size);
    // The first frame on the logical screen, as assigning to a bitmap gives it.
    TBitmap FirstFrameBitmap() const;
    // Row y of the first frame on the screen, as 24-bit pixels.
    void MakeScreenRow(int y, uint8_t* row) const;
    std::unique_ptr<TRowSource> OpenRowSource() const override;
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

private:
    void Load(void* source);  // from a TGifSource

    int FScreenWidth = 0, FScreenHeight = 0;
    TColor FBackground = WindowBackgroundColor;
    int FLeft = 0, FTop = 0, FFrameWidth = 0, FFrameHeight = 0;
    int FTransparent = -1;  // colour index, -1 for none
    std::vector<TPaletteEntry> FPalette;
    std::vector<uint8_t> FIndices;  // frame pixels, rows from the top
};

}  // namespace quorix
