#include "OrvelGraphics.h"

#include "QuorixError.h"
#include "RowSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>

namespace quorix {

namespace {
int64_t PixelLimit = MaxPicturePixels;
}

int64_t DecoderPixelLimit() { return PixelLimit; }
void SetDecoderPixelLimit(int64_t pixels) { PixelLimit = pixels; }

void CheckPictureSize(int64_t width, int64_t height) {
    if (width < 0 || height < 0 || (height > 0 && width > PixelLimit / height))
        throw EInvalidGraphic("Picture is too large: " + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels");
}

// ---------------------------------------------------------------- TGraphic

void TGraphic::CheckHeader(int64_t width, int64_t height) const {
    CheckPictureSize(width, height);
    if (Limits.Protect && width > HugeImageSide && height > HugeImageSide) throw EHugeImage();
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0)
        throw EFileError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw EFileError("Cannot open file \"" + fileName + "\". Not a regular file");
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw EFileError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    LoadFromStream(in);
}

namespace {

// A short hidden name of its own, whatever the target's length (a name of 255
// bytes must still be writable), with the writer's machine (its name and boot,
// hashed) and process number, so that a later run can tell what a killed one
// left: runs on other machines may write into the same shared folder.
const char* const TemporaryPrefix = ".quorix-";
constexpr size_t MachineDigits = 16;
constexpr time_t StaleAfter = 24 * 60 * 60;  // another machine's temporary this old is left from a killed run

std::string ReadSmallFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    std::getline(in, text);
    return text;
}

const std::string& MachineToken() {
    static const std::string token = [] {
        char host[256] = "";
        ::gethostname(host, sizeof host - 1);
        const std::string machine = std::string(host) + "/" + ReadSmallFile("/proc/sys/kernel/random/boot_id");
        uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (unsigned char c : machine) hash = (hash ^ c) * 1099511628211ull;
        char text[MachineDigits + 1];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
        return std::string(text);
    }();
    return token;
}

std::string FolderOf(const std::string& fileName) {
    size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
}

std::string TemporaryPattern(const std::string& fileName) {
    return FolderOf(fileName) + TemporaryNameStart() + std::to_string(::getpid()) + "-XXXXXX";
}

// Whether a temporary's writer is gone: this machine's by its process
// number, another machine's (or an older run's name) by its age.
// "DIGITS-XXXXXX" ends a temporary's name: the process number and mkstemp's six letters.
bool EndsLikeTemporary(const char* text) {
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 && std::strlen(end) == 7 && *end == '-';
}

bool StaleTemporary(int dir, const char* name) {
    const size_t prefix = std::strlen(TemporaryPrefix);
    const char* rest = name + prefix;
    const bool machine = std::strlen(rest) > MachineDigits &&
                         std::strspn(rest, "0123456789abcdef") == MachineDigits && rest[MachineDigits] == '-';
    // Another machine's, or a name from before the machine was written in it.
    if (!(machine ? EndsLikeTemporary(rest + MachineDigits + 1) : EndsLikeTemporary(rest))) return false;
    const bool ours = std::strncmp(rest, MachineToken().c_str(), MachineDigits) == 0 && rest[MachineDigits] == '-';
    if (ours) {
        const long pid = std::strtol(rest + MachineDigits + 1, nullptr, 10);
        return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    }
    struct stat st;
    return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
           ::time(nullptr) - st.st_mtime > StaleAfter;
}

mode_t NewFileMode(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

[[noreturn]] void RaiseCreateError(const std::string& fileName, int error) {
    throw EFileError("Cannot create file \"" + fileName + "\". " + std::strerror(error));
}

// The temporary files being written, where a signal handler can reach them:
// fixed slots (no allocation), each free, being filled, or holding a path.
struct TTemporarySlot {
    std::atomic<int> State{0};  // 0 free, 1 being filled, 2 holds Path
    char Path[4096];
};
TTemporarySlot TemporarySlots[128];

// A temporary file's name, made by mkstemp from a pattern in a slot's own
// buffer: the file is known to the signal handler from the moment it exists.
class TTemporaryName {
public:
    explicit TTemporaryName(const std::string& pattern) : FOwn(pattern.begin(), pattern.end()) {
        FOwn.push_back('\0');
        if (pattern.size() >= sizeof TemporarySlots[0].Path) return;  // left for RemoveStaleTemporaries
        for (TTemporarySlot& slot : TemporarySlots) {
            int expected = 0;
            if (!slot.State.compare_exchange_strong(expected, 1)) continue;
            std::memcpy(slot.Path, pattern.c_str(), pattern.size() + 1);
            slot.State = 2;  // a pattern, while mkstemp has not named the file: nothing to remove
            FSlot = &slot;
            return;
        }
    }
    ~TTemporaryName() {
        if (FSlot) FSlot->State = 0;
    }
    TTemporaryName(const TTemporaryName&) = delete;
    TTemporaryName& operator=(const TTemporaryName&) = delete;
    char* Buffer() { return FSlot ? FSlot->Path : FOwn.data(); }

private:
    std::vector<char> FOwn;
    TTemporarySlot* FSlot = nullptr;
};

}  // namespace

std::string TemporaryNameStart() { return TemporaryPrefix + MachineToken() + "-"; }

void RemoveTemporariesNow() noexcept {
    for (TTemporarySlot& slot : TemporarySlots)
        if (slot.State.load() == 2) ::unlink(slot.Path);
}

void TGraphic::SaveToFile(const std::string& fileName, const std::function<void(const std::string&)>& finish) {
    // The folder is held open: a temporary file that fails is removed from it
    // even when the folder was moved or renamed meanwhile.
    const std::string folder = FolderOf(fileName);
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<const int, void (*)(const int*)> closeDir(&dir, [](const int* d) {
        if (*d >= 0) ::close(*d);
    });
    TTemporaryName tempName(TemporaryPattern(fileName));
    int fd = ::mkstemp(tempName.Buffer());
    if (fd < 0) RaiseCreateError(fileName, errno);
    ::fchmod(fd, NewFileMode(fileName));
    ::close(fd);
    const std::string temp(tempName.Buffer());
    try {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) RaiseCreateError(fileName, errno);
        SaveToStream(out);
        out.flush();
        if (!out) throw EFileError("Cannot write file \"" + fileName + "\". " + std::strerror(errno ? errno : EIO));
        out.close();
        if (out.fail()) throw EFileError("Cannot write file \"" + fileName + "\".");
        if (finish) finish(temp);
        if (::rename(temp.c_str(), fileName.c_str()) != 0) RaiseCreateError(fileName, errno);
    } catch (...) {
        if (dir < 0 || ::unlinkat(dir, temp.c_str() + folder.size(), 0) != 0) ::unlink(temp.c_str());
        throw;
    }
}

void RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    const size_t prefix = std::strlen(TemporaryPrefix);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, TemporaryPrefix, prefix) == 0 && StaleTemporary(::dirfd(dir), name))
            ::unlinkat(::dirfd(dir), name, 0);
    }
    ::closedir(dir);
}

void TGraphic::TakeBitmap(TBitmap& bitmap) { Assign(bitmap); }

void TGraphic::Assign(const TGraphic& source) {
    source.AssignTo(*this);
}

void TGraphic::AssignTo(TGraphic& dest) const {
    RaiseAssignError(*this, dest);
}

std::unique_ptr<TRowEncoder> TGraphic::OpenRowEncoder(int, int) { return nullptr; }

std::unique_ptr<TRowSource> TGraphic::OpenRowSource() const {
    return nullptr;
}

bool TGraphic::PeekSize(const uint8_t*, size_t, TPeek&) const {
    return false;
}

void RaiseAssignError(const TGraphic& source, const TGraphic& dest) {
    throw EConvertError(std::string("Cannot assign a ") + source.ClassName() + " to a " + dest.ClassName());
}

// ---------------------------------------------------------------- TBitmap

size_t TBitmap::StrideFor(int width, TPixelFormat format) {
    size_t bits = static_cast<size_t>(width) * static_cast<size_t>(format);
    return ((bits + 31) / 32) * 4;
}

TBitmap::TBitmap(const TBitmap& other) : TGraphic() {
    *this = other;
}

TBitmap& TBitmap::operator=(const TBitmap& other) {
    if (this == &other) return *this;
    Reallocate(other.FWidth, other.FHeight, other.FPixelFormat);
    if (FData) std::memcpy(FData.get(), other.FData.get(), ByteSize());
    FPalette = other.FPalette;
    FHandleType = other.FHandleType;
    return *this;
}

void TBitmap::Swap(TBitmap& other) noexcept {
    std::swap(FWidth, other.FWidth);
    std::swap(FHeight, other.FHeight);
    std::swap(FPixelFormat, other.FPixelFormat);
    std::swap(FHandleType, other.FHandleType);
    std::swap(FStride, other.FStride);
    FPalette.swap(other.FPalette);
    FData.swap(other.FData);
}

void TBitmap::Reallocate(int width, int height, TPixelFormat format) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    size_t stride = StrideFor(width, format);
    size_t bytes = stride * static_cast<size_t>(height);
    FData = AllocatePixels(bytes);
    FWidth = width;
    FHeight = height;
    FPixelFormat = format;
    FStride = stride;
}

void TBitmap::SetSize(int width, int height) {
    if (width == FWidth && height == FHeight && (FData || ByteSize() == 0)) return;
    Reallocate(width, height, FPixelFormat);
}

void TBitmap::LoadFromStream(std::istream&) {
    throw EInvalidGraphic("A plain bitmap has no file format of its own");
}

void TBitmap::SaveToStream(std::ostream&) {
    throw EInvalidGraphic("A plain bitmap has no file format of its own");
}

void TBitmap::Assign(const TGraphic& source) {
    if (auto bitmap = dynamic_cast<const TBitmap*>(&source)) {
        TBitmap::operator=(*bitmap);
        return;
    }
    source.AssignTo(*this);
}


namespace {

// The palette colour of index, black beyond the palette's end.
inline TPaletteEntry Lookup(const std::vector<TPaletteEntry>& palette, unsigned index) {
    return index < palette.size() ? palette[index] : TPaletteEntry();
}

unsigned IndexAt(const uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return row[x];
    }
}

void ConvertRow(const uint8_t* src, int srcBits, uint8_t* dst, int dstBits, int width,
                const std::vector<TPaletteEntry>& palette) {
    int dstStep = dstBits / 8;
    for (int x = 0; x < width; ++x) {
        uint8_t* d = dst + static_cast<size_t>(x) * dstStep;
        if (srcBits >= 24) {
            const uint8_t* s = src + static_cast<size_t>(x) * (srcBits / 8);
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        } else {
            TPaletteEntry c = Lookup(palette, IndexAt(src, x, srcBits));
            d[0] = c.Blue;
            d[1] = c.Green;
            d[2] = c.Red;
        }
        if (dstStep == 4) d[3] = 0;
    }
}

// The rows of a paletted or 32-bit bitmap as 24-bit pixels, a strip at a time.
class TConvertingRowSource : public TRingRowSource {
public:
    explicit TConvertingRowSource(const TBitmap& bitmap)
        : TRingRowSource(bitmap.Width(), bitmap.Height()), FBitmap(bitmap) {}

protected:
    void MakeRow(int y, uint8_t* out) override {
        ConvertRow(FBitmap.ScanLine(y), FBitmap.BitsPerPixel(), out, 24, Width(), FBitmap.Palette());
    }

private:
    const TBitmap& FBitmap;
};

}  // namespace

std::unique_ptr<TRowSource> TBitmap::OpenRowSource() const {
    if (FPixelFormat == TPixelFormat::pf24bit) return std::make_unique<TBitmapRowSource>(*this);
    return std::make_unique<TConvertingRowSource>(*this);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == FPixelFormat) return;
    if (format != TPixelFormat::pf24bit && format != TPixelFormat::pf32bit) {
        if (Empty()) {
            Reallocate(FWidth, FHeight, format);
            return;
        }
        throw EConvertError("Cannot convert a bitmap to " + std::to_string(static_cast<int>(format)) +
                            " bits per pixel");
    }
    TBitmap converted;
    converted.Reallocate(FWidth, FHeight, format);
    for (int y = 0; y < FHeight; ++y)
        ConvertRow(ScanLine(y), BitsPerPixel(), converted.ScanLine(y), static_cast<int>(format), FWidth, FPalette);
    converted.FHandleType = FHandleType;
    Swap(converted);
    FPalette.clear();
}

// ---------------------------------------------------------------- TOrvelBitmap

void TOrvelBitmap::SetLargeSize(int width, int height) {
    width = width < 1 ? 1 : width > 32768 ? 32768 : width;
    height = height < 1 ? 1 : height > 32768 ? 32768 : height;
    uint32_t bytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3u;
    SetHandleType(bytes <= 9000000u ? TBitmapHandleType::bmDDB : TBitmapHandleType::bmDIB);
    if (bytes > 1073741824u) {
        SetSize(8000, 8000);
        throw EQuorixError("Image is too large.");
    }
    SetSize(width, height);
}

void TOrvelBitmap::FillColor(TColor color) {
    uint8_t red = color & 0xFF, green = (color >> 8) & 0xFF, blue = (color >> 16) & 0xFF;
    int bits = BitsPerPixel();
    if (bits >= 24) {
        int step = bits / 8;
        for (int y = 0; y < Height(); ++y) {
            uint8_t* row = ScanLine(y);
            for (int x = 0; x < Width(); ++x, row += step) {
                row[0] = blue;
                row[1] = green;
                row[2] = red;
            }
        }
        return;
    }
    // A paletted bitmap takes its nearest palette colour.
    unsigned best = 0;
    long bestDistance = -1;
    for (unsigned i = 0; i < Palette().size(); ++i) {
        const TPaletteEntry& c = Palette()[i];
        long dr = c.Red - red, dg = c.Green - green, db = c.Blue - blue;
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    uint8_t fill = bits == 8 ? static_cast<uint8_t>(best)
                 : bits == 4 ? static_cast<uint8_t>(best * 0x11)
                             : static_cast<uint8_t>(best ? 0xFF : 0x00);
    for (int y = 0; y < Height(); ++y) std::memset(ScanLine(y), fill, Stride());
}

}  // namespace quorix
