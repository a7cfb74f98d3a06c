#include "ResizeImage.h"
#include "SizeBudget.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quorix {
namespace {

// A file of quality x 1000 bytes: the search must find the highest fitting
// quality in at most 8 encodes from any start, and keep the file at 5 when
// nothing fits.
TEST(SizeBudget, HighestFittingQualityInFewEncodes) {
    auto encode = [](int quality) { return std::vector<uint8_t>(static_cast<size_t>(quality) * 1000); };
    for (int start = 5; start <= 99; ++start)
        for (int64_t limit : {0, 4999, 5000, 37000, 37999, 70000, 99000, 200000}) {
            const TBudgetResult r = FitToBudget(start, limit, encode);
            const int want = static_cast<int>(std::min<int64_t>(start, limit / 1000));
            EXPECT_LE(r.Encodes, 8) << start << " " << limit;
            EXPECT_EQ(r.Reached, want >= 5) << start << " " << limit;
            EXPECT_EQ(r.Quality, want >= 5 ? want : 5) << start << " " << limit;
            EXPECT_EQ(r.Bytes.size(), static_cast<size_t>(r.Quality) * 1000) << start << " " << limit;
        }
}

int64_t FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

TEST(SizeBudget, ThePipelineKeepsLossyFilesWithinTheLimit) {
    test::TTempDir dir;
    test::WriteJpeg(dir.File("noise.jpg"), test::MakeNoise(400, 300, 3), 95);
    ::mkdir(dir.File("out").c_str(), 0700);
    TResizeOptions o;
    o.Quality = 90;
    const int64_t unlimited = FileSize(ResizeImage(dir.File("noise.jpg"), dir.File("out/"), o).OutputName);
    const struct { const char* format; int maxKB; bool within, warned; } cases[] = {
        {"jpg", static_cast<int>(unlimited / 1024 / 2), true, false},  // fits at a lower quality
        {"webp", 20, true, false},
        {"jpg", 1, false, true},   // not even at 5: written at 5, with a warning
        {"png", 1, false, false},  // lossless: the limit does not apply
    };
    for (const auto& c : cases) {
        o.Format = c.format;
        o.MaxKB = c.maxKB;
        const TResizeResult r = ResizeImage(dir.File("noise.jpg"), dir.File("out/"), o);
        ASSERT_EQ(r.Outcome, TResizeOutcome::Written) << c.format;
        EXPECT_EQ(FileSize(r.OutputName) <= int64_t{c.maxKB} * 1024, c.within) << c.format << " " << c.maxKB;
        EXPECT_EQ(r.Log.size() == 2 && r.Log[1] == "WARNING! Size limit not reached: " + r.OutputName, c.warned) << c.format;
    }
}

}  // namespace
}  // namespace quorix
