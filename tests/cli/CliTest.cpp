// quorix-resize end to end: the real executable on pictures made here.
#include "Jpeg.h"
#include "Jpeg2000Bitmap.h"
#include "Png.h"
#include "TestPictures.h"

#include <exiv2/exiv2.hpp>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorix {
namespace {

using test::TTempDir;

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class CliTest : public ::testing::Test {
protected:
    TRun Run(const std::vector<std::string>& args) {
        const char* tool = std::getenv("QUORIX_RESIZE");
        EXPECT_NE(tool, nullptr) << "QUORIX_RESIZE names the executable";
        std::string command = "cd " + Quote(Dir.Path()) + " && " + Quote(tool ? tool : "quorix-resize");
        for (const std::string& a : args) command += " " + Quote(a);
        command += " 2>" + Quote(Dir.File("stderr.txt"));
        TRun run;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Out.append(buffer, n);
        int status = pclose(pipe);
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(Dir.File("stderr.txt"));
        run.Err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
        return run;
    }
    std::string Jpeg(const std::string& name, int w = 64, int h = 48) {
        test::WriteJpeg(Dir.File(name), test::MakeGradient(w, h));
        return Dir.File(name);
    }
    TTempDir Dir;
};

TEST_F(CliTest, DefaultJobHalvesIntoTheOutputFolder) {
    std::string a = Jpeg("a.jpg", 101, 75), b = Jpeg("b.jpeg", 20, 10);
    TRun run = Run({"a.jpg", b});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "File resized and saved as: " + Dir.File("Output/a.jpg") + "\n" +
                           "File resized and saved as: " + Dir.File("Output/b.jpg") + "\n");
    TJPEGImage out;
    out.LoadFromFile(Dir.File("Output/a.jpg"));
    EXPECT_EQ(out.Width(), 50);
    EXPECT_EQ(out.Height(), 38);
}

TEST_F(CliTest, ModesFiltersAndFormats) {
    test::TPngLayout png;
    png.Width = 30;
    png.Height = 20;
    png.Rows.assign(30 * 20 * 3, 128);
    test::WritePng(Dir.File("holiday.photo.png"), png);
    const struct { std::vector<std::string> args; std::string output; int w, h; } cases[] = {
        {{"--add-filter-name", "--filter", "b-spline"}, "holiday.photo B-Spline.jpg", 15, 10},
        {{"--mode", "increase"}, "holiday.photo.jpg", 45, 30},
        {{"--mode", "increase", "--factor", "3"}, "holiday.photo.jpg", 90, 60},
        {{"--mode", "same-size", "--size", "7x9", "--format", "png"}, "holiday.photo.png", 7, 9},
        {{"--mode", "same-width", "--side", "60", "--format", "bmp"}, "holiday.photo.bmp", 60, 40},
        {{"--mode", "same-height", "--side", "10", "--quality", "5"}, "holiday.photo.jpg", 15, 10},
        {{"--format", "webp"}, "holiday.photo.webp", 15, 10},
        {{"--format", "avif", "--quality", "40"}, "holiday.photo.avif", 15, 10},
        {{"--format", "jxl"}, "holiday.photo.jxl", 15, 10},
        {{"--format", "tif", "--add-filter-name"}, "holiday.photo Lanczos3.tif", 15, 10},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("holiday.photo.png");
        TRun run = Run(args);
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, "File resized and saved as: " + Dir.File("Output/" + c.output) + "\n");
        TBitmap out = test::LoadAs24(Dir.File("Output/" + c.output));
        EXPECT_EQ(out.Width(), c.w) << c.output;
        EXPECT_EQ(out.Height(), c.h) << c.output;
    }
}

TEST_F(CliTest, SkippedPicturesAndTheirLogLines) {
    Jpeg("ok.jpg");
    test::WriteFileBytes(Dir.File("scan.jpe"), test::ReadFileBytes(Dir.File("ok.jpg")));
    test::WriteFileBytes(Dir.File("cut.png"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0});
    TRun first = Run({"--no-overwrite", "ok.jpg", "gone/missing.jpg", "scan.jpe", "cut.png"});
    EXPECT_EQ(first.Status, 1);
    EXPECT_EQ(first.Out, "File resized and saved as: " + Dir.File("Output/ok.jpg") + "\n" +
                             "File does not exist " + Dir.File("gone/missing.jpg") + "\n" +
                             "ERROR! Cannot open picture: " + Dir.File("scan.jpe") + "\n" +
                             "ERROR! Cannot open picture: " + Dir.File("cut.png") + "\n");
    TRun second = Run({"--no-overwrite", "ok.jpg"});
    EXPECT_EQ(second.Status, 0);  // the output is in place
    EXPECT_EQ(second.Out, "WARNING! File already exists (not overwritten): " + Dir.File("Output/ok.jpg") + "\n");
    EXPECT_FALSE(std::filesystem::exists(Dir.File("gone"))) << "no folder is made for a missing source";
}

TEST_F(CliTest, HugeImageGuard) {
    test::WriteFileBytes(Dir.File("huge.jpg"), test::JpegAnnouncing(10001, 10001, false));
    TRun run = Run({"huge.jpg"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "WARNING! Huge image: " + Dir.File("huge.jpg") + "\n");
}

TEST_F(CliTest, ErrorLeavingThePipelineEndsTheRun) {
    Jpeg("a.jpg");
    Jpeg("b.jpg");
    TRun run = Run({"--mode", "same-size", "--size", "20000x20000", "a.jpg", "b.jpg"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "quorix-resize: " + Dir.File("a.jpg") + ": Image is too large.\n");
}

// Each argument that means nothing, or the opposite, is a usage error that
// names its option; nothing is written.
TEST_F(CliTest, ArgumentsOutOfRangeAreUsageErrors) {
    Jpeg("a.jpg");
    const std::vector<std::vector<std::string>> cases = {
        {"--factor", "0.5"}, {"--factor", "0"}, {"--mode", "increase", "--factor", "30"}, {"--size", "0x0"},
        {"--mode", "fit", "--size", "0x600"}, {"--quality", "4"}, {"-q", "100"}, {"--side", "0"},
        {"--resize", "0x"}, {"--resize", "3%"}, {"--resize", "x200>"}, {"-j", "0"}, {"--max-size", "-1"},
        {"--format", "gif"}, {"--filter", "sharp"}, {"--counter-start", "-1"}, {"--json=1"}, {"--name", "{counter:0}"},
        {"--mode", "sideways"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c;
        args.push_back("a.jpg");
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << c[0];
        const std::string option = c[0] == "-q" ? "--quality" : c[0] == "-j" ? "--threads" : c[c.size() > 2 ? 2 : 0];
        EXPECT_NE(run.Err.find(option.substr(0, option.find('='))), std::string::npos) << c[0] << ": " << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(Dir.File("Output")));
}

// Geometry as ImageMagick and vips users write it gives ImageMagick's sizes
// (its own numbers for these pictures), within a pixel where it rounds otherwise.
TEST_F(CliTest, GeometryGivesImageMagicksSizes) {
    const int sizes[3][2] = {{1001, 751}, {640, 480}, {300, 500}};
    for (const auto& s : sizes) Jpeg(std::to_string(s[0]) + "x" + std::to_string(s[1]) + ".jpg", s[0], s[1]);
    const struct {
        const char* geometry;
        int want[3][2];
    } cases[] = {
        {"1920x1080", {{1440, 1080}, {1440, 1080}, {648, 1080}}}, {"400x300>", {{400, 300}, {400, 300}, {180, 300}}},
        {"400x300!", {{400, 300}, {400, 300}, {400, 300}}},       {"500x", {{500, 375}, {500, 375}, {500, 833}}},
        {"x200", {{267, 200}, {267, 200}, {120, 200}}},           {"50%", {{501, 376}, {320, 240}, {150, 250}}},
        {"150%", {{1502, 1127}, {960, 720}, {450, 750}}},         {"33%", {{330, 248}, {211, 158}, {99, 165}}},
    };
    for (const auto& c : cases)
        for (int i = 0; i < 3; ++i) {
            const std::string name = std::to_string(sizes[i][0]) + "x" + std::to_string(sizes[i][1]) + ".jpg";
            const TRun run = Run({"--resize", c.geometry, "--out", "o", name});
            ASSERT_EQ(run.Status, 0) << c.geometry << " " << name << run.Err;
            const TBitmap out = test::LoadAs24(Dir.File("o/" + name));
            EXPECT_NEAR(out.Width(), c.want[i][0], 1) << c.geometry << " " << name;
            EXPECT_NEAR(out.Height(), c.want[i][1], 1) << c.geometry << " " << name;
        }
}

// What users of other tools write is taken: names of formats and filters in
// any case and their usual aliases, --opt=value, short options, a size alone
// as the box to fit within, several lists, and lists with CRLF line ends.
TEST_F(CliTest, ArgumentsAsOtherToolsWriteThem) {
    Jpeg("a.jpg", 200, 100);
    Jpeg("b c.jpg", 100, 200);
    test::WriteFileBytes(Dir.File("one.txt"), {'a', '.', 'j', 'p', 'g', '\r', '\n'});
    test::WriteFileBytes(Dir.File("two.txt"), {'b', ' ', 'c', '.', 'j', 'p', 'g', '\r', '\n'});
    const TRun run = Run({"--size=40x30", "-f", "JPEG", "--filter", "lanczos", "-q", "80", "-o", "out", "--files-from",
                          "one.txt", "--files-from=two.txt"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(test::LoadAs24(Dir.File("out/a.jpg")).Width(), 40);   // 200 x 100 within 40 x 30: 40 x 20
    EXPECT_EQ(test::LoadAs24(Dir.File("out/b c.jpg")).Height(), 30);  // 100 x 200: 15 x 30
    EXPECT_EQ(Run({"--format=TIFF", "-r", "--out", "t", "a.jpg"}).Status, 0);
    EXPECT_TRUE(std::filesystem::exists(Dir.File("t/a.tif")));
}

TEST_F(CliTest, SeveralPicturesOnSeveralThreadsGiveTheSameFilesAndLog) {
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) {
        names.push_back("p" + std::to_string(i) + ".jpg");
        Jpeg(names.back(), 60 + 7 * i, 40 + 3 * i);
    }
    names.insert(names.begin() + 5, "missing.jpg");
    std::vector<std::string> one{"--threads", "1", "--out", "one"}, two{"--threads", "2", "--out", "two"};
    one.insert(one.end(), names.begin(), names.end());
    two.insert(two.end(), names.begin(), names.end());
    const TRun a = Run(one), b = Run(two);
    EXPECT_EQ(a.Status, 1);  // the missing picture
    EXPECT_EQ(b.Status, 1);
    std::string expected = a.Out;
    for (size_t at; (at = expected.find("/one/")) != std::string::npos;) expected.replace(at, 5, "/two/");
    EXPECT_EQ(b.Out, expected);  // the log in the order of the pictures
    for (int i = 0; i < 12; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        EXPECT_EQ(test::ReadFileBytes(Dir.File("one/" + name)), test::ReadFileBytes(Dir.File("two/" + name))) << name;
    }
}

// The metadata flags: a photo's EXIF with a location, written with and
// without it, and bare.
TEST_F(CliTest, MetadataFlags) {
    test::WriteJpeg(Dir.File("gps.jpg"), test::MakeGradient(40, 30));
    {
        auto image = Exiv2::ImageFactory::open(Dir.File("gps.jpg"));
        Exiv2::ExifData exif;
        exif["Exif.Image.Model"] = "QuorixCam 1";
        exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        image->setExifData(exif);
        image->writeMetadata();
    }
    const struct { std::vector<std::string> args; bool model, gps; } cases[] = {
        {{}, true, false}, {{"--keep-gps"}, true, true}, {{"--strip-metadata"}, false, false}};
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("gps.jpg");
        ASSERT_EQ(Run(args).Status, 0);
        auto image = Exiv2::ImageFactory::open(Dir.File("Output/gps.jpg"));
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Model")) != exif.end(), c.model);
        EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitudeRef")) != exif.end(), c.gps);
    }
}

// --name: the counter follows the list, the date comes from EXIF; a
// template leading out of the folder is a usage error.
TEST_F(CliTest, NameTemplate) {
    test::WriteJpeg(Dir.File("a.jpg"), test::MakeGradient(40, 30));
    test::WriteJpeg(Dir.File("b.jpg"), test::MakeGradient(40, 30));
    {
        auto image = Exiv2::ImageFactory::open(Dir.File("b.jpg"));
        Exiv2::ExifData exif;
        exif["Exif.Photo.DateTimeOriginal"] = "2019:12:31 23:59:59";
        image->setExifData(exif);
        image->writeMetadata();
    }
    TRun run = Run({"--name", "{counter}-{width}-{date}", "a.jpg", "b.jpg"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find(Dir.File("Output/2-20-2019-12-31.jpg")), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(Dir.File("Output/1-20-")), std::string::npos) << run.Out;  // a's own file date
    run = Run({"--name", "../{name}", "a.jpg"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("may not contain"), std::string::npos) << run.Err;
}

// A three-level tree: every picture under the folder, mirrored under its
// Output (or --out); the Output folder, hidden folders and links to folders
// are not entered, and other files are left alone.
TEST_F(CliTest, RecursiveTreeIsMirrored) {
    for (const char* folder : {"top/2024/May", "top/Output", "top/.hidden"})
        std::filesystem::create_directories(Dir.File(folder));
    for (const char* picture : {"top/a.jpg", "top/2024/b.jpg", "top/2024/May/c.jpg", "top/Output/old.jpg", "top/.hidden/d.jpg"})
        test::WriteJpeg(Dir.File(picture), test::MakeGradient(20, 20));
    test::WriteFileBytes(Dir.File("top/notes.txt"), {'h', 'i'});
    std::filesystem::create_directory_symlink(Dir.File("top/2024"), Dir.File("top/link"));
    auto outputs = [&](const std::string& root) {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::recursive_directory_iterator(Dir.File(root)))
            if (e.is_regular_file()) found.push_back(e.path().string().substr(Dir.File(root).size()));
        std::sort(found.begin(), found.end());
        return found;
    };
    TRun run = Run({"--recursive", "top"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(outputs("top/Output/"), (std::vector<std::string>{"2024/May/c.jpg", "2024/b.jpg", "a.jpg", "old.jpg"}));
    run = Run({"--recursive", "--out", "dest", "top"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(outputs("dest/"), (std::vector<std::string>{"2024/May/c.jpg", "2024/b.jpg", "a.jpg"}));
}

TEST_F(CliTest, UsageErrorsHelpAndVersion) {
    const std::vector<std::vector<std::string>> bad = {
        {}, {"--mode", "sideways", "a.jpg"}, {"--quality", "100", "a.jpg"}, {"--quality", "4", "a.jpg"},
        {"--filter", "Gauss", "a.jpg"}, {"--size", "800", "a.jpg"}, {"--factor", "two", "a.jpg"},
        {"--format", "gif", "a.jpg"}, {"--bogus", "a.jpg"}, {"a.jpg", "--out"}};
    for (const auto& args : bad) {
        TRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(run.Err.rfind("quorix-resize: ", 0), 0u) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    TRun help = Run({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("Usage: quorix-resize"), std::string::npos);
    TRun version = Run({"--version"});
    EXPECT_EQ(version.Out, "quorix-resize 1.0.0.0\n");
}

TEST_F(CliTest, JpegTwoThousandFilesAreResizedByName) {
    TJpeg2000Bitmap jp2;
    jp2.Assign(test::MakeGradient(80, 60));
    jp2.SaveToFile(Dir.File("photo.jp2"));
    TRun run = Run({"photo.jp2"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "File resized and saved as: " + Dir.File("Output/photo.jpg") + "\n");
    TJPEGImage out;
    out.LoadFromFile(Dir.File("Output/photo.jpg"));
    EXPECT_EQ(out.Width(), 40);
    EXPECT_EQ(out.Height(), 30);
}

TEST_F(CliTest, OutFolderIsCreatedAndUsed) {
    Jpeg("x.jpg");
    TRun run = Run({"--out", "results/deep", "x.jpg"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "File resized and saved as: " + Dir.File("results/deep/x.jpg") + "\n");
    EXPECT_TRUE(std::filesystem::exists(Dir.File("results/deep/x.jpg")));
}

// Three outputs of each picture in one run are the files of three runs of
// one output each, whether given as --output key lists, a recipe file or flags,
// on one thread or two; the log has a line per output, in order.
TEST_F(CliTest, SeveralOutputsAreTheFilesOfOneRunEach) {
    // A colour JPEG, one turned by its EXIF tag, a grey one and a PNG.
    const std::vector<std::string> pictures{"a.jpg", "b.jpg", "d.jpg", "c.png"};
    test::WriteJpeg(Dir.File("a.jpg"), test::MakeNoise(90, 64, 1));
    test::WriteJpeg(Dir.File("b.jpg"), test::MakeNoise(33, 70, 2));
    test::WriteFileBytes(Dir.File("b.jpg"), test::WithExifOrientation(test::ReadFileBytes(Dir.File("b.jpg")), 6, false));
    test::WriteGreyJpeg(Dir.File("d.jpg"), 57, 41);
    TPngImage png;
    png.Assign(test::MakeGradient(50, 40));
    png.SaveToFile(Dir.File("c.png"));
    const struct {
        std::string keys;
        std::vector<std::string> flags;
        std::string suffix;
    } outputs[] = {
        {"mode=fit,size=40x40,format=jpg,quality=82,name={name}-large", {"--mode", "fit", "--size", "40x40", "-q", "82", "--name", "{name}-large"}, "-large.jpg"},
        {"resize=24x24,format=webp,name={name}-web", {"--resize", "24x24", "-f", "webp", "--name", "{name}-web"}, "-web.webp"},
        {"mode=same-width,side=16,format=png,filter=mitchell,name={name}-small",
         {"--mode", "same-width", "--side", "16", "-f", "png", "--filter", "Mitchell", "--name", "{name}-small"}, "-small.png"},
    };
    std::ofstream recipe(Dir.File("three.ini"));
    recipe << "; three sizes\nname=Three\n";
    for (size_t k = 0; k < 3; ++k) {
        recipe << "[out" << k << "]\n";
        std::stringstream keys(outputs[k].keys);
        for (std::string pair; std::getline(keys, pair, ',');) recipe << pair << "\n";
    }
    recipe.close();
    for (const char* threads : {"1", "2"}) {
        std::vector<std::string> lists{"-j", threads, "-o", "lists"}, fromFile{"-j", threads, "-o", "recipe", "--recipe", "three.ini"};
        for (const auto& o : outputs) lists.insert(lists.end(), {"--output", o.keys});
        lists.insert(lists.end(), pictures.begin(), pictures.end());
        fromFile.insert(fromFile.end(), pictures.begin(), pictures.end());
        const TRun many = Run(lists), read = Run(fromFile);
        ASSERT_EQ(many.Status, 0) << many.Err;
        ASSERT_EQ(read.Status, 0) << read.Err;
        EXPECT_EQ(std::count(many.Out.begin(), many.Out.end(), '\n'), 12);
        EXPECT_EQ(many.Out.substr(0, many.Out.find('\n')), "File resized and saved as: " + Dir.File("lists/a-large.jpg"));
        for (size_t k = 0; k < 3; ++k) {
            std::vector<std::string> single{"-j", threads, "-o", "single" + std::to_string(k)};
            single.insert(single.end(), outputs[k].flags.begin(), outputs[k].flags.end());
            single.insert(single.end(), pictures.begin(), pictures.end());
            ASSERT_EQ(Run(single).Status, 0);
            for (const std::string& picture : pictures) {
                const std::string name = picture.substr(0, picture.find('.')) + outputs[k].suffix;
                const std::vector<uint8_t> alone = test::ReadFileBytes(Dir.File("single" + std::to_string(k) + "/" + name));
                ASSERT_FALSE(alone.empty()) << name;
                EXPECT_EQ(test::ReadFileBytes(Dir.File("lists/" + name)), alone) << name << " on " << threads;
                EXPECT_EQ(test::ReadFileBytes(Dir.File("recipe/" + name)), alone) << name << " on " << threads;
            }
        }
    }
    const TRun json = Run({"--json", "--recipe", "three.ini", "-o", "json", "a.jpg"});
    EXPECT_NE(json.Out.find("\"key\":\"out1\""), std::string::npos) << json.Out;
    EXPECT_EQ(std::count(json.Out.begin(), json.Out.end(), '\n'), 3);
}

// A key that is no option, a bad value or a recipe that is not one is a
// usage error that names what is wrong.
TEST_F(CliTest, ABadKeyListOrRecipeIsAUsageErrorNamingIt) {
    Jpeg("a.jpg");
    std::ofstream(Dir.File("bad.ini")) << "[one]\nmode=fit\ncolour=red\n";
    std::ofstream(Dir.File("empty.ini")) << "; nothing\n";
    const struct {
        std::vector<std::string> args;
        std::string named;
    } cases[] = {
        {{"--output", "mode=fit,colour=red"}, "unknown key 'colour'"},
        {{"--output", "quality=100"}, "quality must be from 5 to 99"},
        {{"--output", "mode=fit,format"}, "key 'format' needs a value"},
        {{"--output", "name=../{name}"}, "(name)"},
        {{"--recipe", "bad.ini"}, "unknown key 'colour' on line 3"},
        {{"--recipe", "empty.ini"}, "no [output] section"},
        {{"--recipe", "missing.ini"}, "cannot read the recipe missing.ini"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("a.jpg");
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << c.named;
        EXPECT_NE(run.Err.find(c.named), std::string::npos) << run.Err;
        EXPECT_FALSE(std::filesystem::exists(Dir.File("Output"))) << c.named;
    }
}

}  // namespace
}  // namespace quorix
