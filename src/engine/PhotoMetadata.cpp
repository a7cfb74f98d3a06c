#include "PhotoMetadata.h"

#include "Graphic.h"
#include "Avif.h"
#include "Heif.h"
#include "JpegXl.h"
#include "PhotoMetadataData.h"

#include <exiv2/webpimage.hpp>

#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
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

std::string LowerExtension(const std::string& fileName) {
    std::string extension = PictureExtension(fileName);
    for (char& c : extension) c = static_cast<char>(c | 0x20);
    return extension;
}

bool LooksLikeHeif(const std::string& fileName) {
    const std::string extension = LowerExtension(fileName);
    return extension == "heic" || extension == "heif" || extension == "hif" || extension == "avif";
}



// A PNG's eXIf chunk (EXIF as a TIFF structure), which exiv2 does not read;
// the chunks are walked by their headers, a bounded number of them.
std::vector<uint8_t> PngExifChunk(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    uint8_t head[8];
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!in.read(reinterpret_cast<char*>(head), 8) || std::memcmp(head, signature, 8) != 0) return {};
    for (int chunk = 0; chunk < 100000 && in.read(reinterpret_cast<char*>(head), 8); ++chunk) {
        const uint32_t length = uint32_t{head[0]} << 24 | uint32_t{head[1]} << 16 | uint32_t{head[2]} << 8 | head[3];
        if (length > 0x7FFFFFFFu || std::memcmp(head + 4, "IEND", 4) == 0) return {};
        if (std::memcmp(head + 4, "eXIf", 4) == 0) {
            if (length > (16u << 20)) return {};
            std::vector<uint8_t> bytes(length);
            if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) return {};
            if (bytes.size() >= 6 && std::memcmp(bytes.data(), "Exif\0\0", 6) == 0) bytes.erase(bytes.begin(), bytes.begin() + 6);
            return bytes;
        }
        in.seekg(static_cast<std::streamoff>(length) + 4, std::ios::cur);
    }
    return {};
}

// A JPEG's segments before its picture data, grouped by the block they carry
// (each group whole segments, markers included); a bounded walk.
struct TJpegBlockSegments {
    std::vector<uint8_t> Groups[4];  // profile, EXIF, XMP, IPTC
};

TJpegBlockSegments JpegBlockSegments(const std::string& fileName) {
    TJpegBlockSegments result;
    std::ifstream in(fileName, std::ios::binary);
    uint8_t head[4];
    if (!in.read(reinterpret_cast<char*>(head), 2) || head[0] != 0xFF || head[1] != 0xD8) return result;
    auto startsWith = [](const std::vector<uint8_t>& segment, const char* text, size_t size) {
        return segment.size() >= 4 + size && std::memcmp(segment.data() + 4, text, size) == 0;
    };
    size_t total = 0;
    for (int count = 0; count < 4096 && in.read(reinterpret_cast<char*>(head), 4) && head[0] == 0xFF; ++count) {
        const int marker = head[1];
        const size_t length = size_t{head[2]} << 8 | head[3];
        if (marker == 0xDA || marker == 0xD9 || length < 2 || (total += length) > (size_t{32} << 20)) break;
        std::vector<uint8_t> segment(head, head + 4);
        segment.resize(2 + length);
        if (!in.read(reinterpret_cast<char*>(segment.data() + 4), static_cast<std::streamsize>(length - 2))) break;
        int group = -1;
        if (marker == 0xE2 && startsWith(segment, "ICC_PROFILE", 12)) group = 0;
        if (marker == 0xE1 && startsWith(segment, "Exif", 5)) group = 1;
        if (marker == 0xE1 && startsWith(segment, "http://ns.adobe.com/", 20)) group = 2;
        if (marker == 0xED && startsWith(segment, "Photoshop 3.0", 14)) group = 3;
        if (group >= 0) result.Groups[group].insert(result.Groups[group].end(), segment.begin(), segment.end());
    }
    return result;
}

// When exiv2 cannot read a JPEG's metadata as a whole, each block is read
// from its own segments: a damaged block is left out, and named.
void ReadJpegBlockByBlock(const std::string& fileName, TPhotoMetadata::TData& d) {
    const TJpegBlockSegments segments = JpegBlockSegments(fileName);
    const TMetadataBlock blocks[4] = {mbProfile, mbExif, mbXmp, mbIptc};
    for (int group = 0; group < 4; ++group) {
        if (segments.Groups[group].empty()) continue;
        std::vector<uint8_t> alone = {0xFF, 0xD8};
        alone.insert(alone.end(), segments.Groups[group].begin(), segments.Groups[group].end());
        alone.insert(alone.end(), {0xFF, 0xD9});
        try {
            Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(alone.data(), static_cast<long>(alone.size()));
            image->readMetadata();
            if (blocks[group] == mbProfile && image->iccProfileDefined())
                d.Profile.assign(image->iccProfile()->pData_, image->iccProfile()->pData_ + image->iccProfile()->size_);
            if (blocks[group] == mbExif) d.Exif = image->exifData();
            if (blocks[group] == mbXmp) d.Xmp = image->xmpData();
            if (blocks[group] == mbIptc) d.Iptc = image->iptcData();
        } catch (const std::exception& e) {
            d.Refused.emplace_back(blocks[group], NotKeptLine(BlockName(blocks[group]), e.what()));
        }
    }
}

// One block taken from what exiv2 read: a block it cannot hand over is left
// out, the others are kept.
void Take(const std::function<void()>& take) {
    try {
        take();
    } catch (const std::exception&) {
    }
}

// What a HEIF or AVIF container's own library reads where exiv2 read
// nothing (it calls some files' metadata corrupt that other readers take),
// and the profile for colours signalled as code points.
void TakeContainerBlocks(const std::string& fileName, TPhotoMetadata::TData& d) {
    if (!d.Profile.empty() && !d.Exif.empty() && !d.Xmp.empty()) return;
    const TContainerBlocks blocks = LowerExtension(fileName) == "avif" ? AvifBlocks(fileName) : HeifBlocks(fileName);
    if (d.Profile.empty()) d.Profile = blocks.Profile;
    if (d.Exif.empty() && !blocks.Exif.empty())
        Take([&] { Exiv2::ExifParser::decode(d.Exif, blocks.Exif.data(), static_cast<uint32_t>(blocks.Exif.size())); });
    if (d.Xmp.empty() && !blocks.Xmp.empty()) Take([&] { Exiv2::XmpParser::decode(d.Xmp, blocks.Xmp); });
}

}  // namespace

void InitExiv2() {
    static const bool done = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);  // a damaged tag is not worth a line on standard error
        Exiv2::XmpParser::initialize(XmpLock, nullptr);
        Exiv2::enableBMFF(true);  // HEIF and AVIF sources
        return true;
    }();
    (void)done;
}

std::vector<uint8_t> FileBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char* BlockName(TMetadataBlock block) {
    switch (block) {
    case mbProfile: return "colour profile";
    case mbExif: return "EXIF";
    case mbXmp: return "XMP";
    case mbIptc: return "IPTC";
    default: return "metadata";
    }
}

std::string NotKeptLine(const std::string& block, const std::string& reason) {
    return "WARNING! " + block + " not kept: " + reason;
}

TPhotoMetadata::TPhotoMetadata() : FData(std::make_unique<TData>()) {}
TPhotoMetadata::~TPhotoMetadata() = default;
TPhotoMetadata::TPhotoMetadata(TPhotoMetadata&&) noexcept = default;
TPhotoMetadata& TPhotoMetadata::operator=(TPhotoMetadata&&) noexcept = default;

TPhotoMetadata TPhotoMetadata::Copy() const {
    TPhotoMetadata copy;
    *copy.FData = *FData;
    return copy;
}

TPhotoMetadata TPhotoMetadata::Read(const std::string& fileName) {
    InitExiv2();
    TPhotoMetadata result;
    TData& d = *result.FData;
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(fileName);
    } catch (const std::exception&) {
        // a container exiv2 does not know
    }
    if (image.get()) {
        // Damage in one block keeps what was read before it; each block is
        // then taken on its own.
        try {
            image->readMetadata();
        } catch (const std::exception&) {
            if (image->imageType() == Exiv2::ImageType::jpeg) {
                ReadJpegBlockByBlock(fileName, d);
                image.reset();
            }
        }
    }
    if (image.get()) {
        Take([&] { d.Exif = image->exifData(); });
        Take([&] { d.Xmp = image->xmpData(); });
        Take([&] { d.Iptc = image->iptcData(); });
        Take([&] {
            if (!image->iccProfileDefined()) return;
            const Exiv2::DataBuf* icc = image->iccProfile();
            d.Profile.assign(icc->pData_, icc->pData_ + icc->size_);
        });
        d.FromTiff = image->imageType() == Exiv2::ImageType::tiff;
        // exiv2 does not read a WebP's profile (libwebp's demuxer does), nor a PNG's eXIf chunk.
        if (image->imageType() == Exiv2::ImageType::webp && d.Profile.empty())
            Take([&] { d.Profile = WebPChunk(FileBytes(fileName), "ICCP"); });
        if (image->imageType() == Exiv2::ImageType::png && d.Exif.empty())
            Take([&] {
                const std::vector<uint8_t> exif = PngExifChunk(fileName);
                if (!exif.empty()) Exiv2::ExifParser::decode(d.Exif, exif.data(), static_cast<uint32_t>(exif.size()));
            });
    }
    if (LooksLikeHeif(fileName)) TakeContainerBlocks(fileName, d);
    // exiv2 does not read a JPEG XL codestream (nor its profile): libjxl does.
    if (d.Profile.empty() && LooksLikeJpegXl(fileName)) {
        const std::vector<uint8_t> file = FileBytes(fileName);
        d.Profile = JpegXlIccProfile(file.data(), file.size());
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

namespace {

void PrepareExif(Exiv2::ExifData& exif, bool fromTiff, int width, int height, bool removeGps) {
    if (fromTiff)
        for (const char* tag : TiffStructureTags) {
            auto it = exif.findKey(Exiv2::ExifKey(std::string("Exif.Image.") + tag));
            if (it != exif.end()) exif.erase(it);
        }
    Exiv2::ExifThumb(exif).erase();
    const Exiv2::UShortValue upright(1);
    const Exiv2::ULongValue outWidth(static_cast<uint32_t>(width)), outHeight(static_cast<uint32_t>(height));
    SetIfPresent(exif, "Exif.Image.Orientation", upright);
    SetIfPresent(exif, "Exif.Image.ImageWidth", outWidth);
    SetIfPresent(exif, "Exif.Image.ImageLength", outHeight);
    if (!exif.empty()) {
        exif["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
        exif["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
    }
    if (removeGps)
        EraseIf(exif, [](const Exiv2::Exifdatum& x) { return x.groupName() == "GPSInfo" || x.key() == "Exif.Image.GPSTag"; });
}

void PrepareXmp(Exiv2::XmpData& xmp, int width, int height, bool removeGps) {
    SetIfPresent(xmp, "Xmp.tiff.Orientation", Exiv2::XmpTextValue("1"));
    SetIfPresent(xmp, "Xmp.tiff.ImageWidth", Exiv2::XmpTextValue(std::to_string(width)));
    SetIfPresent(xmp, "Xmp.tiff.ImageLength", Exiv2::XmpTextValue(std::to_string(height)));
    SetIfPresent(xmp, "Xmp.exif.PixelXDimension", Exiv2::XmpTextValue(std::to_string(width)));
    SetIfPresent(xmp, "Xmp.exif.PixelYDimension", Exiv2::XmpTextValue(std::to_string(height)));
    if (removeGps) EraseIf(xmp, [](const Exiv2::Xmpdatum& x) { return x.key().rfind("Xmp.exif.GPS", 0) == 0; });
}

}  // namespace

void TPhotoMetadata::PrepareFor(int width, int height, const TMetadataOptions& options) {
    InitExiv2();
    TData& d = *FData;
    // What is not wanted is not missed.
    const unsigned wanted = (options.KeepProfile ? unsigned{mbProfile} : 0u) | (options.KeepMetadata ? mbExif | mbXmp | mbIptc : 0u);
    d.Refused.erase(std::remove_if(d.Refused.begin(), d.Refused.end(), [&](const auto& r) { return !(wanted & r.first); }),
                    d.Refused.end());
    if (!options.KeepProfile) d.Profile.clear();
    if (!options.KeepMetadata) {
        d.Exif.clear();
        d.Xmp.clear();
        d.Iptc.clear();
        return;
    }
    // A block that cannot be edited for the output is left out, and named.
    try {
        PrepareExif(d.Exif, d.FromTiff, width, height, options.RemoveGps);
    } catch (const std::exception& e) {
        d.Exif.clear();
        d.Refused.emplace_back(mbExif, NotKeptLine("EXIF", e.what()));
    }
    try {
        PrepareXmp(d.Xmp, width, height, options.RemoveGps);
    } catch (const std::exception& e) {
        d.Xmp.clear();
        d.Refused.emplace_back(mbXmp, NotKeptLine("XMP", e.what()));
    }
}

}  // namespace quorix
