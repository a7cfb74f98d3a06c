#include "RunSources.h"

#include <sys/stat.h>

namespace quorix {

TRunSources::TRunSources(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) Add(path);
}

void TRunSources::Add(const std::string& path) {
    FPaths.insert(path);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) FFiles.insert({st.st_dev, st.st_ino});
}

bool TRunSources::Contains(const std::string& path) const {
    if (FPaths.count(path)) return true;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && FFiles.count({st.st_dev, st.st_ino}) > 0;
}

}  // namespace quorix
