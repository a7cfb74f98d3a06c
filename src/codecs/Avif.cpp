#include "Avif.h"

#include "AvifCellOrder.h"
#include "CicpProfile.h"
#include "IsoStandIn.h"
#include "QuorixError.h"
#include "YuvRows.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace quorix {

namespace {

using TDecoder = std::unique_ptr<avifDecoder, void (*)(avifDecoder*)>;

TDecoder NewDecoder() {
    TDecoder decoder(avifDecoderCreate(), avifDecoderDestroy);
    if (!decoder) throw EInvalidGraphic("AVIF error: out of memory");
    decoder->maxThreads = PictureThreads();
    // Files other writers made (no 'pixi', a crop that is not quite valid,
    // alpha without its own 'ispe') are read as libavif's own tools read them.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    // The sizes are judged by the program's own limits once the header is read.
    decoder->imageDimensionLimit = 0;
    return decoder;
}

void Check(avifResult result, const char* what) {
    if (result != AVIF_RESULT_OK) throw EInvalidGraphic(std::string("AVIF error: ") + what + ": " + avifResultToString(result));
}

// The transforms the container asks for; a crop that does not describe a
// rectangle of the picture is left out.
TYuvTransform TransformOf(const avifImage& image) {
    TYuvTransform t;
    if (image.transformFlags & AVIF_TRANSFORM_CLAP) {
        avifCropRect rect{};
        avifDiagnostics diag{};
        if (avifCropRectConvertCleanApertureBox(&rect, &image.clap, image.width, image.height, image.yuvFormat, &diag))
            t.CropX = rect.x, t.CropY = rect.y, t.CropWidth = rect.width, t.CropHeight = rect.height;
    }
    if (image.transformFlags & AVIF_TRANSFORM_IROT) t.QuarterTurns = image.irot.angle & 3;
    if (image.transformFlags & AVIF_TRANSFORM_IMIR) t.Mirror = image.imir.mode ? 1 : 0;
    return t;
}

// The stand-in file served to libavif.
struct TStandInIo {
    avifIO Io{};
    const TIsoStandIn& File;
    std::vector<uint8_t> Buffer;
    explicit TStandInIo(const TIsoStandIn& file) : File(file) {
        Io.read = Read;
        Io.sizeHint = file.Length();
        Io.persistent = AVIF_FALSE;
        Io.data = this;
    }
    static avifResult Read(avifIO* io, uint32_t, uint64_t offset, size_t size, avifROData* out) {
        auto* self = static_cast<TStandInIo*>(io->data);
        if (offset > self->File.Length()) return AVIF_RESULT_IO_ERROR;
        size = static_cast<size_t>(std::min<uint64_t>(size, self->File.Length() - offset));
        if (size > (64u << 20)) return AVIF_RESULT_IO_ERROR;  // the describing boxes are small
        self->Buffer.resize(size);
        if (!self->File.Read(offset, size, self->Buffer.data())) return AVIF_RESULT_IO_ERROR;
        out->data = self->Buffer.data();
        out->size = size;
        return AVIF_RESULT_OK;
    }
};

}  // namespace

void TAvifImage::Decode(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> ordered = AvifCellsInGridOrder(data, size);
    if (!ordered.empty()) data = ordered.data(), size = ordered.size();
    std::shared_ptr<avifDecoder> decoder = NewDecoder();
    decoder->ignoreExif = decoder->ignoreXMP = AVIF_TRUE;
    Check(avifDecoderSetIOMemory(decoder.get(), data, size), "cannot read the file");
    const avifResult parse = avifDecoderParse(decoder.get());
    if (parse != AVIF_RESULT_OK) {
        // libavif refuses pictures above its own size limit before the guard
        // and the program's limit could judge them: they judge the header first.
        int shownWidth = 0, shownHeight = 0;
        if (HeifShownSize(data, size, shownWidth, shownHeight)) CheckHeader(shownWidth, shownHeight);
        Check(parse, "cannot read the file");
    }
    const avifImage& parsed = *decoder->image;
    const TYuvTransform transform = TransformOf(parsed);
    uint32_t width = 0, height = 0;
    TransformedSize(parsed, transform, width, height);
    CheckHeader(width, height);
    if (width == 0 || height == 0) throw EInvalidGraphic("AVIF error: empty picture");
    // The coded stream states its own size, which the AV1 decoder allocates:
    // no side may go beyond the container's, give or take a coding block.
    const uint64_t side = std::max(parsed.width, parsed.height) + uint64_t{128};
    decoder->imageDimensionLimit = static_cast<uint32_t>(side);
    decoder->imageSizeLimit = static_cast<uint32_t>(std::min<uint64_t>(side * side, 0xFFFFFFFFu));
    const uint32_t parsedWidth = parsed.width, parsedHeight = parsed.height;
    Check(avifDecoderNextImage(decoder.get()), "cannot decode");
    const avifImage& image = *decoder->image;
    if (image.width != parsedWidth || image.height != parsedHeight || !image.yuvPlanes[AVIF_CHAN_Y] || image.depth < 8 ||
        image.depth > 16)
        throw EInvalidGraphic("AVIF error: the decoded picture differs from its header");
    // The planes are kept (not the file's bytes: libavif reads them no more);
    // the rows are made from them as they are read.
    if (Limits.Deep) FDeep = YuvToDeep(image, transform);
    FDeferred = DeferredYuvRows(decoder, image, transform);
}

bool TAvifImage::PeekSize(const uint8_t* head, size_t size, TPeek& peek) const {
    const TIsoStandIn file(head, size);
    if (!file.Usable()) return false;
    TStandInIo io(file);
    TDecoder decoder = NewDecoder();
    decoder->ignoreExif = decoder->ignoreXMP = AVIF_TRUE;
    avifDecoderSetIO(decoder.get(), &io.Io);
    const bool parsed = avifDecoderParse(decoder.get()) == AVIF_RESULT_OK;
    decoder->io = nullptr;  // the reader is ours, not the decoder's to destroy
    if (!parsed) return false;
    uint32_t width = 0, height = 0;
    TransformedSize(*decoder->image, TransformOf(*decoder->image), width, height);
    peek.Width = width;
    peek.Height = height;
    // The planes as decoded (three full ones at most), a band of RGB, then 24 bits.
    peek.BytesPerPixel = (decoder->image->depth > 8 ? 2 : 1) * 4 + 3;
    return true;
}

TContainerBlocks AvifBlocks(const std::string& fileName) {
    TContainerBlocks blocks;
    try {
        TDecoder decoder = NewDecoder();
        if (avifDecoderSetIOFile(decoder.get(), fileName.c_str()) != AVIF_RESULT_OK ||
            avifDecoderParse(decoder.get()) != AVIF_RESULT_OK)
            return blocks;
        const avifImage& image = *decoder->image;
        if (image.icc.size > 0) {
            blocks.Profile.assign(image.icc.data, image.icc.data + image.icc.size);
        } else {
            float xy[8];
            avifColorPrimariesGetValues(image.colorPrimaries, xy);
            TCicp cicp;
            cicp.Primaries = image.colorPrimaries;
            cicp.Transfer = image.transferCharacteristics;
            cicp.Red[0] = xy[0], cicp.Red[1] = xy[1], cicp.Green[0] = xy[2], cicp.Green[1] = xy[3];
            cicp.Blue[0] = xy[4], cicp.Blue[1] = xy[5], cicp.White[0] = xy[6], cicp.White[1] = xy[7];
            // Unspecified primaries are read as sRGB's, as libavif's own tools read them.
            if (image.colorPrimaries != AVIF_COLOR_PRIMARIES_UNSPECIFIED) blocks.Profile = CicpProfile(cicp);
        }
        const uint8_t* exif = image.exif.data;
        size_t exifSize = image.exif.size;
        if (exifSize >= 6 && std::memcmp(exif, "Exif\0\0", 6) == 0) exif += 6, exifSize -= 6;
        blocks.Exif.assign(exif, exif + exifSize);
        blocks.Xmp.assign(reinterpret_cast<const char*>(image.xmp.data), image.xmp.size);
    } catch (const EInvalidGraphic&) {
    }
    return blocks;
}

}  // namespace quorix
