#include "FolderTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorix {

namespace {

constexpr int MaxDepth = 64;

struct TWalker {
    TFolderWalk& Walk;
    const std::function<bool(const std::string&)>& Wanted;
    const std::string& Top;
    std::vector<std::string>& Files;
    unsigned long long Seen = 0;

    // False once the walk is to end.
    bool Going() {
        if (Walk.Stopped) return false;
        if (Walk.GoOn && !Walk.GoOn(Seen)) Walk.Stopped = true;
        return !Walk.Stopped;
    }

    bool Skipped(const std::string& name, const struct stat& st, int depth) const {
        if (name[0] == '.') return true;
        if (depth == 0 && std::find(Walk.SkipNames.begin(), Walk.SkipNames.end(), name) != Walk.SkipNames.end()) return true;
        const std::pair<unsigned long long, unsigned long long> id{st.st_dev, st.st_ino};
        return std::find(Walk.SkipFolders.begin(), Walk.SkipFolders.end(), id) != Walk.SkipFolders.end();
    }

    void Problem(const std::string& relative, const char* what) {
        Walk.Problems.push_back(std::string("WARNING! ") + what + ": " + Top + relative);
    }

    void Enter(int parent, const std::string& relative, int depth) {
        if (!Going()) return (void)::close(parent);
        DIR* dir = ::fdopendir(parent);
        if (!dir) {
            ::close(parent);
            return Problem(relative, "Cannot read folder");
        }
        std::vector<std::string> folders;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (++Seen % 256 == 0 && !Going()) break;
            struct stat st;
            if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                if (!Walk.Recursive || Skipped(name, st, depth)) continue;
                if (depth + 1 < MaxDepth) folders.push_back(name);
                else Problem(relative + name + "/", "Folder too deep, not read");
                continue;
            }
            // A link counts as the file it points to; a link to a folder is not entered.
            if (S_ISLNK(st.st_mode) && (::fstatat(::dirfd(dir), name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))) continue;
            if (S_ISREG(st.st_mode) && Wanted(name)) Files.push_back(relative + name);
        }
        for (const std::string& name : folders) {
            if (Walk.Stopped) break;
            const int child = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) Enter(child, relative + name + "/", depth + 1);
            else Problem(relative + name + "/", "Cannot read folder");
        }
        ::closedir(dir);
    }
};

}  // namespace

std::vector<std::string> FilesUnder(const std::string& folder, TFolderWalk& walk,
                                    const std::function<bool(const std::string& name)>& wanted) {
    std::vector<std::string> files;
    const std::string top = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    TWalker walker{walk, wanted, top, files};
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) walker.Enter(fd, "", 0);
    else walker.Problem("", "Cannot read folder");
    return files;
}

std::vector<std::string> FilesUnder(const std::string& folder, bool recursive, const std::vector<std::string>& skip,
                                    const std::function<bool(const std::string& name)>& wanted) {
    TFolderWalk walk;
    walk.Recursive = recursive;
    walk.SkipNames = skip;
    return FilesUnder(folder, walk, wanted);
}

bool FolderIdentity(const std::string& folder, std::pair<unsigned long long, unsigned long long>& identity) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    identity = {st.st_dev, st.st_ino};
    return true;
}

}  // namespace quorix
