#include "Graphic.h"

#include "Bmp.h"
#include "Gif.h"
#include "Avif.h"
#include "Heif.h"
#include "Jpeg.h"
#include "Jpeg2000Bitmap.h"
#include "JpegXl.h"
#include "Png.h"
#include "QuorixError.h"
#include "Tiff.h"
#include "WebP.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace quorix {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });  // ASCII only, in any locale
    return text;
}

void RegisterStandardFormats(TFileFormats& formats) {
    formats.Add("jpeg", "JPEG Image File", GraphicFactory<TJPEGImage>(), "JPEG", "image/jpeg");
    formats.Add("jpg", "JPEG Image File", GraphicFactory<TJPEGImage>(), "JPEG", "image/jpeg");
    formats.Add("PNG", "Portable Network Graphics", GraphicFactory<TPngImage>(), "PNG", "image/png");
    formats.Add("GIF", "GIF Image", GraphicFactory<TGIFImage>(), "GIF", "image/gif");
    formats.Add("bmp", "Bitmaps", GraphicFactory<TBmpImage>(), "BMP", "image/bmp");
    formats.Add("jp2", "JPEG 2000 Image", GraphicFactory<TJpeg2000Bitmap>(), "JPEG 2000", "image/jp2");
    for (const char* extension : {"j2k", "jpc"})
        formats.Add(extension, "JPEG 2000 Image", GraphicFactory<TJpeg2000Bitmap>(), "JPEG 2000", "image/x-jp2-codestream");
    formats.Add("heic", "HEIF Image", GraphicFactory<THeifImage>(), "HEIF", "image/heic");
    for (const char* extension : {"heif", "hif"})
        formats.Add(extension, "HEIF Image", GraphicFactory<THeifImage>(), "HEIF", "image/heif");
    formats.Add("avif", "AVIF Image", GraphicFactory<TAvifImage>(), "AVIF", "image/avif");
    formats.Add("webp", "WebP Image", GraphicFactory<TWebPImage>(), "WebP", "image/webp");
    for (const char* extension : {"tif", "tiff"})
        formats.Add(extension, "TIFF Image", GraphicFactory<TTiffImage>(), "TIFF", "image/tiff");
    formats.Add("jxl", "JPEG XL Image", GraphicFactory<TJpegXlImage>(), "JPEG XL", "image/jxl");
}

template <class T>
TEncoderFactory RasterEncoder() {
    return [](int quality) {
        auto image = std::make_unique<T>();
        image->Quality = quality;
        return std::unique_ptr<TGraphic>(std::move(image));
    };
}

std::vector<TOutputFormatInfo> StandardOutputFormats() {
    auto jpeg = [](int quality) {
        auto image = std::make_unique<TJPEGImage>();
        image->PixelFormat = TJPEGPixelFormat::jf24Bit;
        image->CompressionQuality = static_cast<uint8_t>(quality);
        return std::unique_ptr<TGraphic>(std::move(image));
    };
    return {
        {"jpg", "JPEG", ".jpg", true, true, jpeg, TMetadataWay::IntoFile, mbAll, 1},  // the compressed file
        {"png", "PNG", ".png", false, true, [](int) { return std::unique_ptr<TGraphic>(new TPngImage()); },
         TMetadataWay::IntoFile, mbAll, 0.5, true},  // rows go straight into the file
        {"webp", "WebP", ".webp", true, true, RasterEncoder<TWebPImage>(), TMetadataWay::IntoFile, mbProfile | mbExif | mbXmp,
         7},  // ARGB and YUV planes
        {"avif", "AVIF", ".avif", true, true, RasterEncoder<THeifImage>(), TMetadataWay::Encoder, mbProfile | mbExif | mbXmp,
         20},  // the RGB copy, YUV planes and libaom's frames: 19 measured on 24 MP
        {"jxl", "JPEG XL", ".jxl", true, true, RasterEncoder<TJpegXlImage>(), TMetadataWay::Encoder,
         mbProfile | mbExif | mbXmp, 48, true},  // libjxl's float planes: 41 measured on 24 MP
        {"tif", "TIFF", ".tif", false, true, RasterEncoder<TTiffImage>(), TMetadataWay::IntoFile, mbAll,
         4, true},  // the file built in memory, then its copy with the metadata
        {"bmp", "BMP", ".bmp", false, false, [](int) { return std::unique_ptr<TGraphic>(new TBmpImage()); },
         TMetadataWay::None, 0, 3},
    };
}

}  // namespace

void TFileFormats::Add(const std::string& extension, const std::string& description, TGraphicFactory create,
                       const std::string& family, const std::string& mime) {
    FEntries.push_back({Lower(extension), description, std::move(create), family, mime});
}

namespace {

// Each value once, in the order first met.
template <class TField>
std::vector<std::string> Distinct(TField field) {
    std::vector<std::string> values;
    for (const TFileFormat& format : FileFormats().Entries()) {
        const std::string& value = field(format);
        if (!value.empty() && std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
    }
    return values;
}

}  // namespace

std::vector<std::string> PictureMimeTypes() {
    return Distinct([](const TFileFormat& f) -> const std::string& { return f.Mime; });
}

std::vector<std::string> PictureFamilies() {
    return Distinct([](const TFileFormat& f) -> const std::string& { return f.Family; });
}

std::string ExplorerFilter() {
    std::string names, all, families;
    for (const std::string& family : PictureFamilies()) {
        std::string masks;
        for (const TFileFormat& format : FileFormats().Entries())
            if (format.Family == family) {
                masks += (masks.empty() ? "*." : ";*.") + format.Extension;
                names += (names.empty() ? "" : ", ") + format.Extension;
            }
        all += (all.empty() ? "" : ";") + masks;
        families += "|" + family + "|" + masks;
    }
    return "Show all supported pictures (" + names + ")|" + all + families;
}

const TFileFormat* TFileFormats::Find(const std::string& extension) const {
    std::string wanted = Lower(extension);
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
        if (it->Extension == wanted) return &*it;
    return nullptr;
}

TFileFormats& FileFormats() {
    static TFileFormats formats = [] {
        TFileFormats f;
        RegisterStandardFormats(f);
        return f;
    }();
    return formats;
}

void RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicFactory create) {
    FileFormats().Add(extension, description, std::move(create));
}

const std::vector<TOutputFormatInfo>& OutputFormats() {
    static const std::vector<TOutputFormatInfo> formats = StandardOutputFormats();
    return formats;
}

const TOutputFormatInfo& FindOutputFormat(const std::string& key) {
    for (const TOutputFormatInfo& format : OutputFormats())
        if (format.Key == key) return format;
    return OutputFormats().front();
}

std::vector<const TOutputFormatInfo*> WindowOutputFormats() {
    std::vector<const TOutputFormatInfo*> formats;
    for (const TOutputFormatInfo& format : OutputFormats())
        if (format.InWindow) formats.push_back(&format);
    return formats;
}

std::string PictureExtension(const std::string& fileName) {
    size_t slash = fileName.find_last_of('/');
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? "" : name.substr(dot + 1);
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    FGraphic = std::move(graphic);
    if (OnChange) OnChange();
}

bool PeekPictureFile(const std::string& fileName, TGraphic::TPeek& peek) {
    const TFileFormat* format = FileFormats().Find(PictureExtension(fileName));
    if (!format) return false;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> head(size_t{1} << 20);  // headers lie in the first bytes; a JPEG's frame may follow large metadata
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    return format->Create()->PeekSize(head.data(), static_cast<size_t>(in.gcount()), peek);
}

void TPicture::LoadFromFile(const std::string& fileName, const TDecodeLimits& limits) {
    std::string extension = PictureExtension(fileName);
    const TFileFormat* format = FileFormats().Find(extension);
    if (!format) throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
    std::unique_ptr<TGraphic> graphic = format->Create();
    graphic->Limits = limits;
    graphic->LoadFromFile(fileName);
    SetGraphic(std::move(graphic));
}

}  // namespace quorix
