// PNG pictures through libpng: every depth and colour type, palettes, an alpha
// channel and the transparency chunk. The picture is decoded when loaded.
#pragma once

#include "OrvelGraphics.h"

#include <cstdint>
#include <vector>

namespace quorix {

struct TPngContext;

enum class TPngTransparency { ptmNone, ptmBit, ptmPartial };

class TPngImage : public TGraphic {
public:
    const char* ClassName() const override { return "TPngImage"; }
    int Width() const override { return FBitmap.Width(); }
    int Height() const override { return FBitmap.Height(); }

    void LoadFromStream(std::istream& stream) override;
    // Writes the picture as 8-bit RGB.
    void SaveToStream(std::ostream& stream) override;
    void Assign(const TGraphic& source) override;
    void TakeBitmap(TBitmap& bitmap) override;
    void AssignTo(TGraphic& dest) const override;
    std::unique_ptr<TRowSource> OpenRowSource() const override;
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

    void LoadFromBytes(const uint8_t* data, size_t size);
    void SetEffort(TEncodeEffort effort) override { FEffort = effort; }
    TPngTransparency TransparencyMode() const { return FTransparency; }
    // What assigning the picture to a bitmap gives: with partial transparency
    // 32 bits composited over black, else the stored pixels.
    const TBitmap& Bitmap() const { return FBitmap; }
    std::shared_ptr<const TDeepPixels> Deep() const override { return FDeep; }
    void TakeDeep(std::shared_ptr<const TDeepPixels> deep) override { FDeep = std::move(deep); }

private:
    void Decode(TPngContext& context);

    TBitmap FBitmap;
    TPngTransparency FTransparency = TPngTransparency::ptmNone;
    TEncodeEffort FEffort = TEncodeEffort::Balanced;
    std::shared_ptr<const TDeepPixels> FDeep;  // 16-bit samples decoded or to encode
};

}  // namespace quorix
