// The update information page reader and the version comparison on any text.
#include "UpdateInfoPage.h"

#include <cstdint>
#include <string>

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitLines(text);
    TUpdateTagInfo tags;
    tags.ProductName = "OrvelProduct";
    tags.Version = "OrvelVersion";
    TUpdatePageValues values;
    ParseInfoPage(lines, tags, values);
    for (const std::string& line : lines) {
        ExtractContent(line);
        ExtractMetaName(line);
    }
    // Two versions: the page's, and the first line against the second.
    const std::string current = lines.size() > 1 ? lines[1] : "1.0.0.0";
    const std::string page = lines.empty() ? values.ProductVersion : lines[0];
    for (TUpdateVersionFormat format :
         {TUpdateVersionFormat::vfStandard, TUpdateVersionFormat::vfString, TUpdateVersionFormat::vfNumber}) {
        VersionIsNewer(values.ProductVersion, current, format);
        VersionIsNewer(page, current, format);
        VersionIsNewer(page, page, format);
    }
    return 0;
}
