// The sources of one run, so that no output replaces any of them: a file is
// the same as a source when it has the source's path or its device and inode
// (a link, or an output folder that is the sources' own folder).
#pragma once

#include <set>
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
    std::set<std::string> FPaths;
    std::set<std::pair<unsigned long long, unsigned long long>> FFiles;
};

}  // namespace quorix
