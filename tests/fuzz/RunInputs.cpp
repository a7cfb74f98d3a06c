// Runs one fuzz target's harness over every stored input of a folder, so each
// input that once crashed it stays a regression test (under the sanitizers in
// the sanitizer build).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        std::printf("ran %s\n", entry.path().filename().c_str());
        ++count;
    }
    return count > 0 ? 0 : 1;  // an empty folder means the inputs went missing
}
