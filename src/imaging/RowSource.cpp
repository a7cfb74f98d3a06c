#include "RowSource.h"

#include <algorithm>
#include <cstring>

namespace quorix {

TRingRowSource::TRingRowSource(int width, int height)
    : FWidth(width), FHeight(height), FRing(static_cast<size_t>(width) * 3 * StripRows * Strips) {}

int TRingRowSource::ReadRows(int maxRows, const uint8_t** rows) {
    const int n = std::min({maxRows, StripRows, FHeight - FNext});
    if (n <= 0) return 0;
    const size_t rowBytes = static_cast<size_t>(FWidth) * 3;
    uint8_t* strip = FRing.data() + rowBytes * StripRows * static_cast<size_t>(FReads++ % Strips);
    for (int i = 0; i < n; ++i) {
        MakeRow(FNext + i, strip + rowBytes * i);
        rows[i] = strip + rowBytes * i;
    }
    FNext += n;
    return n;
}

void StoredPixelFor(int orientation, int w, int h, int x, int y, int& sx, int& sy) {
    switch (orientation) {
    case 2: sx = w - 1 - x; sy = y; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sx = x; sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
    }
}

namespace {

class TOrientedRows : public TRingRowSource {
public:
    TOrientedRows(std::unique_ptr<TBitmap> stored, int orientation, bool swap)
        : TRingRowSource(swap ? stored->Height() : stored->Width(), swap ? stored->Width() : stored->Height()),
          FStored(std::move(stored)), FOrientation(orientation) {}

protected:
    void MakeRow(int y, uint8_t* out) override {
        const int w = FStored->Width(), h = FStored->Height();
        for (int x = 0; x < Width(); ++x, out += 3) {
            int sx, sy;
            StoredPixelFor(FOrientation, w, h, x, y, sx, sy);
            std::memcpy(out, FStored->ScanLine(sy) + static_cast<size_t>(sx) * 3, 3);
        }
    }

private:
    std::unique_ptr<TBitmap> FStored;
    int FOrientation;
};

}  // namespace

std::unique_ptr<TRowSource> OrientedRowSource(std::unique_ptr<TBitmap> stored, int orientation) {
    stored->SetPixelFormat(TPixelFormat::pf24bit);
    return std::make_unique<TOrientedRows>(std::move(stored), orientation, orientation >= 5);
}

}  // namespace quorix
