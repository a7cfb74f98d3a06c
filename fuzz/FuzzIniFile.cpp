// The settings file reader on any bytes, and a write that must read back.
#include "OrvelIniFile.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace quorix;

namespace {

std::string TempName() {
    const char* tmp = getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/quorix-fuzz-" + std::to_string(getpid()) + ".ini";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string name = TempName();
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TOrvelIniFile ini(name);
    // The keys the program reads, and a section and key taken from the input.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string section = text.substr(0, text.find('\n') == std::string::npos ? 8 : text.find('\n'));
    for (const char* key : {"Left", "trkQuality", "spnDecFactor", "LastPath", "LastCheck", "Maximized"}) {
        for (const std::string& s : {std::string("WindowState"), std::string("Settings"), section}) {
            ini.ReadString(s, key, "d");
            ini.ReadInteger(s, key, 7);
            ini.ReadBool(s, key, false);
            ini.ReadFloat(s, key, 1.5);
            ini.ReadColor(s, key, 0x123456);
            TFontInfo font;
            ini.ReadFont(s, key, "Sans", font);
        }
    }
    try {
        ini.WriteString("Fuzz", "Written", "value 1");
        if (ini.ReadString("Fuzz", "Written", "") != "value 1") std::abort();  // a write must read back
        ini.WriteInteger("Settings", "trkQuality", 42);
        if (ini.ReadInteger("Settings", "trkQuality", 0) != 42) std::abort();
    } catch (const std::exception&) {
    }
    std::remove(name.c_str());
    return 0;
}
