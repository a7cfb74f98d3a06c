#include "FolderTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace quorix {

namespace {

constexpr int MaxDepth = 64;

void Walk(int parent, const std::string& relative, int depth, bool recursive, const std::vector<std::string>& skip,
          const std::function<bool(const std::string&)>& wanted, std::vector<std::string>& files) {
    DIR* dir = ::fdopendir(parent);
    if (!dir) {
        ::close(parent);
        return;
    }
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            const bool skipped = name[0] == '.' || (depth == 0 && std::find(skip.begin(), skip.end(), name) != skip.end());
            if (recursive && !skipped && depth + 1 < MaxDepth) folders.push_back(name);
            continue;
        }
        // A link counts as the file it points to; a link to a folder is not entered.
        if (S_ISLNK(st.st_mode) && (::fstatat(::dirfd(dir), name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))) continue;
        if (S_ISREG(st.st_mode) && wanted(name)) files.push_back(relative + name);
    }
    for (const std::string& name : folders) {
        const int child = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0) Walk(child, relative + name + "/", depth + 1, recursive, skip, wanted, files);
    }
    ::closedir(dir);
}

}  // namespace

std::vector<std::string> FilesUnder(const std::string& folder, bool recursive, const std::vector<std::string>& skip,
                                    const std::function<bool(const std::string& name)>& wanted) {
    std::vector<std::string> files;
    const int top = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top >= 0) Walk(top, "", 0, recursive, skip, wanted, files);
    return files;
}

}  // namespace quorix
