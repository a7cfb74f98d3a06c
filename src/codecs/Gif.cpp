#include "Gif.h"

#include "QuorixError.h"
#include "RowSource.h"
#include "StreamBytes.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <istream>
#include <memory>
#include <string>

namespace quorix {

namespace {

struct TGifSource {
    const uint8_t* Data;
    size_t Size;
    size_t Position;
    std::istream* Stream;  // read from here instead, when set
};

extern "C" int GifReadBytes(GifFileType* gif, GifByteType* out, int length) {
    auto* source = static_cast<TGifSource*>(gif->UserData);
    if (source->Stream) {
        if (length <= 0) return 0;
        source->Stream->read(reinterpret_cast<char*>(out), length);
        return static_cast<int>(source->Stream->gcount());
    }
    size_t left = source->Size - source->Position;
    size_t n = length < 0 ? 0 : static_cast<size_t>(length);
    if (n > left) n = left;
    if (n > 0) std::memcpy(out, source->Data + source->Position, n);
    source->Position += n;
    return static_cast<int>(n);
}

struct TGifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using TGifHandle = std::unique_ptr<GifFileType, TGifCloser>;

[[noreturn]] void RaiseGifError(int code) {
    const char* text = GifErrorString(code);
    throw EInvalidGraphic(std::string("GIF error: ") + (text ? text : "unknown error"));
}

void Check(GifFileType* gif, int result) {
    if (result == GIF_ERROR) RaiseGifError(gif->Error);
}

std::vector<TPaletteEntry> PaletteOf(const ColorMapObject* map) {
    std::vector<TPaletteEntry> palette;
    if (!map) return palette;
    for (int i = 0; i < map->ColorCount; ++i)
        palette.push_back({map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0});
    return palette;
}

// Reads the frame's rows, undoing the four-pass interlace.
void ReadFrameRows(GifFileType* gif, int width, int height, bool interlaced, std::vector<uint8_t>& indices) {
    indices.assign(static_cast<size_t>(width) * height, 0);
    if (!interlaced) {
        for (int y = 0; y < height; ++y) Check(gif, DGifGetLine(gif, &indices[static_cast<size_t>(y) * width], width));
        return;
    }
    static const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass])
            Check(gif, DGifGetLine(gif, &indices[static_cast<size_t>(y) * width], width));
}

int TransparentIndex(const GifByteType* block) {
    GraphicsControlBlock gcb;
    if (block && block[0] >= 4 && DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
        return gcb.TransparentColor;
    return -1;
}

}  // namespace

// The file is read as giflib asks for it: only the frame's indices are held.
void TGIFImage::LoadFromStream(std::istream& stream) {
    TGifSource source{nullptr, 0, 0, &stream};
    Load(&source);
}

void TGIFImage::LoadFromBytes(const uint8_t* data, size_t size) {
    TGifSource source{data, size, 0, nullptr};
    Load(&source);
}

void TGIFImage::Load(void* from) {
    auto& source = *static_cast<TGifSource*>(from);
    int error = 0;
    TGifHandle gif(DGifOpen(&source, GifReadBytes, &error));
    if (!gif) RaiseGifError(error);
    GifFileType* g = gif.get();
    CheckHeader(g->SWidth, g->SHeight);
    int transparent = -1;
    for (;;) {
        GifRecordType record;
        Check(g, DGifGetRecordType(g, &record));
        if (record == TERMINATE_RECORD_TYPE) throw EInvalidGraphic("GIF error: the file holds no image");
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            Check(g, DGifGetExtension(g, &code, &block));
            if (code == GRAPHICS_EXT_FUNC_CODE) transparent = TransparentIndex(block);
            while (block) Check(g, DGifGetExtensionNext(g, &block));
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) continue;
        Check(g, DGifGetImageDesc(g));
        const GifImageDesc& desc = g->Image;
        if (desc.Width <= 0 || desc.Height <= 0) throw EInvalidGraphic("GIF error: the first frame is empty");
        const int screenWidth = g->SWidth > 0 ? g->SWidth : desc.Left + desc.Width;
        const int screenHeight = g->SHeight > 0 ? g->SHeight : desc.Top + desc.Height;
        CheckHeader(desc.Width, desc.Height);
        CheckHeader(screenWidth, screenHeight);  // a missing side comes from the frame
        std::vector<uint8_t> indices;
        ReadFrameRows(g, desc.Width, desc.Height, desc.Interlace, indices);

        FScreenWidth = screenWidth;
        FScreenHeight = screenHeight;
        FLeft = desc.Left;
        FTop = desc.Top;
        FFrameWidth = desc.Width;
        FFrameHeight = desc.Height;
        FTransparent = transparent;
        FPalette = PaletteOf(desc.ColorMap ? desc.ColorMap : g->SColorMap);
        FIndices.swap(indices);
        FBackground = WindowBackgroundColor;
        if (g->SColorMap) {
            int index = g->SBackGroundColor;
            const GifColorType* c = index < g->SColorMap->ColorCount ? &g->SColorMap->Colors[index] : nullptr;
            FBackground = c ? (c->Red | (c->Green << 8) | (static_cast<TColor>(c->Blue) << 16)) : 0;
        }
        return;
    }
}

TBitmap TGIFImage::FirstFrameBitmap() const {
    TBitmap bitmap;
    bool covers = FLeft == 0 && FTop == 0 && FFrameWidth == FScreenWidth && FFrameHeight == FScreenHeight;
    if (covers && FTransparent < 0) {
        bitmap.SetPixelFormat(TPixelFormat::pf8bit);
        bitmap.SetSize(FFrameWidth, FFrameHeight);
        for (int y = 0; y < FFrameHeight; ++y)
            std::memcpy(bitmap.ScanLine(y), &FIndices[static_cast<size_t>(y) * FFrameWidth], FFrameWidth);
        bitmap.SetPalette(FPalette);
        return bitmap;
    }
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(FScreenWidth, FScreenHeight);
    for (int y = 0; y < FScreenHeight; ++y) MakeScreenRow(y, bitmap.ScanLine(y));
    return bitmap;
}

// The frame drawn on the screen: the uncovered screen shows palette entry 0,
// or the background colour under a frame with a transparent colour.
void TGIFImage::MakeScreenRow(int y, uint8_t* row) const {
    TPaletteEntry ground = FPalette.empty() ? TPaletteEntry() : FPalette[0];
    if (FTransparent >= 0)
        ground = {static_cast<uint8_t>(FBackground >> 16), static_cast<uint8_t>(FBackground >> 8),
                  static_cast<uint8_t>(FBackground), 0};
    for (int x = 0; x < FScreenWidth; ++x) {
        row[3 * x] = ground.Blue;
        row[3 * x + 1] = ground.Green;
        row[3 * x + 2] = ground.Red;
    }
    const int fy = y - FTop;
    if (fy < 0 || fy >= FFrameHeight) return;
    const uint8_t* indices = &FIndices[static_cast<size_t>(fy) * FFrameWidth];
    for (int fx = std::max(0, -FLeft); fx < FFrameWidth && FLeft + fx < FScreenWidth; ++fx) {
        const unsigned index = indices[fx];
        if (static_cast<int>(index) == FTransparent) continue;
        TPaletteEntry c = index < FPalette.size() ? FPalette[index] : TPaletteEntry();
        uint8_t* p = row + 3 * static_cast<size_t>(FLeft + fx);
        p[0] = c.Blue;
        p[1] = c.Green;
        p[2] = c.Red;
    }
}

namespace {

class TGifRowSource : public TRingRowSource {
public:
    explicit TGifRowSource(const TGIFImage& gif) : TRingRowSource(gif.Width(), gif.Height()), FGif(gif) {}

protected:
    void MakeRow(int y, uint8_t* out) override { FGif.MakeScreenRow(y, out); }

private:
    const TGIFImage& FGif;
};

}  // namespace

bool TGIFImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    if (size < 10 || std::memcmp(head, "GIF8", 4) != 0) return false;
    peek.Width = GetU16(head + 6);
    peek.Height = GetU16(head + 8);
    peek.BytesPerPixel = 1;  // the frame's indices; rows are made as they are read
    return true;
}

std::unique_ptr<TRowSource> TGIFImage::OpenRowSource() const {
    return std::make_unique<TGifRowSource>(*this);
}

void TGIFImage::SaveToStream(std::ostream&) {
    throw EInvalidGraphic("GIF images cannot be saved");
}

void TGIFImage::Assign(const TGraphic& source) {
    if (auto gif = dynamic_cast<const TGIFImage*>(&source)) {
        *this = *gif;
        return;
    }
    TGraphic::Assign(source);
}

void TGIFImage::AssignTo(TGraphic& dest) const {
    if (auto bitmap = dynamic_cast<TBitmap*>(&dest)) {
        TBitmap frame = FirstFrameBitmap();
        bitmap->Assign(frame);
        return;
    }
    TGraphic::AssignTo(dest);
}

}  // namespace quorix
