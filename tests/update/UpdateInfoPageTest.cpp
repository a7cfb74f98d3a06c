#include "UpdateInfoPage.h"

#include <gtest/gtest.h>

namespace quorix {
namespace {

TUpdateTagInfo ProgramTags() {
    TUpdateTagInfo tags;
    tags.ProductName = "OrvelProduct";
    tags.Version = "OrvelVersion";
    tags.Download = "OrvelDownload";
    tags.ClientFileName = "OrvelClientSideName";
    tags.Redirection = "OrvelRedirection";
    tags.RunParameters = "OrvelRunParameters";
    tags.Author = "OrvelAuthor";
    tags.Email = "OrvelEmail";
    return tags;
}

std::string VersionOf(const std::vector<std::string>& lines) {
    TUpdatePageValues values;
    ParseInfoPage(lines, ProgramTags(), values);
    return values.ProductVersion;
}

struct TLineCase {
    const char* Line;
    const char* Version;
};

class VersionLines : public testing::TestWithParam<TLineCase> {};

TEST_P(VersionLines, GiveTheVersionOrNothing) {
    EXPECT_EQ(VersionOf({GetParam().Line}), GetParam().Version) << GetParam().Line;
}

INSTANTIATE_TEST_SUITE_P(
    Page, VersionLines,
    testing::Values(TLineCase{R"(<META NAME="OrvelVersion" CONTENT="2.4.0.0">)", "2.4.0.0"},
                    TLineCase{R"(<meta name="OrvelVersion" content="2.4.0.0">)", "2.4.0.0"},
                    TLineCase{R"(<meta name="orvelversion" content="2.4.0.0">)", ""},
                    TLineCase{R"(<META NAME = "OrvelVersion" CONTENT="2.4">)", ""},
                    TLineCase{R"(<meta  name="OrvelVersion" content="2.4">)", ""},
                    TLineCase{R"(<meta content="3.1" name="x"><meta name="OrvelVersion">)", "3.1"},
                    TLineCase{R"(<META NAME="OrvelVersion" CONTENT="2.4>)", ""},
                    TLineCase{R"(  text <META NAME="OrvelVersion" CONTENT='2.4'>)", ""},
                    TLineCase{R"(<META NAME="OrvelVersion">)", ""}));

TEST(InfoPage, ContentBeforeTheNameAndLongValues) {
    EXPECT_EQ(VersionOf({R"(<meta content="5.0" name="OrvelVersion">)"}), "");  // the name is not at its place
    EXPECT_EQ(ExtractContent(R"(x CONTENT="a" META NAME="b")"), "a");
    const std::string longValue(254, 'v');
    EXPECT_EQ(ExtractContent("content=\"" + longValue + "\""), longValue);
    EXPECT_EQ(ExtractContent("content=\"" + longValue + "vv\""), "");  // no quote within 255 characters
    EXPECT_EQ(ExtractMetaName(R"(<META NAME="OrvelVersion" CONTENT="1">)"), "OrvelVersion");
}

TEST(InfoPage, EveryItemAndTheLaterLineWins) {
    TUpdatePageValues values;
    values.Author = "stale";
    ParseInfoPage({R"(<META NAME="OrvelProduct" CONTENT="Quorix">)", R"(<META NAME="OrvelVersion" CONTENT="1.0">)",
                   R"(<META NAME="OrvelDownload" CONTENT="http://h/q.bin">)",
                   R"(<META NAME="OrvelClientSideName" CONTENT="q.bin">)",
                   R"(<META NAME="OrvelRunParameters" CONTENT="/S">)", R"(<META NAME="OrvelEmail" CONTENT="e@x">)",
                   R"(<META NAME="OrvelVersion" CONTENT="2.0">)"},
                  ProgramTags(), values);
    EXPECT_EQ(values.ProductName, "Quorix");
    EXPECT_EQ(values.ProductVersion, "2.0");
    EXPECT_EQ(values.UpdateURL, "http://h/q.bin");
    EXPECT_EQ(values.ClientFileName, "q.bin");
    EXPECT_EQ(values.RunParameters, "/S");
    EXPECT_EQ(values.EMail, "e@x");
    EXPECT_EQ(values.Author, "");  // emptied first
    EXPECT_EQ(values.RedirectionURL, "");
}

TEST(InfoPage, TwoItemsWithOneName) {
    TUpdateTagInfo tags = ProgramTags();
    tags.Author = "OrvelProduct";
    TUpdatePageValues values;
    ParseInfoPage({R"(<META NAME="OrvelProduct" CONTENT="Quorix">)"}, tags, values);
    EXPECT_EQ(values.ProductName, "Quorix");
    EXPECT_EQ(values.Author, "Quorix");
}

TEST(InfoPage, Lines) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
}

struct TVersionCase {
    TUpdateVersionFormat Format;
    const char* Current;
    const char* Page;
    bool Newer;
};

class Versions : public testing::TestWithParam<TVersionCase> {};

TEST_P(Versions, Compare) {
    const TVersionCase& c = GetParam();
    EXPECT_EQ(VersionIsNewer(c.Page, c.Current, c.Format), c.Newer) << c.Page << " against " << c.Current;
}

constexpr auto S = TUpdateVersionFormat::vfStandard;
constexpr auto T = TUpdateVersionFormat::vfString;
constexpr auto N = TUpdateVersionFormat::vfNumber;

INSTANTIATE_TEST_SUITE_P(
    Formats, Versions,
    testing::Values(TVersionCase{S, "2.3.0.0", "2.3.0.1", true}, TVersionCase{S, "2.3.0.0", "2.3.0.0", false},
                    TVersionCase{S, "2.3.0.0", "2.2.9.9", false}, TVersionCase{S, "2.3.0.0", "3", true},
                    TVersionCase{S, "2.3.0.0", "2.4", true}, TVersionCase{S, "2.3.0.0", "2.3", true},
                    TVersionCase{S, "2.3.0.0", "2.3.0", false}, TVersionCase{S, "1.2", "1.2.1", false},
                    TVersionCase{S, "1.0", "2a.0", false}, TVersionCase{S, "Cannot obtain version info!", "1.0", true},
                    TVersionCase{S, "1.0.0.0", "99999999999.0", false}, TVersionCase{T, "1.9", "1.10", false},
                    TVersionCase{T, "a", "b", true}, TVersionCase{N, "1.9", "1.10", false},
                    TVersionCase{N, "1.4", "1,5", false}, TVersionCase{N, "1.4", "1.5", true},
                    TVersionCase{N, "1.4", "1.5x", false}));

}  // namespace
}  // namespace quorix
