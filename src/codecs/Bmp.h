// Windows bitmap files: 1, 4, 8, 16, 24 and 32 bits, RLE4 and RLE8, bit fields,
// top-down and bottom-up; written uncompressed at the bitmap's own depth.
#pragma once

#include "OrvelGraphics.h"

#include <cstddef>
#include <cstdint>

namespace quorix {

struct TBmpInfo;
class TStoredRows;

class TBmpImage : public TBitmap {
public:
    const char* ClassName() const override { return "TBitmap"; }
    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;

    void LoadFromBytes(const uint8_t* data, size_t size);
    bool PeekSize(const uint8_t* head, size_t size, TPeek& peek) const override;

private:
    void Decode(TStoredRows& stored, const TBmpInfo& info);
    void Decode(const uint8_t* data, size_t size, const TBmpInfo& info);
};

}  // namespace quorix
