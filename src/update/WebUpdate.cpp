#include "WebUpdate.h"

#include "BackgroundTransfer.h"
#include "HttpTransfer.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QuorixError.h"

#include <QCoreApplication>
#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

namespace quorix {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return Lower(text.substr(0, prefix.size())) == prefix;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Page bytes are UTF-8 where they are valid UTF-8, else Latin-1.
std::string PageText(const std::string& bytes) {
    const QByteArray raw = QByteArray::fromStdString(bytes);
    if (QString::fromUtf8(raw).toUtf8() == raw) return bytes;
    return QString::fromLatin1(raw).toStdString();
}

THttpTransport& DefaultTransport() {
    static THttpTransport transport;
    return transport;
}

}  // namespace

void SetDefaultHttpTransport(THttpTransport transport) { DefaultTransport() = std::move(transport); }

void TUpdateProductInfo::SetURL(const std::string& url) {
    FURL = StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://") ? url : "http://" + url;
}

bool IsSafeClientFileName(const std::string& name) {
    const std::string trimmed = Trim(name);
    if (trimmed.empty() || trimmed.find_first_of("/\\") != std::string::npos) return false;
    if (trimmed.find("..") != std::string::npos || trimmed == ".") return false;
    for (unsigned char c : trimmed)
        if (c < 0x20) return false;
    return true;
}

TWebUpdate::TWebUpdate() {
    ProductInfo.SetURL("");
    ProcessMessages = [] {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    };
    Execute = [](const std::string& file, const std::string& parameters) { return ShellExecuteFile(file, parameters); };
    Terminate = [] {
        if (QCoreApplication::instance()) QCoreApplication::quit();
    };
    Transport = DefaultTransport() ? DefaultTransport() : THttpTransport(HttpTransfer);
}

TWebUpdate::~TWebUpdate() { Abort(); }

void TWebUpdate::DoDownload() {
    if (OnDownload) OnDownload(*this, FFileSize, static_cast<int>(FDownloadedBytes));
}
void TWebUpdate::DoDownloadError() {
    if (OnDownloadError) OnDownloadError(*this);
}
void TWebUpdate::DoBeforeDownload(const std::string& fileName) {
    if (OnBeforeDownload) OnBeforeDownload(*this, fileName);
}
void TWebUpdate::DoAfterDownload(const std::string& fileName) {
    if (OnAfterDownload) OnAfterDownload(*this, fileName);
}
void TWebUpdate::DoNoUpdateFound() {
    if (OnNoUpdateFound) OnNoUpdateFound(*this);
}
void TWebUpdate::DoAfterGetInfo() {
    if (OnAfterGetInfo) OnAfterGetInfo(*this);
}
void TWebUpdate::DoBeforeGetInfo() {
    if (OnBeforeGetInfo) OnBeforeGetInfo(*this);
}
void TWebUpdate::DoCannotExecute() {
    if (OnCannotExecute) OnCannotExecute(*this);
}

void TWebUpdate::ParseInfoPage() { quorix::ParseInfoPage(FInfo, TagInfo, FValues); }

bool TWebUpdate::IsNewerVersion() {
    const bool newer = VersionIsNewer(FValues.ProductVersion, ProductInfo.CurVersion, ProductInfo.VersionFormat);
    if (!newer) DoNoUpdateFound();
    return newer;
}

bool TWebUpdate::CheckForAnUpdate() {
    if (FActive) return false;
    struct TActive {
        bool& Flag;
        ~TActive() { Flag = false; }
    } active{FActive = true};
    FValues.RedirectionURL.clear();
    DoBeforeGetInfo();
    FetchInfoPage();
    DoAfterGetInfo();
    if (FValues.ProductName.empty() || FValues.ProductVersion.empty()) {
        DoDownloadError();
        FResult = false;
    }
    if (!FResult || !IsNewerVersion()) return false;
    bool canUpdate = true;
    if (OnUpdateAvailable) OnUpdateAvailable(*this, ProductInfo.CurVersion, FValues.ProductVersion, canUpdate);
    if (canUpdate) {
        DownloadClientFile();
        if (!FResult) return false;
        RunDownloadedFile();
    }
    return true;
}

void TWebUpdate::RunDownloadedFile() {
    if (!Options.count(TUpdateOption::uoRunUpdate)) return;
    if (!Execute || !Execute(FFileName, FValues.RunParameters)) DoCannotExecute();
    if (Options.count(TUpdateOption::uoTerminate) && Terminate) Terminate();
}

// A page may send the reader on to another page; a chain is followed at most
// five pages on and never back to a page already read.
void TWebUpdate::FetchInfoPage() {
    std::set<std::string> read;
    for (int redirections = 0;; ++redirections) {
        const std::string redirection = FValues.RedirectionURL;
        FValues.ProductVersion.clear();
        FValues.UpdateURL.clear();
        FValues.Author.clear();
        FValues.EMail.clear();
        FValues.ProductName.clear();
        FValues.RunParameters.clear();
        const std::string address = redirection.empty() ? ProductInfo.URL() : redirection;
        if (redirections > 5 || !read.insert(address).second) {
            FResult = false;
            DoDownloadError();
            return;
        }
        if (!HttpGet(address, false, false, "")) return;
        ParseInfoPage();
        if (FValues.RedirectionURL.empty()) return;
    }
}

// A folder of its own, made new for each download: nobody else can plant a
// link or a file of theirs where the update is written.
void TWebUpdate::BuildClientFileName(std::string& fileName) {
    std::string pattern = EnsureTrailingDelimiter(QDir::tempPath().toStdString()) + "quorix-update-XXXXXX";
    std::vector<char> folder(pattern.begin(), pattern.end());
    folder.push_back('\0');
    if (!::mkdtemp(folder.data())) throw EFileError("Cannot create a folder for the download");
    fileName = EnsureTrailingDelimiter(folder.data()) + Trim(FValues.ClientFileName);
}

void TWebUpdate::DownloadClientFile() {
    FResult = false;
    if (!IsSafeClientFileName(FValues.ClientFileName)) {
        DoDownloadError();  // nothing is written outside the download folders
        return;
    }
    try {
        BuildClientFileName(FFileName);
    } catch (const EFileError&) {
        DoDownloadError();
        return;
    }
    if (OnGetClientFileName) OnGetClientFileName(*this, FFileName);
    FResult = false;
    if (FileExists(FFileName)) {
        bool overwrite = Options.count(TUpdateOption::uoOverwrite) > 0;
        if (OnClientFileExists) OnClientFileExists(*this, FFileName, overwrite);
        if (!overwrite) {
            DoDownloadError();
            return;
        }
    }
    DoBeforeDownload(FFileName);
    HttpGet(FValues.UpdateURL, true, true, FFileName);
    DoAfterDownload(FFileName);
}

void TWebUpdate::ParseURL(const std::string& url, std::string& server, std::string& path) {
    std::string rest = url;
    if (Lower(rest).find("http://") != std::string::npos) rest.erase(0, 7);
    const size_t slash = rest.find('/');
    const size_t i = slash == std::string::npos ? 0 : slash + 1;  // 1-based position, 0 when absent
    server = rest.substr(0, i);
    path = i == 0 ? rest : rest.substr(i - 1);
    if (!server.empty() && server.back() == '/') server.pop_back();
}

// Plain addresses go to port 80 (or the port the server part names); https
// addresses over TLS with the certificate checked.
std::string TWebUpdate::TransferUrl(const std::string& address) {
    if (StartsWithNoCase(address, "https://")) return address;
    std::string server, path;
    ParseURL(address, server, path);
    if (server.empty()) return "";
    return "http://" + server + path;
}

namespace {

// The information page is a small text; anything longer is no such page.
constexpr size_t MaxPageBytes = size_t(1) << 20;

// A file that appears under its name only when it is complete: written to a
// new file of its own beside it (created, never reused, no link followed) and
// renamed over the name at the end, so a failed transfer leaves what was there.
class TPendingFile {
public:
    explicit TPendingFile(const std::string& fileName) : FName(fileName) {
        std::string pattern = ExtractFilePath(fileName) + ".quorix-download-XXXXXX";
        std::vector<char> temp(pattern.begin(), pattern.end());
        temp.push_back('\0');
        FFd = ::mkstemp(temp.data());
        if (FFd < 0) throw EFileError("Cannot create " + fileName);
        FTemp = temp.data();
    }
    ~TPendingFile() {
        if (FFd >= 0) ::close(FFd);
        if (!FTemp.empty()) ::unlink(FTemp.c_str());
    }
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;
    void Write(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(FFd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw EFileError("Cannot write " + FName);
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    // Puts the complete file in place; false when it could not.
    bool Commit() {
        ::fchmod(FFd, 0644 & ~CurrentUmask());
        const bool ok = ::fsync(FFd) == 0 && ::close(FFd) == 0;
        FFd = -1;
        if (!ok || ::rename(FTemp.c_str(), FName.c_str()) != 0) return false;
        FTemp.clear();
        return true;
    }

private:
    static mode_t CurrentUmask() {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }
    std::string FName, FTemp;
    int FFd = -1;
};

}  // namespace

bool TWebUpdate::HttpGet(const std::string& address, bool lengthRequired, bool intoFile, const std::string& fileName) {
    FAborting = false;
    FResult = false;
    FFileSize = 0;
    FDownloadedBytes = 0;
    THttpRequest request{TransferUrl(address), UserName, Password, TimeoutSeconds};
    request.RequireSuccess = intoFile;  // an error page is never taken for the update
    std::unique_ptr<TPendingFile> file;
    std::string text;
    bool begun = false, stopped = false, tooLong = false;
    THttpSink sink;
    sink.Begin = [&](bool hasLength, int64_t length) {
        if (FAborting || (!hasLength && lengthRequired)) return !(stopped = true);
        if (length > INT32_MAX) throw EConvertError("The announced length is too large");
        if (hasLength) FFileSize = static_cast<int32_t>(length);
        if (intoFile) file = std::make_unique<TPendingFile>(fileName);
        return begun = true;
    };
    sink.Piece = [&](const char* data, size_t size) {
        if (FAborting) return !(stopped = true);
        if (intoFile) {
            file->Write(data, size);
        } else {
            if (text.size() + size > MaxPageBytes) return !(tooLong = true);
            text.append(data, size);
        }
        BytesToRead = static_cast<uint32_t>(size);
        FDownloadedBytes += BytesToRead;
        DoDownload();
        return true;
    };
    THttpOutcome outcome = THttpOutcome::Failed;
    try {
        if (!request.Url.empty() && Transport)
            outcome = TransferInBackground(Transport, request, sink, ProcessMessages, [this] { return FAborting; });
    } catch (const std::exception&) {
        return false;  // a malformed length or a file error: failed, without the error event
    }
    if (FAborting && outcome == THttpOutcome::Stopped) return false;  // aborted: no error event, nothing is left
    const bool complete = outcome == THttpOutcome::Completed && begun && !tooLong;
    if (intoFile)
        FResult = complete && FDownloadedBytes > 0 && FDownloadedBytes == static_cast<uint32_t>(FFileSize) &&
                  file->Commit();
    else
        FResult = complete && FDownloadedBytes != 0;
    if (FResult && !intoFile) FInfo = SplitLines(PageText(text));
    if (!FResult) DoDownloadError();
    return FResult;
}

}  // namespace quorix
