// What the metadata files share: the record's blocks as exiv2 holds them.
#pragma once

#include "PhotoMetadata.h"

#include "Graphic.h"

#include <exiv2/exiv2.hpp>

#include <utility>

namespace quorix {

struct TPhotoMetadata::TData {
    Exiv2::ExifData Exif;
    Exiv2::XmpData Xmp;
    Exiv2::IptcData Iptc;
    std::vector<uint8_t> Profile;
    bool FromTiff = false;
    // Blocks left out while they were read or prepared, with the log's line.
    std::vector<std::pair<TMetadataBlock, std::string>> Refused;
};

// exiv2's set-up, once per process, before any other call into it.
void InitExiv2();

// A file's whole content (empty when it cannot be read).
std::vector<uint8_t> FileBytes(const std::string& fileName);

// The block's name as the log writes it.
const char* BlockName(TMetadataBlock block);

}  // namespace quorix
