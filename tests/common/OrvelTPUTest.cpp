#include "OrvelMessages.h"
#include "OrvelIniFile.h"
#include "OrvelTPU.h"
#include "QuorixError.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace quorix {
namespace {

namespace fs = std::filesystem;

// A temporary folder that also serves as HOME and XDG_CONFIG_HOME.
class TempHome : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorix-common-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = std::string(pattern) + "/";
        setenv("HOME", Root.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (Root + "config").c_str(), 1);
        Previous = SetMessageSink([this](TMessageKind kind, const std::string& text) {
            Messages.emplace_back(kind, text);
        });
    }
    void TearDown() override {
        SetMessageSink(Previous);
        fs::remove_all(Root);
    }
    void Touch(const std::string& name) { std::ofstream(Root + name) << "x"; }

    std::string Root;
    TMessageSink Previous;
    std::vector<std::pair<TMessageKind, std::string>> Messages;
};

TEST(TextHelpers, PathAndTextRoutines) {
    EXPECT_EQ(EnsureTrailingDelimiter(""), "");
    EXPECT_EQ(EnsureTrailingDelimiter("/home"), "/home/");
    EXPECT_EQ(EnsureTrailingDelimiter("/home/pics/"), "/home/pics/");

    const std::pair<const char*, const char*> names[] = {
        {"/photos/beach.01.jpg", "beach.01"}, {"report.tar.gz", "report.tar"}, {"/tools/Resizer.exe", "Resizer"},
        {".profile", ""}, {"/data/readme", "/data/readme"}, {"notes.", "notes"}, {"holiday.photo.png", "holiday.photo"},
        // Names are bytes: overlong UTF-8 for "../" and Latin-1 stay as they are.
        {"/in/\xC0\xAE\xC0\xAE\xC0\xAFholiday.jpg", "\xC0\xAE\xC0\xAE\xC0\xAFholiday"}, {"caf\xE9.png", "caf\xE9"}};
    for (const auto& n : names) EXPECT_EQ(NameWithoutExtension(n.first), n.second) << n.first;

    EXPECT_EQ(LastPos(".", "a.b.c"), 4);
    EXPECT_EQ(LastPos("x", "abc"), 0);
    EXPECT_EQ(LastPos("é", "aébé"), 4);  // characters, not bytes
    EXPECT_EQ(CopyRange("abcdef", 2, 4), "bcd");
    EXPECT_EQ(CopyRange("abc", 1, 0), "");
    EXPECT_EQ(CopyRange("abc", 2, 10), "bc");
    EXPECT_EQ(CopyRange("äöü", 2, 2), "ö");
    EXPECT_EQ(ReverseText(""), "");
    EXPECT_EQ(ReverseText("abé"), "éba");
}

TEST(TextHelpers, Numbers) {
    EXPECT_EQ(IntToText(-42), "-42");
    EXPECT_EQ(IntToText(2147483647), "2147483647");
    const std::pair<long double, const char*> reals[] = {
        {12.3456L, "12.34"}, {7.5L, "7.5"}, {8.0L, "8"}, {0.999L, "0.99"}, {0.0L, "0"}, {-3.14159L, "-3.14"},
        {1.234L, "1.23"}, {2.5L, "2.5"}};
    for (const auto& r : reals) EXPECT_EQ(FormatReal(2, r.first), r.second) << static_cast<double>(r.first);
    EXPECT_EQ(FormatReal(0, 12.5L), "12.");
    EXPECT_EQ(FormatReal(2, 1e20L), "1E20");
    EXPECT_THROW(FormatReal(2, std::nanl("")), EAssertionFailed);

    const std::pair<int64_t, const char*> sizes[] = {
        {0, "0 Byte"}, {1, "1 Bytes"}, {1023, "1,023 Bytes"}, {1024, "1.0 KB"}, {1536, "1.5 KB"},
        {1048576, "1.0 MB"}, {5000000000LL, "4.7 GB"}, {-1, "-1 Bytes"}, {1LL << 50, "1,024.0 TB"},
        {INT64_MIN, "-9,223,372,036,854,775,808 Bytes"}};
    for (const auto& s : sizes) EXPECT_EQ(FormatFileSize(s.first), s.second) << s.first;
    EXPECT_EQ(FormatFileSize(1LL << 50, TNumberFormat{U'.', U','}), "1.024,0 TB");
    EXPECT_EQ(FormatFileSize(1536, TNumberFormat{U' ', U','}), "1,5 KB");

    EXPECT_EQ(PercentOf(50, 200), 25.0L);
    EXPECT_EQ(PercentOf(1, 3), 100.0L / 3.0L);
    EXPECT_THROW(PercentOf(1, 0), EAssertionFailed);
    EXPECT_THROW(PercentOf(1, -5), EAssertionFailed);
    EXPECT_THROW(PercentOf(INT64_MAX / 10, 1), EIntOverflow);
}

TEST(TextHelpers, CrlfTokens) {
    const std::pair<const char*, const char*> cases[] = {
        {"One CRLF two", "One \r\ntwo"}, {"OneCRLFtwo", "One\r\ntwo"}, {"no token", "no token"},
        {"crlf stays", "crlf stays"}, {"Disk fullCRLF retry later", "Disk full\r\nretry later"},
        {"a CRLF CRLF b", "a \r\n\r\nb"}};
    for (const auto& c : cases) EXPECT_EQ(ExpandCrlfTokens(c.first), c.second) << c.first;
}

TEST(TextHelpers, AssertionNamesTheSourceFile) {
    try {
        EnsureFolder("");
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Assertion failure (OrvelTPU.cpp, line ", 0), 0u) << e.what();
    }
}

TEST_F(TempHome, FolderExistsAndFileExists) {
    Touch("file.txt");
    EXPECT_TRUE(FolderExists(Root));
    EXPECT_TRUE(FolderExists(Root.substr(0, Root.size() - 1)));
    EXPECT_FALSE(FolderExists(Root + " "));
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(Root + "file.txt"));
    fs::create_symlink(Root, Root + "link");
    EXPECT_TRUE(FolderExists(Root + "link"));
    EXPECT_TRUE(FileExists(Root + "file.txt"));
    EXPECT_FALSE(FileExists(Root));
}

TEST_F(TempHome, ForceFoldersAndEnsureFolder) {
    EXPECT_TRUE(ForceFolders("/"));
    EXPECT_FALSE(ForceFolders(""));
    fs::create_directory(Root + "A");
    EXPECT_TRUE(ForceFolders(Root + "A/B/C/"));
    EXPECT_TRUE(FolderExists(Root + "A/B/C"));
    EXPECT_EQ(EnsureFolder(Root + "A"), 0);
    EXPECT_EQ(EnsureFolder(Root + "N/M"), 1);
    Touch("plain");
    EXPECT_EQ(EnsureFolder(Root + "plain/sub"), -1);
    EXPECT_EQ(EnsureFolderWithMessage(Root + "plain/sub"), -1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].second, "Cannot create folder: " + Root + "plain/sub\r\nProbably you are trying to write to a "
                                  "folder to which you don't have write permissions.");
    EXPECT_EQ(EnsureFolderWithMessage(Root + "A"), 0);
    EXPECT_EQ(Messages.size(), 1u);
    // A relative name with no folder part creates nothing unless it exists.
    fs::path previous = fs::current_path();
    fs::current_path(Root);
    EXPECT_FALSE(ForceFolders("Output"));
    EXPECT_FALSE(fs::exists(Root + "Output"));
    fs::create_directory(Root + "Output");
    EXPECT_TRUE(ForceFolders("Output"));
    fs::current_path(previous);
}

TEST_F(TempHome, SettingsAndUserFolders) {
    EXPECT_EQ(SpecialFolderPath(CSIDL_APPDATA), Root + "config/");
    EXPECT_EQ(AppDataSubfolderPath("Quorix Image Resizer"), Root + "config/Quorix Image Resizer/");
    std::string ini = IniFilePath("Quorix Image Resizer");
    EXPECT_EQ(ini, Root + "config/Quorix Image Resizer/Quorix Image Resizer.ini");
    EXPECT_TRUE(FolderExists(Root + "config/Quorix Image Resizer"));
    EXPECT_FALSE(FileExists(ini));
    EXPECT_EQ(SpecialFolderPath(CSIDL_DESKTOPDIRECTORY), Root + "Desktop/");
    fs::create_directories(Root + "config");
    std::ofstream(Root + "config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(SpecialFolderPath(CSIDL_PERSONAL), Root + "Dokumente/");
    EXPECT_EQ(SpecialFolderPath(0x99), "");
    std::string app = AppFolder();
    ASSERT_FALSE(app.empty());
    EXPECT_EQ(app.back(), '/');
    EXPECT_TRUE(FolderExists(app));
}

TEST_F(TempHome, CopyFileIntoAndFileSizeOf) {
    std::ofstream(Root + "source.bin") << "12345";
    fs::create_directory(Root + "dest");
    std::ofstream(Root + "dest/source.bin") << "old";
    EXPECT_FALSE(CopyFileInto(Root + "source.bin", Root + "dest/", false));
    EXPECT_EQ(fs::file_size(Root + "dest/source.bin"), 3u);
    EXPECT_TRUE(CopyFileInto(Root + "source.bin", Root + "dest/", true));
    EXPECT_EQ(fs::file_size(Root + "dest/source.bin"), 5u);

    EXPECT_EQ(FileSizeOf(Root + "source.bin"), 5);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(FileSizeOf(Root + "missing"), -1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].first, TMessageKind::Plain);
    EXPECT_EQ(Messages[0].second, "File \"" + Root + "missing\" does not exist");
    EXPECT_FALSE(CheckFileExists(""));
    EXPECT_EQ(Messages.back().second, "No file specified!");
    if (geteuid() != 0) {  // root reads any file
        chmod((Root + "source.bin").c_str(), 0);
        EXPECT_EQ(FileSizeOf(Root + "source.bin"), -1);
        EXPECT_EQ(Messages.size(), 2u);
    }
}

TEST_F(TempHome, MessagesSkipEmptyTextsAndExpandTokens) {
    ShowError("");
    ShowWarning("");
    EXPECT_TRUE(Messages.empty());
    ShowError("Disk fullCRLF retry later");
    ShowInfo("i");
    ShowWarning("w");
    ShowPlainMessage("p");
    ASSERT_EQ(Messages.size(), 4u);
    EXPECT_EQ(Messages[0], std::make_pair(TMessageKind::Error, std::string("Disk full\r\nretry later")));
    EXPECT_EQ(Messages[1].first, TMessageKind::Information);
    EXPECT_EQ(Messages[2].first, TMessageKind::Warning);
    EXPECT_EQ(Messages[3].first, TMessageKind::Plain);
}

}  // namespace
}  // namespace quorix

namespace quorix {
namespace {

// The desktop's locale switches the C library's number format: what is
// written must read back the same, and the texts keep their own separators.
TEST(Locale, NumbersReadBackInEveryLocale) {
    const char* dir = std::getenv("TMPDIR");
    const std::string file = std::string(dir ? dir : "/tmp") + "/quorix-locale-" + std::to_string(getpid()) + ".ini";
    int tried = 0;
    for (const char* name : {"C", "de_DE.UTF-8", "en_US.UTF-8", "fr_FR.UTF-8", "he_IL.UTF-8"}) {
        if (!std::setlocale(LC_ALL, name)) continue;  // scripts/install-deps generates them
        ++tried;
        EXPECT_EQ(FormatReal(2, 1234.5678L), "1234.56") << name;
        EXPECT_EQ(FormatReal(1, 2.0L / 3.0L), "0.6") << name;
        EXPECT_EQ(FormatFileSize(90726, TNumberFormat{U'.', U','}), "88,6 KB") << name;
        EXPECT_EQ(FormatFileSize(5 * 1048576 + 1048576 / 4, TNumberFormat{U',', U'.'}), "5.2 MB") << name;
        for (char separator : {'.', ','}) {
            TOrvelIniFile ini(file);
            ini.SetDecimalSeparator(separator);
            ini.WriteFloat("S", "spnIncFactor", 2.5);
            ini.WriteFloat("S", "tiny", 1.25e-7);
            EXPECT_EQ(ini.ReadFloat("S", "spnIncFactor", 0), 2.5) << name << " " << separator;
            EXPECT_EQ(ini.ReadFloat("S", "tiny", 0), 1.25e-7) << name << " " << separator;
        }
    }
    std::setlocale(LC_ALL, "C");
    std::remove(file.c_str());
    EXPECT_GE(tried, 1);
}

}  // namespace
}  // namespace quorix
