// Walking a tree: what is skipped, and what the walk could not see is named.
#include "FolderTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorix {
namespace {

namespace fs = std::filesystem;

struct TTree {
    fs::path Root = fs::temp_directory_path() / ("quorix-tree-" + std::to_string(::getpid()));
    TTree() { fs::create_directories(Root); }
    ~TTree() { fs::remove_all(Root); }
    void File(const fs::path& relative) {
        fs::create_directories((Root / relative).parent_path());
        std::ofstream(Root / relative) << "x";
    }
};

// The walk stops 64 levels down and says where; a folder skipped by its
// identity is not entered wherever it lies; "Output" only at the top.
TEST(FolderTree, DepthLimitAndSkippedFolders) {
    TTree tree;
    fs::path deep;
    for (int level = 0; level < 65; ++level) deep /= "d";
    tree.File(deep / "lost.jpg");
    tree.File("a/small/out.jpg");
    tree.File("a/keep.jpg");
    tree.File("Output/old.jpg");
    tree.File("a/Output/kept.jpg");
    TFolderWalk walk;
    walk.Recursive = true;
    walk.SkipNames = {"Output"};
    std::pair<unsigned long long, unsigned long long> small;
    ASSERT_TRUE(FolderIdentity((tree.Root / "a/small").string(), small));
    walk.SkipFolders.push_back(small);
    std::vector<std::string> files = FilesUnder(tree.Root.string(), walk, [](const std::string&) { return true; });
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a/Output/kept.jpg", "a/keep.jpg"}));
    ASSERT_EQ(walk.Problems.size(), 1u);
    EXPECT_EQ(walk.Problems[0].rfind("WARNING! Folder too deep, not read: " + tree.Root.string() + "/d/", 0), 0u)
        << walk.Problems[0];
    TFolderWalk missing;
    EXPECT_TRUE(FilesUnder((tree.Root / "gone").string(), missing, [](const std::string&) { return true; }).empty());
    EXPECT_EQ(missing.Problems, std::vector<std::string>{"WARNING! Cannot read folder: " + (tree.Root / "gone/").string()});
}

}  // namespace
}  // namespace quorix
