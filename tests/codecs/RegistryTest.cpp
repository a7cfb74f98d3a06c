#include "Graphic.h"
#include "Jpeg.h"
#include "QuorixError.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quorix {
namespace {

using test::TTempDir;

TEST(Registry, ProgramFormatsAreRegisteredCaseInsensitively) {
    const struct { const char* ext; const char* description; } entries[] = {
        {"bmp", "Bitmaps"}, {"jpeg", "JPEG Image File"}, {"jpg", "JPEG Image File"},
        {"png", "Portable Network Graphics"}, {"gif", "GIF Image"}, {"JPG", "JPEG Image File"}, {"Png", "Portable Network Graphics"},
        {"HEIC", "HEIF Image"}, {"heif", "HEIF Image"}, {"hif", "HEIF Image"}, {"Avif", "AVIF Image"},
        {"webp", "WebP Image"}, {"TIF", "TIFF Image"}, {"tiff", "TIFF Image"}, {"jxl", "JPEG XL Image"}};
    for (const auto& e : entries) {
        const TFileFormat* f = FileFormats().Find(e.ext);
        ASSERT_NE(f, nullptr) << e.ext;
        EXPECT_EQ(f->Description, e.description);
    }
    for (const char* ext : {"jpe", "jfif", "", "tga"}) EXPECT_EQ(FileFormats().Find(ext), nullptr) << ext;
}

TEST(Registry, TheEntryRegisteredLastWins) {
    TFileFormats formats;
    formats.Add("abc", "first", GraphicFactory<TBitmap>());
    formats.Add("ABC", "second", GraphicFactory<TJPEGImage>());
    EXPECT_EQ(formats.Find("aBc")->Description, "second");
    EXPECT_EQ(formats.Entries().front().Extension, "abc");
}

TEST(Registry, ExtensionIsTakenFromTheFileNameOnly) {
    EXPECT_EQ(PictureExtension("/pics/holiday.photo.PNG"), "PNG");
    EXPECT_EQ(PictureExtension("/pics.d/readme"), "");
    EXPECT_EQ(PictureExtension("noext"), "");
    EXPECT_EQ(PictureExtension("a."), "");
}

TEST(Picture, LoadFromFilePicksTheDecoderByExtension) {
    TTempDir dir;
    test::WriteJpeg(dir.File("photo.JPG"), test::MakeGradient(8, 6));
    test::WriteFileBytes(dir.File("photo.Jpg"), test::ReadFileBytes(dir.File("photo.JPG")));
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&] { ++changes; };
    for (const char* name : {"photo.JPG", "photo.Jpg"}) {
        picture.LoadFromFile(dir.File(name));
        EXPECT_STREQ(picture.Graphic()->ClassName(), "TJPEGImage");
        EXPECT_EQ(picture.Width(), 8);
        EXPECT_EQ(picture.Height(), 6);
    }
    EXPECT_EQ(changes, 2);
    const TGraphic* kept = picture.Graphic();

    const struct { const char* name; const char* message; } failures[] = {
        {"photo.jpe", "Unknown picture file extension (.jpe)"},
        {"photo", "Unknown picture file extension (.)"},
        {"photo.tga", "Unknown picture file extension (.tga)"}};
    for (const auto& f : failures) {
        test::WriteFileBytes(dir.File(f.name), test::ReadFileBytes(dir.File("photo.JPG")));
        try {
            picture.LoadFromFile(dir.File(f.name));
            ADD_FAILURE() << f.name << " loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), f.message);
        }
        EXPECT_EQ(picture.Graphic(), kept) << "the previous graphic stays";
    }
    // A damaged file keeps the previous graphic too.
    test::WriteFileBytes(dir.File("bad.png"), {1, 2, 3});
    EXPECT_THROW(picture.LoadFromFile(dir.File("bad.png")), EQuorixError);
    EXPECT_THROW(picture.LoadFromFile(dir.File("missing.png")), EFileError);
    EXPECT_EQ(picture.Graphic(), kept);
    EXPECT_EQ(changes, 2);
}

TEST(Picture, AssigningAGraphicClassThatCannotConvertFails) {
    TBitmap bitmap;
    TJPEGImage jpeg;
    class TOther : public TGraphic {
    public:
        const char* ClassName() const override { return "TOther"; }
        int Width() const override { return 1; }
        int Height() const override { return 1; }
        void LoadFromStream(std::istream&) override {}
        void SaveToStream(std::ostream&) override {}
    } other;
    try {
        bitmap.Assign(other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TOther to a TBitmap");
    }
    EXPECT_THROW(jpeg.Assign(other), EConvertError);
}

TEST(Graphic, SaveToFileReplacesOnlyOnSuccessAndLeavesNoTemporaryFile) {
    TTempDir dir;
    std::string target = dir.File("out.jpg");
    test::WriteFileBytes(target, {'g', 'o', 'o', 'd'});
    TJPEGImage empty;  // nothing to encode: the save fails
    EXPECT_THROW(empty.SaveToFile(target), EQuorixError);
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'g', 'o', 'o', 'd'}));
    TJPEGImage jpeg;
    jpeg.Assign(test::MakeGradient(4, 4));
    jpeg.SaveToFile(target);
    EXPECT_EQ(test::ReadFileBytes(target), jpeg.Data());
    EXPECT_THROW(jpeg.SaveToFile(dir.File("no/such/folder/x.jpg")), EFileError);
    int files = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.Path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace quorix
