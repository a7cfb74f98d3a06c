#include "RunSources.h"

#include <algorithm>

#include <sys/stat.h>

namespace quorix {

namespace {

template <class T>
void InsertSorted(std::vector<T>& sorted, const T& value) {
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), value);
    if (at == sorted.end() || *at != value) sorted.insert(at, value);
}

template <class T>
void SortUnique(std::vector<T>& values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    values.shrink_to_fit();
}

}  // namespace

uint64_t NameHash(const std::string& name) {
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

TRunSources::TRunSources(const std::vector<std::string>& paths) {
    FPaths.reserve(paths.size());
    for (const std::string& path : paths) {
        FPaths.push_back(NameHash(path));
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) FFiles.emplace_back(st.st_dev, st.st_ino);
    }
    SortUnique(FPaths);
    SortUnique(FFiles);
}

void TRunSources::Add(const std::string& path) {
    InsertSorted(FPaths, NameHash(path));
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) InsertSorted(FFiles, {st.st_dev, st.st_ino});
}

bool TRunSources::Contains(const std::string& path) const {
    if (std::binary_search(FPaths.begin(), FPaths.end(), NameHash(path))) return true;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 &&
           std::binary_search(FFiles.begin(), FFiles.end(), std::make_pair<unsigned long long, unsigned long long>(st.st_dev, st.st_ino));
}

}  // namespace quorix
