// The files of a folder, and of its sub-folders when asked, by their bytes.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorix {

// How a walk goes, and what it could not see.
struct TFolderWalk {
    bool Recursive = false;
    // Top-level folders with these names are not entered (the output folder "Output").
    std::vector<std::string> SkipNames;
    // Folders not entered wherever they lie, by device and inode: the run's
    // output folders, so that a run never reads what it writes.
    std::vector<std::pair<unsigned long long, unsigned long long>> SkipFolders;
    // Filled by the walk: each folder that could not be read, and each where
    // the depth limit stopped it, as a line for the log.
    std::vector<std::string> Problems;
    // Asked with the number of entries seen so far, before each folder and
    // every 256 entries: false ends the walk with what it found (Stopped).
    std::function<bool(unsigned long long seen)> GoOn;
    bool Stopped = false;
};

// The regular files (or links to them) under folder whose own name wanted
// accepts, as paths relative to folder ("2024/May/beach.jpg"). Sub-folders
// are entered only when recursive; never links to folders (no loops), hidden
// folders, the folders the walk skips, nor more than 64 levels down.
std::vector<std::string> FilesUnder(const std::string& folder, TFolderWalk& walk,
                                    const std::function<bool(const std::string& name)>& wanted);
std::vector<std::string> FilesUnder(const std::string& folder, bool recursive, const std::vector<std::string>& skip,
                                    const std::function<bool(const std::string& name)>& wanted);

// A folder's device and inode; false when it cannot be reached.
bool FolderIdentity(const std::string& folder, std::pair<unsigned long long, unsigned long long>& identity);

}  // namespace quorix
