#include "OrvelIniFile.h"
#include "QuorixError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quorix {
namespace {

class IniFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorix-ini-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = std::string(pattern) + "/";
        setenv("XDG_CONFIG_HOME", Root.c_str(), 1);
    }
    void TearDown() override {
        chmod(Root.c_str(), 0700);
        std::filesystem::remove_all(Root);
    }
    void Put(const std::string& text) { std::ofstream(Root + "s.ini") << text; }
    std::string Text() {
        std::ifstream in(Root + "s.ini");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string Root;
};

TEST(IniValues, IntegersAsTheSettingsFileReadsThem) {
    const struct { const char* text; bool ok; int32_t value; } cases[] = {
        {"150", true, 150}, {"0x50", true, 80}, {"0X1f", true, 31}, {"$FF", true, 255}, {"-7", true, -7},
        {" 42 ", true, 42}, {"abc", false, 0}, {"", false, 0}, {"12a", false, 0}, {"99999999999", false, 0},
        {"$FFFFFFFF", true, -1}, {"0x", false, 0}};
    for (const auto& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(ParseIniInteger(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(IniValues, ColoursAndFloats) {
    EXPECT_EQ(ColorToText(0x000000), "clBlack");
    EXPECT_EQ(ColorToText(0xFF00000F), "clBtnFace");
    EXPECT_EQ(ColorToText(0x00A5C19F), "$00A5C19F");
    uint32_t c = 0;
    EXPECT_TRUE(TextToColor("clbtnface", c));
    EXPECT_EQ(c, 0xFF00000Fu);
    EXPECT_TRUE(TextToColor("$00123456", c));
    EXPECT_EQ(c, 0x123456u);
    EXPECT_FALSE(TextToColor("clNoSuch", c));
    EXPECT_EQ(FormatGeneral(2.0, '.'), "2");
    EXPECT_EQ(FormatGeneral(1.5, ','), "1,5");
    EXPECT_EQ(FormatGeneral(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(FormatGeneral(1e-7, '.'), "1E-7");
}

TEST_F(IniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
    Put("[WindowState]\nLeft = 12\n\n[Settings]\ntrkQuality=150\nLastPath=/home/u/Pics/\nname=\"quoted\"\n");
    TOrvelIniFile ini(Root + "s.ini");
    EXPECT_EQ(ini.ReadInteger("windowstate", "LEFT", 50), 12);
    EXPECT_EQ(ini.ReadInteger("WindowState", "Top", 50), 50);
    EXPECT_TRUE(ini.ValueExists("WINDOWSTATE", "left"));
    EXPECT_FALSE(ini.ValueExists("Settings", "Left"));
    EXPECT_EQ(ini.ReadString("Settings", "LastPath", ""), "/home/u/Pics/");
    EXPECT_EQ(ini.ReadString("Settings", "name", ""), "quoted");
    EXPECT_TRUE(ini.ReadBool("Settings", "trkQuality", false));
    EXPECT_EQ(ini.ReadFloat("Settings", "missing", 2.5), 2.5);
}

TEST_F(IniFile, WritesKeepOtherLinesAndAddSectionsAtTheEnd) {
    Put("; kept\n[A]\nx=1\n\n[B]\ny=2\n");
    TOrvelIniFile ini(Root + "s.ini");
    ini.WriteInteger("a", "X", 5);
    ini.WriteString("A", "z", "new");
    ini.WriteBool("C", "flag", true);
    ini.WriteFloat("C", "f", 1.25);
    EXPECT_EQ(Text(), "; kept\n[A]\nX=5\nz=new\n\n[B]\ny=2\n\n[C]\nflag=1\nf=1.25\n");
    EXPECT_EQ(ini.ReadFloat("C", "f", 0), 1.25);
    ini.SetDecimalSeparator(',');
    EXPECT_EQ(ini.ReadFloat("C", "f", 9), 9) << "a float of another locale reads as the default";
    ini.WriteFloat("C", "f", 1.5);
    EXPECT_EQ(ini.ReadString("C", "f", ""), "1,5");
    EXPECT_EQ(ini.ReadFloat("C", "f", 0), 1.5);
}

TEST_F(IniFile, ColoursFontsAndLongValues) {
    TOrvelIniFile ini(Root + "s.ini");
    ini.WriteColor("Look", "Back", 0xFF00000F);
    EXPECT_EQ(ini.ReadString("Look", "Back", ""), "clBtnFace");
    EXPECT_EQ(ini.ReadColor("Look", "Back", 0), 0xFF00000Fu);
    EXPECT_EQ(ini.ReadColor("Look", "Missing", 0x00123456), 0x00123456u);
    TFontInfo font;
    EXPECT_FALSE(ini.ReadFont("Look", "Title", "Sans", font));
    TFontInfo bold{"DejaVu Sans", 1, 255, 10, 1};
    ini.WriteFont("Look", "Title", bold);
    ASSERT_TRUE(ini.ReadFont("Look", "Title", "Sans", font));
    EXPECT_EQ(font.Name, "DejaVu Sans");
    EXPECT_EQ(font.Size, 10);
    EXPECT_EQ(font.Style, 1);
    EXPECT_EQ(ini.ReadInteger("Look", "TitleColor", 0), 255);
    ini.WriteString("Look", "Long", std::string(3000, 'x'));
    EXPECT_EQ(ini.ReadString("Look", "Long", "").size(), 2047u);
}

TEST_F(IniFile, FailedWriteRaisesAndLeavesTheFileAsItWas) {
    Put("[A]\nx=1\n");
    TOrvelIniFile ini(Root + "s.ini");
    if (geteuid() == 0) {
        // Root writes anywhere; a folder in place of the file stands in for a read-only one.
        TOrvelIniFile blocked(Root + "folder/s.ini");
        try {
            blocked.WriteInteger("A", "x", 2);
            FAIL();
        } catch (const EFileError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + Root + "folder/s.ini");
        }
    } else {
        chmod(Root.c_str(), 0500);
        EXPECT_THROW(ini.WriteInteger("A", "x", 2), EFileError);
        chmod(Root.c_str(), 0700);
    }
    EXPECT_EQ(Text(), "[A]\nx=1\n");
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(Root)) files += e.is_regular_file();
    EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

// A save is one rewrite; a file behind a link is rewritten where it lives.
TEST_F(IniFile, AnUpdateIsOneRewriteThroughALink) {
    std::filesystem::create_directory(Root + "dotfiles");
    std::ofstream(Root + "dotfiles/real.ini") << "[A]\nx=1\n";
    std::filesystem::create_symlink(Root + "dotfiles/real.ini", Root + "s.ini");
    TOrvelIniFile ini(Root + "s.ini");
    ini.BeginUpdate();
    ini.WriteInteger("A", "x", 2);
    ini.WriteString("B", "y", "z");
    EXPECT_EQ(ini.ReadInteger("A", "x", 0), 2);  // reads see what is pending
    EXPECT_EQ(Text(), "[A]\nx=1\n");             // the file does not, yet
    ini.EndUpdate();
    EXPECT_TRUE(std::filesystem::is_symlink(Root + "s.ini"));
    EXPECT_EQ(Text(), "[A]\nx=2\n\n[B]\ny=z\n");
    ini.WriteInteger("A", "x", 3);
    EXPECT_TRUE(std::filesystem::is_symlink(Root + "s.ini"));
    EXPECT_EQ(TOrvelIniFile(Root + "dotfiles/real.ini").ReadInteger("A", "x", 0), 3);
}

TEST_F(IniFile, CreateExUsesTheSettingsFolder) {
    TOrvelIniFile ini = TOrvelIniFile::CreateEx("Quorix Image Resizer");
    EXPECT_EQ(ini.FileName(), Root + "Quorix Image Resizer/Quorix Image Resizer.ini");
    EXPECT_TRUE(std::filesystem::is_directory(Root + "Quorix Image Resizer"));
    EXPECT_THROW(TOrvelIniFile::CreateEx("a/b"), EAssertionFailed);
}

}  // namespace
}  // namespace quorix
