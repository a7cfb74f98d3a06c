// Damaged files of every format: a clear exception, never a crash.
#include "Bmp.h"
#include "Graphic.h"
#include "Jpeg.h"
#include "Png.h"
#include "QuorixError.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <random>

namespace quorix {
namespace {

using test::TTempDir;

// Decodes the bytes under the name and converts them as the resampler does.
void Decode(const TTempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    test::WriteFileBytes(dir.File(name), bytes);
    test::LoadAs24(dir.File(name));
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> GoodFiles(const TTempDir& dir) {
    TBitmap noise = test::MakeNoise(24, 16, 42);
    test::WriteJpeg(dir.File("g.jpg"), noise);
    TPngImage png;
    png.Assign(noise);
    png.SaveToFile(dir.File("g.png"));
    TBmpImage bmp;
    bmp.Assign(noise);
    bmp.SaveToFile(dir.File("g.bmp"));
    test::TGifLayout gif;
    gif.ScreenWidth = gif.Width = 24;
    gif.ScreenHeight = gif.Height = 16;
    gif.GlobalRgb.assign(256 * 3, 7);
    for (int i = 0; i < 24 * 16; ++i) gif.Indices.push_back(static_cast<uint8_t>(i * 37));
    test::WriteGif(dir.File("g.gif"), gif);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (const char* name : {"g.jpg", "g.png", "g.bmp", "g.gif"}) files.emplace_back(name, test::ReadFileBytes(dir.File(name)));
    return files;
}

TEST(CorruptInput, TruncatedFilesFailWithAnException) {
    TTempDir dir;
    for (const auto& [name, bytes] : GoodFiles(dir)) {
        ASSERT_NO_THROW(Decode(dir, name, bytes)) << name;
        for (double part : {0.0, 0.02, 0.1, 0.5, 0.9}) {
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<size_t>(bytes.size() * part));
            EXPECT_THROW(Decode(dir, "cut-" + name, cut), EQuorixError) << name << " cut at " << part;
        }
    }
}

TEST(CorruptInput, FlippedBytesNeverCrash) {
    TTempDir dir;
    std::mt19937 random(1234);
    int failures = 0, decoded = 0;
    for (const auto& [name, bytes] : GoodFiles(dir)) {
        for (int round = 0; round < 150; ++round) {
            std::vector<uint8_t> bad = bytes;
            int flips = 1 + static_cast<int>(random() % 8);
            for (int k = 0; k < flips; ++k) bad[random() % bad.size()] = static_cast<uint8_t>(random());
            try {
                Decode(dir, "bad-" + name, bad);
                ++decoded;
            } catch (const EQuorixError&) {
                ++failures;
            }
        }
    }
    EXPECT_EQ(failures + decoded, 600);
    EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace quorix
