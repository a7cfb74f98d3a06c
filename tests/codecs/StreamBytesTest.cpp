#include "StreamBytes.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>

namespace quorix {
namespace {

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

// A stream that cannot tell its size or seek, like a pipe.
class TPipeBuffer : public std::streambuf {
public:
    explicit TPipeBuffer(std::string text) : FText(std::move(text)) {
        setg(FText.data(), FText.data(), FText.data() + FText.size());
    }

protected:
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override { return pos_type(-1); }

private:
    std::string FText;
};

TEST(StreamBytes, ReadsEverythingFromWhereTheStreamStands) {
    for (size_t size : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(300001)}) {
        const std::string text = Pattern(size);
        std::istringstream seekable(text);
        std::vector<uint8_t> bytes = ReadAllBytes(seekable);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text) << size;

        TPipeBuffer pipe(text);
        std::istream unseekable(&pipe);
        bytes = ReadAllBytes(unseekable);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text) << "unseekable " << size;

        if (size > 10) {
            std::istringstream partly(text);
            partly.seekg(10);
            bytes = ReadAllBytes(partly);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text.substr(10)) << "from 10 of " << size;
        }
    }
}

}  // namespace
}  // namespace quorix
