// Writing a photo's metadata into an output, block by block: a block the
// container or the library refuses is left out and named, the others go in.
#include "Graphic.h"
#include "PhotoMetadataData.h"
#include "QuorixError.h"

#include <exiv2/webpimage.hpp>
#include <webp/mux.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace quorix {

namespace {

const TMetadataBlock Order[] = {mbProfile, mbExif, mbXmp, mbIptc};

// The output's own EXIF (a TIFF's structure) with the photo's tags over it.
Exiv2::ExifData MergedExif(const Exiv2::ExifData& own, const Exiv2::ExifData& photo) {
    Exiv2::ExifData exif = own;
    for (const Exiv2::Exifdatum& datum : photo)
        if (exif.findKey(Exiv2::ExifKey(datum.key())) == exif.end() || datum.groupName() != "Image")
            exif[datum.key()] = datum.value();
    return exif;
}

void SetBlock(Exiv2::Image& image, const TPhotoMetadata::TData& d, const Exiv2::ExifData& own, TMetadataBlock block) {
    switch (block) {
    case mbProfile: {
        Exiv2::DataBuf icc(d.Profile.data(), static_cast<long>(d.Profile.size()));
        image.setIccProfile(icc, false);
        break;
    }
    case mbExif: image.setExifData(MergedExif(own, d.Exif)); break;
    case mbXmp: image.setXmpData(d.Xmp); break;
    case mbIptc: image.setIptcData(d.Iptc); break;
    default: break;
    }
}

void ClearBlock(Exiv2::Image& image, const Exiv2::ExifData& own, TMetadataBlock block) {
    switch (block) {
    case mbProfile: image.clearIccProfile(); break;
    case mbExif: image.setExifData(own); break;
    case mbXmp: image.clearXmpData(); break;
    case mbIptc: image.clearIptcData(); break;
    default: break;
    }
}

// All blocks in one write; when exiv2 refuses that, one write a block, each
// refused block left out with its reason. A refused write leaves the file
// as it was.
void WriteBlocks(Exiv2::Image& image, const TPhotoMetadata::TData& d, unsigned blocks, std::vector<std::string>& refused) {
    image.readMetadata();  // a TIFF's own structure stays; ours is added to it
    const Exiv2::ExifData own = image.exifData();
    for (TMetadataBlock block : Order)
        if (blocks & block) SetBlock(image, d, own, block);
    try {
        image.writeMetadata();
        return;
    } catch (const std::exception&) {
    }
    for (TMetadataBlock block : Order)
        if (blocks & block) ClearBlock(image, own, block);
    for (TMetadataBlock block : Order) {
        if (!(blocks & block)) continue;
        try {
            SetBlock(image, d, own, block);
            image.writeMetadata();
        } catch (const std::exception& e) {
            refused.push_back(NotKeptLine(BlockName(block), e.what()));
            ClearBlock(image, own, block);
        }
    }
}

// A WebP file through libwebp's mux: the profile, EXIF (encoded by exiv2) and
// XMP as chunks, each on its own.
std::vector<uint8_t> WriteWebPChunks(const std::vector<uint8_t>& file, const TPhotoMetadata::TData& d, unsigned blocks,
                                     std::vector<std::string>& refused) {
    const WebPData input{file.data(), file.size()};
    std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&input, 0), WebPMuxDelete);
    auto refuseAll = [&](const char* reason) {
        for (TMetadataBlock block : Order)
            if (blocks & block) refused.push_back(NotKeptLine(BlockName(block), reason));
        return file;
    };
    if (!mux) return refuseAll("libwebp cannot read the file it wrote");
    auto set = [&](TMetadataBlock block, const char* name, const uint8_t* bytes, size_t size) {
        const WebPData chunk{bytes, size};
        if (size > 0 && WebPMuxSetChunk(mux.get(), name, &chunk, 1) != WEBP_MUX_OK)
            refused.push_back(NotKeptLine(BlockName(block), "libwebp refused the chunk"));
    };
    if (blocks & mbProfile) set(mbProfile, "ICCP", d.Profile.data(), d.Profile.size());
    if (blocks & mbExif) {
        try {
            Exiv2::Blob exif;
            Exiv2::ExifParser::encode(exif, Exiv2::littleEndian, d.Exif);
            set(mbExif, "EXIF", exif.data(), exif.size());
        } catch (const std::exception& e) {
            refused.push_back(NotKeptLine("EXIF", e.what()));
        }
    }
    if (blocks & mbXmp) {
        std::string packet;
        if (Exiv2::XmpParser::encode(packet, d.Xmp) != 0)
            refused.push_back(NotKeptLine("XMP", "exiv2 cannot encode the packet"));
        else
            set(mbXmp, "XMP ", reinterpret_cast<const uint8_t*>(packet.data()), packet.size());
    }
    WebPData output;
    WebPDataInit(&output);
    if (WebPMuxAssemble(mux.get(), &output) != WEBP_MUX_OK) {
        refused.clear();
        return refuseAll("libwebp cannot assemble the file");
    }
    std::vector<uint8_t> bytes(output.bytes, output.bytes + output.size);
    WebPDataClear(&output);
    return bytes;
}

}  // namespace

unsigned TPhotoMetadata::Blocks() const {
    const TData& d = *FData;
    return (d.Profile.empty() ? 0u : unsigned{mbProfile}) | (d.Exif.empty() ? 0u : unsigned{mbExif}) |
           (d.Xmp.empty() ? 0u : unsigned{mbXmp}) | (d.Iptc.empty() ? 0u : unsigned{mbIptc});
}

std::vector<std::string> TPhotoMetadata::LeftOut(unsigned carries) const {
    std::vector<std::string> lines;
    for (const auto& refused : FData->Refused) lines.push_back(refused.second);
    for (TMetadataBlock block : Order)
        if ((Blocks() & block) && !(carries & block)) lines.push_back(NotKeptLine(BlockName(block), "the output format cannot carry it"));
    return lines;
}

void TPhotoMetadata::Encode(std::vector<uint8_t>& profile, std::vector<uint8_t>& exif, std::string& xmp,
                            std::vector<std::string>& refused) const {
    InitExiv2();
    profile = FData->Profile;
    exif.clear();
    xmp.clear();
    try {
        if (!FData->Exif.empty()) Exiv2::ExifParser::encode(exif, Exiv2::littleEndian, FData->Exif);
    } catch (const std::exception& e) {
        exif.clear();
        refused.push_back(NotKeptLine("EXIF", e.what()));
    }
    try {
        if (!FData->Xmp.empty() && Exiv2::XmpParser::encode(xmp, FData->Xmp) != 0) {
            xmp.clear();
            refused.push_back(NotKeptLine("XMP", "exiv2 cannot encode the packet"));
        }
    } catch (const std::exception& e) {
        xmp.clear();
        refused.push_back(NotKeptLine("XMP", e.what()));
    }
}

void TPhotoMetadata::WriteIntoFile(const std::string& path, unsigned carries, std::vector<std::string>& refused) const {
    const unsigned blocks = Blocks() & carries;
    if (blocks == 0) return;
    InitExiv2();
    std::vector<uint8_t> webp;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
        if (image->imageType() != Exiv2::ImageType::webp) return WriteBlocks(*image, *FData, blocks, refused);
        image.reset();
        const std::vector<uint8_t> file = FileBytes(path);
        webp = WriteWebPChunks(file, *FData, blocks, refused);
        if (webp == file) return;
    } catch (const std::exception& e) {
        for (TMetadataBlock block : Order)
            if (blocks & block) refused.push_back(NotKeptLine(BlockName(block), e.what()));
        return;
    }
    // The output is a temporary file: one that cannot be written is not put in place.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(webp.data()), static_cast<std::streamsize>(webp.size()));
    if (!out.flush()) throw EFileError("Cannot write file \"" + path + "\".");
}

std::vector<uint8_t> TPhotoMetadata::WriteInto(const std::vector<uint8_t>& file, unsigned carries,
                                               std::vector<std::string>& refused) const {
    const unsigned blocks = Blocks() & carries;
    if (blocks == 0) return file;
    InitExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
        if (image->imageType() == Exiv2::ImageType::webp) return WriteWebPChunks(file, *FData, blocks, refused);
        WriteBlocks(*image, *FData, blocks, refused);
        Exiv2::BasicIo& io = image->io();
        io.seek(0, Exiv2::BasicIo::beg);
        const Exiv2::DataBuf written = io.read(static_cast<long>(io.size()));
        return std::vector<uint8_t>(written.pData_, written.pData_ + written.size_);
    } catch (const std::exception& e) {
        for (TMetadataBlock block : Order)
            if (blocks & block) refused.push_back(NotKeptLine(BlockName(block), e.what()));
        return file;
    }
}

}  // namespace quorix
