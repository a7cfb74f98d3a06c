// Metadata goes block by block: a block that cannot be read, edited or
// written is left out and named in the log; the others are kept.
#include "FormatPictures.h"
#include "PhotoMetadata.h"
#include "PhotoTags.h"
#include "Png.h"
#include "ResizeImage.h"
#include "TestPictures.h"

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>

namespace quorix {
namespace {

std::string Folder(const test::TTempDir& dir, const std::string& name) {
    ::mkdir(dir.File(name).c_str(), 0700);
    return dir.File(name) + "/";
}

struct TBlocks {
    bool Profile = false, Exif = false, Xmp = false, Iptc = false;
};

TBlocks BlocksIn(const std::string& path) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    return {image->iccProfileDefined(), image->exifData().findKey(Exiv2::ExifKey("Exif.Image.Artist")) != image->exifData().end(),
            image->xmpData().findKey(Exiv2::XmpKey("Xmp.dc.description")) != image->xmpData().end(),
            !image->iptcData().empty()};
}

// EXIF, XMP with a description of descriptionBytes, IPTC and the wide-gamut profile.
void Tag(const std::string& path, size_t descriptionBytes) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    image->exifData()["Exif.Image.Artist"] = "Ada";
    image->xmpData()["Xmp.dc.description"] = std::string(descriptionBytes, 'x');
    image->iptcData()["Iptc.Application2.Caption"] = "A test photo";
    image->writeMetadata();
    test::EmbedProfile(path, test::WideGamutProfile());
}

bool Contains(const std::vector<std::string>& lines, const std::string& start) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

// An XMP packet larger than a JPEG segment (photo tools keep such packets in
// PNG and TIFF, or as extended XMP) cannot go into a JPEG: it alone is left
// out, and said so; a PNG takes it all.
TEST(MetadataBlocks, AnOversizedXmpIsLeftOutAloneAndNamed) {
    test::TTempDir dir;
    const std::string source = dir.File("big-xmp.png");
    TPngImage png;
    png.Assign(test::MakeGradient(40, 30));
    png.SaveToFile(source);
    Tag(source, 100000);
    for (const bool budget : {false, true}) {
        TResizeOptions o;
        o.MaxKB = budget ? 400 : 0;  // the size-limit path writes in memory
        const TResizeResult r = ResizeImage(source, Folder(dir, budget ? "budget" : "plain"), o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written);
        ASSERT_EQ(r.Warnings.size(), 1u) << r.Warnings.front();
        EXPECT_EQ(r.Warnings[0].rfind("WARNING! XMP not kept: ", 0), 0u) << r.Warnings[0];
        EXPECT_EQ(r.Log.back(), r.Warnings[0]);
        const TBlocks kept = BlocksIn(r.OutputName);
        EXPECT_TRUE(kept.Profile && kept.Exif && kept.Iptc);
        EXPECT_FALSE(kept.Xmp);
    }
    TResizeOptions asPng;
    asPng.Format = "png";
    const TResizeResult r = ResizeImage(source, Folder(dir, "png"), asPng);
    EXPECT_TRUE(r.Warnings.empty());
    const TBlocks kept = BlocksIn(r.OutputName);
    EXPECT_TRUE(kept.Profile && kept.Exif && kept.Xmp && kept.Iptc);
}

// An EXIF block whose byte-order mark is broken costs EXIF only: the profile
// and XMP of the same file are kept.
TEST(MetadataBlocks, ABrokenExifBlockCostsOnlyExif) {
    test::TTempDir dir;
    const std::string source = dir.File("broken-exif.jpg");
    test::WriteJpeg(source, test::MakeGradient(40, 30));
    Tag(source, 100);
    std::vector<uint8_t> bytes = test::ReadFileBytes(source);
    // An APP1 "Exif" segment right after SOI whose TIFF header says "XX".
    const std::vector<uint8_t> broken = {0xFF, 0xE1, 0, 22, 'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 0x2A, 0, 8, 0, 0, 0,
                                         1, 0, 0x3B, 1, 2, 0};
    bytes.insert(bytes.begin() + 2, broken.begin(), broken.end());
    test::WriteFileBytes(source, bytes);
    const TResizeResult r = ResizeImage(source, Folder(dir, "out"), TResizeOptions());
    ASSERT_EQ(r.Outcome, TResizeOutcome::Written);
    const TBlocks kept = BlocksIn(r.OutputName);
    EXPECT_TRUE(kept.Profile);
    EXPECT_TRUE(kept.Xmp);
    EXPECT_TRUE(kept.Iptc);
    ASSERT_EQ(r.Warnings.size(), 1u);
    EXPECT_TRUE(Contains(r.Warnings, "WARNING! EXIF not kept: ")) << r.Warnings[0];
    TResizeOptions stripped;  // EXIF not wanted: not missed either
    stripped.KeepMetadata = false;
    EXPECT_TRUE(ResizeImage(source, Folder(dir, "stripped"), stripped).Warnings.empty());
}

// A block the output format cannot carry is named; BMP carries none.
TEST(MetadataBlocks, BlocksAFormatCannotCarryAreNamed) {
    test::TTempDir dir;
    const std::string source = dir.File("photo.jpg");
    test::WriteJpeg(source, test::MakeGradient(40, 30));
    Tag(source, 100);
    const struct {
        const char* format;
        std::vector<std::string> refused;
    } cases[] = {
        {"jpg", {}},
        {"webp", {"IPTC"}},
        {"avif", {"IPTC"}},
        {"jxl", {"IPTC"}},
        {"bmp", {"colour profile", "EXIF", "XMP", "IPTC"}},
    };
    for (const auto& c : cases) {
        TResizeOptions o;
        o.Format = c.format;
        const TResizeResult r = ResizeImage(source, Folder(dir, c.format), o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << c.format;
        std::vector<std::string> expected;
        for (const std::string& block : c.refused) expected.push_back(NotKeptLine(block, "the output format cannot carry it"));
        EXPECT_EQ(r.Warnings, expected) << c.format;
    }
    TResizeOptions stripped;  // nothing kept: nothing to name
    stripped.Format = "bmp";
    stripped.KeepProfile = stripped.KeepMetadata = false;
    EXPECT_TRUE(ResizeImage(source, Folder(dir, "stripped"), stripped).Warnings.empty());
}

// EXIF as a TIFF structure: an artist, and a photo taken on 2024-07-14.
Exiv2::Blob DatedExif(Exiv2::ByteOrder order) {
    Exiv2::ExifData exif;
    exif["Exif.Image.Artist"] = "Ada";
    exif["Exif.Photo.DateTimeOriginal"] = "2024:07:14 10:20:30";
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order, exif);
    return blob;
}

// A PNG's eXIf chunk is read as the photo's EXIF.
TEST(MetadataBlocks, APngsExifChunkIsRead) {
    test::TTempDir dir;
    const Exiv2::Blob blob = DatedExif(Exiv2::bigEndian);
    std::vector<uint8_t> chunk = {uint8_t(blob.size() >> 24), uint8_t(blob.size() >> 16), uint8_t(blob.size() >> 8),
                                  uint8_t(blob.size()), 'e', 'X', 'I', 'f'};
    chunk.insert(chunk.end(), blob.begin(), blob.end());
    const uLong crc = crc32(crc32(0, nullptr, 0), chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    for (int shift : {24, 16, 8, 0}) chunk.push_back(static_cast<uint8_t>(crc >> shift));
    TPngImage png;
    png.Assign(test::MakeGradient(40, 30));
    png.SaveToFile(dir.File("plain.png"));
    std::vector<uint8_t> bytes = test::ReadFileBytes(dir.File("plain.png"));
    bytes.insert(bytes.begin() + 33, chunk.begin(), chunk.end());  // after the signature and IHDR
    test::WriteFileBytes(dir.File("exif.png"), bytes);
    const TPhotoMetadata metadata = TPhotoMetadata::Read(dir.File("exif.png"));
    EXPECT_EQ(metadata.DateTaken(), "2024-07-14");
    const TResizeResult r = ResizeImage(dir.File("exif.png"), Folder(dir, "out"), TResizeOptions());
    EXPECT_TRUE(BlocksIn(r.OutputName).Exif);
}

// exiv2 takes an AVIF for a QuickTime file and reads nothing from it: EXIF
// and XMP come through libavif, and are kept.
TEST(MetadataBlocks, AnAvifsBlocksAreReadThroughItsLibrary) {
    test::TTempDir dir;
    const Exiv2::Blob blob = DatedExif(Exiv2::littleEndian);
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.description"] = "A test photo";
    test::TAvifOptions options;
    options.Exif.assign(blob.begin(), blob.end());
    ASSERT_EQ(Exiv2::XmpParser::encode(options.Xmp, xmp), 0);
    test::WriteFileBytes(dir.File("tagged.avif"), test::AvifBytes(test::MakeSamples(40, 30, 3, 8), options));
    EXPECT_EQ(TPhotoMetadata::Read(dir.File("tagged.avif")).DateTaken(), "2024-07-14");
    const TResizeResult r = ResizeImage(dir.File("tagged.avif"), Folder(dir, "out"), TResizeOptions());
    ASSERT_EQ(r.Outcome, TResizeOutcome::Written);
    const TBlocks kept = BlocksIn(r.OutputName);
    EXPECT_TRUE(kept.Exif);
    EXPECT_TRUE(kept.Xmp);
}

}  // namespace
}  // namespace quorix
