// The update checker on the window: when it runs and what each outcome shows.
#include "FormMain.h"

#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"

namespace quorix {

namespace {

std::string UpdatesFolder() { return AppFolder() + "Updates" + PathDelim; }

}  // namespace

void TMainForm::ConfigureWebUpdater() {
    TUpdateTagInfo& tags = WebUpdater.TagInfo;
    tags.Author = "OrvelAuthor";
    tags.Email = "OrvelEmail";
    tags.ClientFileName = "OrvelClientSideName";
    tags.Download = "OrvelDownload";
    tags.ProductName = "OrvelProduct";
    tags.Redirection = "OrvelRedirection";
    tags.RunParameters = "OrvelRunParameters";
    tags.Version = "OrvelVersion";
    WebUpdater.ProductInfo.VersionFormat = TUpdateVersionFormat::vfStandard;
    WebUpdater.Options = {TUpdateOption::uoOverwrite};
    WebUpdater.OnUpdateAvailable = [this](TWebUpdate&, const std::string& actual, const std::string& next, bool& can) {
        WebUpdaterUpdateAvailable(actual, next, can);
    };
    WebUpdater.OnNoUpdateFound = [this](TWebUpdate&) { WebUpdaterNoUpdateFound(); };
    WebUpdater.OnDownloadError = [this](TWebUpdate&) { WebUpdaterDownloadError(); };
    WebUpdater.OnClientFileExists = [this](TWebUpdate&, std::string& fileName, bool& overwrite) {
        WebUpdaterClientFileExists(fileName, overwrite);
    };
    WebUpdater.OnAfterDownload = [this](TWebUpdate&, const std::string& fileName) { WebUpdaterAfterDownload(fileName); };
}

void TMainForm::CheckForUpdates(bool forced) {
    const int days = spnAutoUpdate->value();
    const QDateTime now = Now();
    const bool due = days > 0 && DateTimeValue(LastUpdateCheck) + days <= DateTimeValue(now);
    if (!due && !forced) return;
    FUpdateAsked = forced;
    FStatusBeforeCheck = StatusText();
    SetStatusText("Checking for updates...");
    LastUpdateCheck = now;  // a failed check waits for the next interval too
    WebUpdater.CheckForAnUpdate();
}

void TMainForm::mnuUpdatesClick() { CheckForUpdates(true); }

void TMainForm::WebUpdaterUpdateAvailable(const std::string& actualVersion, const std::string& newVersion, bool&) {
    SetStatusText(Q("A new version was found: " + newVersion + "   |   Your current version is: " + actualVersion));
}

void TMainForm::WebUpdaterNoUpdateFound() { SetStatusText("Updating: no updates available at this time."); }

void TMainForm::WebUpdaterDownloadError() {
    // A check nobody asked for (the one at start-up) that cannot connect says
    // nothing: a new user offline is not greeted with a firewall warning.
    if (!FUpdateAsked) return SetStatusText(FStatusBeforeCheck);
    SetStatusText("Cannot search for updates. Please check your firewall settings or visit our web site to check for "
                  "updates.");
}

// The temporary file is taken: the download goes straight into the Updates folder.
void TMainForm::WebUpdaterClientFileExists(std::string& fileName, bool&) {
    const std::string folder = UpdatesFolder();
    EnsureFolder(folder);
    if (FolderExists(folder)) fileName = folder + ExtractFileName(fileName);
}

void TMainForm::WebUpdaterAfterDownload(const std::string& fileName) {
    if (!WebUpdater.Succeeded()) return;  // the error was shown; nothing was downloaded
    std::string folder = UpdatesFolder();
    const bool inUpdates = ExtractFilePath(fileName) == folder;
    if (inUpdates || !ForceFolders(folder) || !CopyFileInto(fileName, folder, true))
        folder = ExtractFilePath(fileName);
    const std::string text = "Update has been downloaded to \r\n     " + folder + "\r\n" +
                             "Don't forget to close this program, before running the update!" + "\r\n\r\n" +
                             "Do you want to open this folder for you?";
    if (AskYesNo(AppTitle, text)) ShellOpen(folder);
}

}  // namespace quorix
