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

// The log's line for a block left out of an output: "WARNING! EXIF not kept: " + reason.
std::string NotKeptLine(const std::string& block, const std::string& reason);

class TPhotoMetadata {
public:
    TPhotoMetadata();
    ~TPhotoMetadata();
    TPhotoMetadata(TPhotoMetadata&&) noexcept;
    TPhotoMetadata& operator=(TPhotoMetadata&&) noexcept;

    // Empty when the file carries nothing, or its container is one exiv2
    // does not read, or what it carries is damaged: never an error.
    static TPhotoMetadata Read(const std::string& fileName);
    // A record of its own with the same blocks: each output of a picture
    // edits its own.
    TPhotoMetadata Copy() const;

    bool Empty() const;
    // yyyy-mm-dd from EXIF's date taken (or XMP's), empty without one.
    std::string DateTaken() const;
    const std::vector<uint8_t>& Profile() const;
    void SetProfile(std::vector<uint8_t> profile);

    // For an output of width x height that is already upright: Orientation 1,
    // no thumbnail, the pixel-size tags set, the source container's own
    // structure tags dropped, and what the options leave out removed.
    void PrepareFor(int width, int height, const TMetadataOptions& options);

    // The TMetadataBlock bits of what the record holds.
    unsigned Blocks() const;
    // A line for each block left out while it was prepared, and for each
    // block held that a container of those bits cannot carry.
    std::vector<std::string> LeftOut(unsigned carries) const;

    // The profile, EXIF as a TIFF structure and the XMP packet, for encoders
    // that embed them themselves. Each block is encoded on its own: one that
    // cannot be is left out, with a line in refused.
    void Encode(std::vector<uint8_t>& profile, std::vector<uint8_t>& exif, std::string& xmp,
                std::vector<std::string>& refused) const;

    // Writes the blocks among carries into the picture file at path (an
    // output not yet in its place), in the file, with one copy of it in
    // memory at most. Each block goes in on its own: one that the container
    // or exiv2 refuses is left out, with a line in refused, and the others go
    // in. A container exiv2 cannot write is left as it is.
    void WriteIntoFile(const std::string& path, unsigned carries, std::vector<std::string>& refused) const;
    // The same for a file's bytes in memory (small outputs, such as those
    // made for a size limit).
    std::vector<uint8_t> WriteInto(const std::vector<uint8_t>& file, unsigned carries,
                                   std::vector<std::string>& refused) const;

    struct TData;  // opaque: exiv2's types stay inside the engine's metadata files

private:
    std::unique_ptr<TData> FData;
};

}  // namespace quorix
