// The files of a folder, and of its sub-folders when asked, by their bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorix {

// The regular files (or links to them) under folder whose own name wanted
// accepts, as paths relative to folder ("2024/May/beach.jpg"). Sub-folders
// are entered only when recursive; never links to folders (no loops), hidden
// folders, the top-level folders named in skip (the output folder), nor more
// than 64 levels down.
std::vector<std::string> FilesUnder(const std::string& folder, bool recursive, const std::vector<std::string>& skip,
                                    const std::function<bool(const std::string& name)>& wanted);

}  // namespace quorix
