#include "PhotoMetadata.h"

#include "Graphic.h"
#include "JpegXl.h"

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

#include <webp/demux.h>
#include <webp/mux.h>

#include <fstream>
#include <iterator>
#include <mutex>

namespace quorix {

namespace {

// exiv2's XMP toolkit shares state between threads: it takes this lock.
std::mutex XmpMutex;
void XmpLock(void*, bool lock) {
    if (lock) XmpMutex.lock();
    else XmpMutex.unlock();
}

void InitOnce() {
    static const bool done = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);  // a damaged tag is not worth a line on standard error
        Exiv2::XmpParser::initialize(XmpLock, nullptr);
        Exiv2::enableBMFF(true);  // HEIF and AVIF sources
        return true;
    }();
    (void)done;
}

// A TIFF source's EXIF holds the layout of its own pixels: it must not reach another file.
const char* const TiffStructureTags[] = {
    "ImageWidth", "ImageLength", "BitsPerSample", "Compression", "PhotometricInterpretation", "StripOffsets",
    "SamplesPerPixel", "RowsPerStrip", "StripByteCounts", "PlanarConfiguration", "TileWidth", "TileLength",
    "TileOffsets", "TileByteCounts", "Predictor", "ExtraSamples", "SampleFormat", "NewSubfileType",
    "SubfileType", "FillOrder", "JPEGTables", "YCbCrSubSampling", "YCbCrPositioning", "InterColorProfile",
    "XMLPacket", "IPTCNAA", "ImageResources", "SubIFDs"};

template <class Data, class Pred>
void EraseIf(Data& data, Pred pred) {
    for (auto it = data.begin(); it != data.end();) it = pred(*it) ? data.erase(it) : std::next(it);
}

template <class Data>
void SetIfPresent(Data& data, const std::string& key, const Exiv2::Value& value) {
    auto it = data.findKey(typename std::conditional<std::is_same<Data, Exiv2::XmpData>::value, Exiv2::XmpKey,
                                                     Exiv2::ExifKey>::type(key));
    if (it != data.end()) it->setValue(&value);
}

// A WebP file's chunk by its name ("ICCP"), empty when there is none.
std::vector<uint8_t> WebPChunk(const std::vector<uint8_t>& file, const char* name) {
    const WebPData data{file.data(), file.size()};
    std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demux(WebPDemux(&data), WebPDemuxDelete);
    WebPChunkIterator chunk;
    if (!demux || !WebPDemuxGetChunk(demux.get(), name, 1, &chunk)) return {};
    std::vector<uint8_t> bytes(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    return bytes;
}

bool LooksLikeJpegXl(const std::string& fileName) {
    const std::string extension = PictureExtension(fileName);
    return extension.size() == 3 && (extension[0] | 0x20) == 'j' && (extension[1] | 0x20) == 'x' && (extension[2] | 0x20) == 'l';
}

std::vector<uint8_t> FileBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

struct TPhotoMetadata::TData {
    Exiv2::ExifData Exif;
    Exiv2::XmpData Xmp;
    Exiv2::IptcData Iptc;
    std::vector<uint8_t> Profile;
    bool FromTiff = false;
};

TPhotoMetadata::TPhotoMetadata() : FData(std::make_unique<TData>()) {}
TPhotoMetadata::~TPhotoMetadata() = default;
TPhotoMetadata::TPhotoMetadata(TPhotoMetadata&&) noexcept = default;
TPhotoMetadata& TPhotoMetadata::operator=(TPhotoMetadata&&) noexcept = default;

TPhotoMetadata TPhotoMetadata::Read(const std::string& fileName) {
    InitOnce();
    TPhotoMetadata result;
    TData& d = *result.FData;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(fileName);
        image->readMetadata();
        d.Exif = image->exifData();
        d.Xmp = image->xmpData();
        d.Iptc = image->iptcData();
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf* icc = image->iccProfile();
            d.Profile.assign(icc->pData_, icc->pData_ + icc->size_);
        }
        d.FromTiff = image->imageType() == Exiv2::ImageType::tiff;
        // exiv2 does not read a WebP's profile: libwebp's demuxer does.
        if (image->imageType() == Exiv2::ImageType::webp && d.Profile.empty()) d.Profile = WebPChunk(FileBytes(fileName), "ICCP");
    } catch (const std::exception&) {
        result = TPhotoMetadata();  // unknown or damaged: the picture goes without
    }
    // exiv2 does not read a JPEG XL codestream (nor its profile): libjxl does.
    if (result.FData->Profile.empty() && LooksLikeJpegXl(fileName)) {
        const std::vector<uint8_t> file = FileBytes(fileName);
        result.FData->Profile = JpegXlIccProfile(file.data(), file.size());
    }
    return result;
}

bool TPhotoMetadata::Empty() const {
    return FData->Exif.empty() && FData->Xmp.empty() && FData->Iptc.empty() && FData->Profile.empty();
}

std::string TPhotoMetadata::DateTaken() const {
    std::string text;
    for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Image.DateTime"}) {
        auto it = FData->Exif.findKey(Exiv2::ExifKey(key));
        if (it != FData->Exif.end() && (text = it->toString()).size() >= 10) break;
        text.clear();
    }
    if (text.empty()) {
        auto it = FData->Xmp.findKey(Exiv2::XmpKey("Xmp.exif.DateTimeOriginal"));
        if (it != FData->Xmp.end()) text = it->toString();
    }
    // "2024:05:17 10:20:30" in EXIF, "2024-05-17T10:20:30" in XMP: the digits are taken, not parsed.
    if (text.size() < 10) return "";
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return "";
    return text.substr(0, 4) + "-" + text.substr(5, 2) + "-" + text.substr(8, 2);
}

const std::vector<uint8_t>& TPhotoMetadata::Profile() const { return FData->Profile; }
void TPhotoMetadata::SetProfile(std::vector<uint8_t> profile) { FData->Profile = std::move(profile); }

void TPhotoMetadata::PrepareFor(int width, int height, const TMetadataOptions& options) {
    InitOnce();
    TData& d = *FData;
    if (!options.KeepProfile) d.Profile.clear();
    if (!options.KeepMetadata) {
        d.Exif.clear();
        d.Xmp.clear();
        d.Iptc.clear();
        return;
    }
    if (d.FromTiff)
        for (const char* tag : TiffStructureTags) {
            auto it = d.Exif.findKey(Exiv2::ExifKey(std::string("Exif.Image.") + tag));
            if (it != d.Exif.end()) d.Exif.erase(it);
        }
    Exiv2::ExifThumb(d.Exif).erase();
    const Exiv2::UShortValue upright(1);
    const Exiv2::ULongValue outWidth(static_cast<uint32_t>(width)), outHeight(static_cast<uint32_t>(height));
    SetIfPresent(d.Exif, "Exif.Image.Orientation", upright);
    SetIfPresent(d.Exif, "Exif.Image.ImageWidth", outWidth);
    SetIfPresent(d.Exif, "Exif.Image.ImageLength", outHeight);
    if (!d.Exif.empty()) {
        d.Exif["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
        d.Exif["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
    }
    SetIfPresent(d.Xmp, "Xmp.tiff.Orientation", Exiv2::XmpTextValue("1"));
    SetIfPresent(d.Xmp, "Xmp.tiff.ImageWidth", Exiv2::XmpTextValue(std::to_string(width)));
    SetIfPresent(d.Xmp, "Xmp.tiff.ImageLength", Exiv2::XmpTextValue(std::to_string(height)));
    SetIfPresent(d.Xmp, "Xmp.exif.PixelXDimension", Exiv2::XmpTextValue(std::to_string(width)));
    SetIfPresent(d.Xmp, "Xmp.exif.PixelYDimension", Exiv2::XmpTextValue(std::to_string(height)));
    if (options.RemoveGps) {
        EraseIf(d.Exif, [](const Exiv2::Exifdatum& x) { return x.groupName() == "GPSInfo" || x.key() == "Exif.Image.GPSTag"; });
        EraseIf(d.Xmp, [](const Exiv2::Xmpdatum& x) { return x.key().rfind("Xmp.exif.GPS", 0) == 0; });
    }
}

namespace {

// WebP through libwebp's mux: the profile, EXIF (encoded by exiv2) and XMP as chunks.
std::vector<uint8_t> WriteWebPChunks(const std::vector<uint8_t>& file, const Exiv2::ExifData& exif,
                                     const Exiv2::XmpData& xmp, const std::vector<uint8_t>& profile) {
    const WebPData input{file.data(), file.size()};
    std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&input, 1), WebPMuxDelete);
    if (!mux) return file;
    Exiv2::Blob exifBlob;
    if (!exif.empty()) Exiv2::ExifParser::encode(exifBlob, Exiv2::littleEndian, exif);
    std::string packet;
    if (!xmp.empty() && Exiv2::XmpParser::encode(packet, xmp) != 0) packet.clear();
    auto set = [&](const char* name, const uint8_t* bytes, size_t size) {
        if (size == 0) return true;
        const WebPData chunk{bytes, size};
        return WebPMuxSetChunk(mux.get(), name, &chunk, 1) == WEBP_MUX_OK;
    };
    if (!set("ICCP", profile.data(), profile.size()) || !set("EXIF", exifBlob.data(), exifBlob.size()) ||
        !set("XMP ", reinterpret_cast<const uint8_t*>(packet.data()), packet.size()))
        return file;
    WebPData output;
    WebPDataInit(&output);
    if (WebPMuxAssemble(mux.get(), &output) != WEBP_MUX_OK) return file;
    std::vector<uint8_t> bytes(output.bytes, output.bytes + output.size);
    WebPDataClear(&output);
    return bytes;
}

}  // namespace

void TPhotoMetadata::Encode(std::vector<uint8_t>& profile, std::vector<uint8_t>& exif, std::string& xmp) const {
    InitOnce();
    profile = FData->Profile;
    exif.clear();
    xmp.clear();
    try {
        if (!FData->Exif.empty()) Exiv2::ExifParser::encode(exif, Exiv2::littleEndian, FData->Exif);
        if (!FData->Xmp.empty() && Exiv2::XmpParser::encode(xmp, FData->Xmp) != 0) xmp.clear();
    } catch (const std::exception&) {
        exif.clear();
        xmp.clear();
    }
}

std::vector<uint8_t> TPhotoMetadata::WriteInto(const std::vector<uint8_t>& file) const {
    if (Empty()) return file;
    InitOnce();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
        const auto type = image->imageType();
        if (type == Exiv2::ImageType::webp) return WriteWebPChunks(file, FData->Exif, FData->Xmp, FData->Profile);
        if (type != Exiv2::ImageType::jpeg && type != Exiv2::ImageType::png && type != Exiv2::ImageType::webp &&
            type != Exiv2::ImageType::tiff)
            return file;
        image->readMetadata();  // a TIFF's own structure stays; ours is added to it
        const TData& d = *FData;
        if (!d.Exif.empty() && image->supportsMetadata(Exiv2::mdExif)) {
            Exiv2::ExifData exif = image->exifData();
            for (const Exiv2::Exifdatum& datum : d.Exif)
                if (exif.findKey(Exiv2::ExifKey(datum.key())) == exif.end() || datum.groupName() != "Image")
                    exif[datum.key()] = datum.value();
            image->setExifData(exif);
        }
        if (!d.Xmp.empty() && image->supportsMetadata(Exiv2::mdXmp)) image->setXmpData(d.Xmp);
        if (!d.Iptc.empty()) image->setIptcData(d.Iptc);
        if (!d.Profile.empty()) {
            Exiv2::DataBuf icc(d.Profile.data(), static_cast<long>(d.Profile.size()));
            image->setIccProfile(icc, false);
        }
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        io.seek(0, Exiv2::BasicIo::beg);
        const Exiv2::DataBuf written = io.read(static_cast<long>(io.size()));
        return std::vector<uint8_t>(written.pData_, written.pData_ + written.size_);
    } catch (const std::exception&) {
        return file;  // the picture is written without it rather than not at all
    }
}

}  // namespace quorix
