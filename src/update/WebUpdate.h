// Finds out whether a newer version exists, from the update information page,
// and fetches it. The transfers run on a thread of their own; the events come
// on the calling thread, which processes pending messages while it waits, so
// the window stays responsive even while a server is silent.
#pragma once

#include "HttpTransfer.h"
#include "UpdateInfoPage.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace quorix {

enum class TUpdateOption { uoRunUpdate, uoTerminate, uoOverwrite };
using TUpdateOptions = std::set<TUpdateOption>;

class TUpdateProductInfo {
public:
    // Stored with "http://" in front unless it starts with "http://" or "https://".
    const std::string& URL() const { return FURL; }
    void SetURL(const std::string& url);
    std::string CurVersion = "0.0";
    TUpdateVersionFormat VersionFormat = TUpdateVersionFormat::vfStandard;

private:
    std::string FURL = "http://";
};

struct TUpdateInfoCaption {
    std::string OkButton = "&Download now";
    std::string CancelButton = "&Cancel";
    std::string CheckForUpdate = "C&heck for updates in the future";
};

class TWebUpdate {
public:
    TWebUpdate();
    virtual ~TWebUpdate();
    TWebUpdate(const TWebUpdate&) = delete;
    TWebUpdate& operator=(const TWebUpdate&) = delete;

    TUpdateTagInfo TagInfo;
    TUpdateProductInfo ProductInfo;
    TUpdateInfoCaption InfoCaption;
    std::string UserName;
    std::string Password;
    TUpdateOptions Options{TUpdateOption::uoRunUpdate, TUpdateOption::uoTerminate};
    long TimeoutSeconds = 30;  // connecting, and a transfer that stalls

    using TNotify = std::function<void(TWebUpdate&)>;
    TNotify OnBeforeGetInfo, OnAfterGetInfo, OnNoUpdateFound, OnDownloadError, OnCannotExecute;
    std::function<void(TWebUpdate&, const std::string& actualVersion, const std::string& newVersion, bool& canUpdate)>
        OnUpdateAvailable;
    std::function<void(TWebUpdate&, std::string& fileName)> OnGetClientFileName;
    std::function<void(TWebUpdate&, std::string& fileName, bool& overwrite)> OnClientFileExists;
    std::function<void(TWebUpdate&, const std::string& fileName)> OnBeforeDownload, OnAfterDownload;
    std::function<void(TWebUpdate&, int total, int downloaded)> OnDownload;
    std::function<void(TWebUpdate&, bool& showInfo, bool& checkForUpdate)> OnBeforeShowInfo;  // never raised
    std::function<void(TWebUpdate&, bool checkForUpdate)> OnAfterShowInfo;                    // never raised

    // Returns true when a newer version was found and the owner declined the
    // download or the download succeeded.
    bool CheckForAnUpdate();
    void Abort() { FAborting = true; }
    bool Active() const { return FActive; }
    // Whether the last page or download came in complete (after AfterDownload:
    // whether the file is there).
    bool Succeeded() const { return FResult; }

    const std::string& ProductVersion() const { return FValues.ProductVersion; }
    const std::string& UpdateURL() const { return FValues.UpdateURL; }
    const std::string& ClientFileName() const { return FValues.ClientFileName; }
    const std::string& RedirectionURL() const { return FValues.RedirectionURL; }
    const std::string& Author() const { return FValues.Author; }
    const std::string& EMail() const { return FValues.EMail; }
    const std::string& ProductName() const { return FValues.ProductName; }
    const std::string& RunParameters() const { return FValues.RunParameters; }
    const std::vector<std::string>& Info() const { return FInfo; }

    void ParseInfoPage();
    // Compares the page's version with CurVersion; raises the no-update event when not newer.
    bool IsNewerVersion();
    void FetchInfoPage();
    void DownloadClientFile();
    virtual void ParseURL(const std::string& url, std::string& server, std::string& path);

    // How pending messages are processed, and how a downloaded file is run and
    // the program ended; tests replace them.
    std::function<void()> ProcessMessages;
    std::function<bool(const std::string& file, const std::string& parameters)> Execute;
    std::function<void()> Terminate;
    // The HTTP client; new components take the default.
    THttpTransport Transport;

protected:
    virtual void DoDownload();
    virtual void DoDownloadError();
    virtual void DoBeforeDownload(const std::string& fileName);
    virtual void DoAfterDownload(const std::string& fileName);
    virtual void DoNoUpdateFound();
    virtual void DoAfterGetInfo();
    virtual void DoBeforeGetInfo();
    virtual void DoCannotExecute();
    virtual void BuildClientFileName(std::string& fileName);

private:
    bool HttpGet(const std::string& address, bool lengthRequired, bool intoFile, const std::string& fileName);
    std::string TransferUrl(const std::string& address);
    void RunDownloadedFile();

    bool FActive = false;
    std::string FFileName;
    std::vector<std::string> FInfo;
    bool FAborting = false;
    TUpdatePageValues FValues;
    bool FResult = false;
    int32_t FFileSize = 0;
    uint32_t BytesToRead = 0;
    uint32_t FDownloadedBytes = 0;
};

// The HTTP client new components use; tests put a local one here. Empty: libcurl.
void SetDefaultHttpTransport(THttpTransport transport);

// A file name a page may give: no folder part, no "..", something left after trimming.
bool IsSafeClientFileName(const std::string& name);

}  // namespace quorix
