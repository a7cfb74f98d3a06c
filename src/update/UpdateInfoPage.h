// The update information page: META lines naming the newest version, where to
// download it and how to run it, and the comparison with the running version.
#pragma once

#include <string>
#include <vector>

namespace quorix {

enum class TUpdateVersionFormat { vfStandard, vfString, vfNumber };

// The names of the META lines the page is read for.
struct TUpdateTagInfo {
    std::string Author = "wuAuthor";
    std::string Email = "wuEmail";
    std::string ClientFileName = "wuClientSideName";
    std::string Download = "wuDownload";
    std::string ProductName = "wuProduct";
    std::string Redirection = "wuRedirection";
    std::string RunParameters = "wuRunParameters";
    std::string Version = "wuVersion";
};

// The eight values a page gives.
struct TUpdatePageValues {
    std::string ProductName;
    std::string ProductVersion;
    std::string UpdateURL;
    std::string ClientFileName;
    std::string RedirectionURL;
    std::string RunParameters;
    std::string Author;
    std::string EMail;
};

// The text of CONTENT="..." on the line; empty without one or without its closing quote.
std::string ExtractContent(const std::string& line);
// The name of META NAME="..." on the line; empty when the line names nothing.
std::string ExtractMetaName(const std::string& line);
// Empties the values, then reads every line in order; a later line wins.
void ParseInfoPage(const std::vector<std::string>& lines, const TUpdateTagInfo& tags, TUpdatePageValues& values);
// True when the page's version is newer than the current one.
bool VersionIsNewer(const std::string& pageVersion, const std::string& currentVersion, TUpdateVersionFormat format);
// The page's text as lines, broken at CR, LF or CR LF.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace quorix
