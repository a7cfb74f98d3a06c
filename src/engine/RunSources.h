// The sources of one run, so that no output replaces any of them: a file is
// the same as a source when it has the source's path or its device and inode
// (a link, or an output folder that is the sources' own folder). A run of
// hundreds of thousands of pictures keeps 8 bytes a path and 16 a file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quorix {

class TRunSources {
public:
    TRunSources() = default;
    explicit TRunSources(const std::vector<std::string>& paths);
    void Add(const std::string& path);
    bool Contains(const std::string& path) const;

private:
    std::vector<uint64_t> FPaths;  // sorted hashes of the paths' bytes
    std::vector<std::pair<unsigned long long, unsigned long long>> FFiles;  // sorted devices and inodes
};

// A 64-bit hash of a name's bytes (FNV-1a).
uint64_t NameHash(const std::string& name);

}  // namespace quorix
