// What a photo carries besides its pixels: the colour profile and the EXIF,
// XMP and IPTC data, read from the source and written into the output with
// exiv2, edited for the resized picture on the way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix {

struct TMetadataOptions {
    bool KeepProfile = true;
    bool KeepMetadata = true;  // EXIF, XMP and IPTC
    bool RemoveGps = true;
};

class TPhotoMetadata {
public:
    TPhotoMetadata();
    ~TPhotoMetadata();
    TPhotoMetadata(TPhotoMetadata&&) noexcept;
    TPhotoMetadata& operator=(TPhotoMetadata&&) noexcept;

    // Empty when the file carries nothing, or its container is one exiv2
    // does not read, or what it carries is damaged: never an error.
    static TPhotoMetadata Read(const std::string& fileName);

    bool Empty() const;
    // yyyy-mm-dd from EXIF's date taken (or XMP's), empty without one.
    std::string DateTaken() const;
    const std::vector<uint8_t>& Profile() const;
    void SetProfile(std::vector<uint8_t> profile);

    // For an output of width x height that is already upright: Orientation 1,
    // no thumbnail, the pixel-size tags set, the source container's own
    // structure tags dropped, and what the options leave out removed.
    void PrepareFor(int width, int height, const TMetadataOptions& options);

    // The profile, EXIF as a TIFF structure and the XMP packet, for encoders
    // that embed them themselves.
    void Encode(std::vector<uint8_t>& profile, std::vector<uint8_t>& exif, std::string& xmp) const;

    // The output file's bytes with all of it written in. A container exiv2
    // cannot write (BMP, AVIF, JPEG XL) gets the bytes back unchanged.
    std::vector<uint8_t> WriteInto(const std::vector<uint8_t>& file) const;

private:
    struct TData;
    std::unique_ptr<TData> FData;
};

}  // namespace quorix
