// Hints and opacity, and what reaches outside the program: starting at log-in,
// the desktop shortcut, the tray icon and the web pages.
#include "Graphic.h"
#include "FormMain.h"

#include "AppUrls.h"
#include "DesktopEntries.h"
#include "ErrorGuard.h"
#include "OrvelFileListBox.h"
#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <unistd.h>

namespace quorix {

void TMainForm::CreateTrayIcon() {
    setWindowIcon(AppIcon());
    AppHints = new TApplicationHints(this);
    AppHints->OnHint = [this] { GuardedCall([this] { CanShowHint(); }); };
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    mnuExit = PopupMenu->addAction("Exit");
    mnuExit->setObjectName("mnuExit");
    TrayIcon = new TNotifyIcon(this);
    TrayIcon->setObjectName("TrayIcon");
    TrayIcon->PopupMenu = PopupMenu;
    TrayIcon->OnClick = [this](TNotifyIcon&) { GuardedCall([this] { TrayIconClick(); }); };
    TrayIcon->SetCycleInterval(0);
    TrayIcon->SetIconIndex(0);
}

void TMainForm::ConnectShellHandlers() {
    connect(mnuExit, &QAction::triggered, actExit, &QAction::trigger);
    connect(spnHideHint, qOverload<int>(&QSpinBox::valueChanged), this, Guarded([this] { spnHideHintChange(); }));
    connect(spnOpacity, qOverload<int>(&QSpinBox::valueChanged), this, Guarded([this] { spnOpacityChange(); }));
    // A state loaded from the settings runs the handler as a click would.
    connect(chkAutoStartUp, &QCheckBox::toggled, this, Guarded([this] { chkAutoStartUpClick(); }));
    connect(chkTrayIcon, &QCheckBox::toggled, this, Guarded([this] { chkTrayIconClick(); }));
    connect(btnDesktopShortcut, &QPushButton::clicked, this, Guarded([this] { btnDesktopShortcutClick(); }));
    connect(mnuOnlineHelp, &QAction::triggered, this, Guarded([this] { mnuOnlineHelpClick(); }));
    connect(btnManual, &QPushButton::clicked, this, Guarded([this] { mnuOnlineHelpClick(); }));
    connect(mnuSupport, &QAction::triggered, this, Guarded([this] { mnuSupportClick(); }));
    connect(btnSupport, &QPushButton::clicked, this, Guarded([this] { mnuSupportClick(); }));
    connect(mnuProgramPage, &QAction::triggered, this, Guarded([this] { mnuProgramPageClick(); }));
    connect(mnuCompanyPage, &QAction::triggered, this, Guarded([this] { mnuCompanyPageClick(); }));
}

void TMainForm::CanShowHint() {
    AppHints->ShowHint = !radHintsOff->isChecked();
    if (radHintsStatBar->isChecked()) {
        QString text = TApplicationHints::HintLines(TApplicationHints::LongHint(AppHints->Hint()));
        text.replace('\n', ' ');
        SetStatusText(text.simplified());
    }
}

void TMainForm::spnHideHintChange() { AppHints->HintHidePause = spnHideHint->value(); }

void TMainForm::spnOpacityChange() {
    if (spnOpacity->value() < 100) {
        spnOpacity->setValue(100);  // comes back here with 100
        return;
    }
    const int value = spnOpacity->value();
    // Only a value below 255 blends the window with what lies behind.
    setWindowOpacity(value < 255 ? value / 255.0 : 1.0);
}

void TMainForm::chkAutoStartUpClick() { SetStartWithWindows(chkAutoStartUp->isChecked()); }

void TMainForm::btnDesktopShortcutClick() { CreateDesktopShortcut(AppTitle, true, PictureMimeTypes()); }

void TMainForm::chkTrayIconClick() { TrayIcon->MinimizeToTray = chkTrayIcon->isChecked(); }

void TMainForm::TrayIconClick() { TrayIcon->PutIconOnlyInTask(); }

void TMainForm::mnuOnlineHelpClick() { ShellOpen(QUORIX_MANUAL_URL); }

void TMainForm::mnuSupportClick() {
    ShellOpen(QUORIX_SUPPORT_URL);
    ShowInfo("Please create your own account on our forum and post your queries. Please allow few hours to our support "
             "staff to answer your questions.");
}

void TMainForm::mnuProgramPageClick() { ShellOpen(QUORIX_HOME_PAGE_URL); }

void TMainForm::mnuCompanyPageClick() { ShellOpen(QUORIX_PUBLISHER_URL); }

namespace {

// An absolute path of bytes, made from the current folder for a relative one.
std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char here[4096];
    return ::getcwd(here, sizeof here) ? EnsureTrailingDelimiter(here) + path : path;
}

// The local files of a drop, their bytes percent-decoded from the URLs
// rather than read back through a text encoding.
std::vector<std::string> DroppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
    return paths;
}

}  // namespace

void TMainForm::OpenPaths(const std::vector<std::string>& given) {
    std::vector<std::string> paths;
    for (const std::string& path : given) paths.push_back(Absolute(path));
    std::string folder;
    for (const std::string& path : paths) {
        if (FolderExists(path)) folder = path;
        else if (FileExists(path)) folder = ExtractFilePath(path);
        if (!folder.empty()) break;
    }
    if (folder.empty()) return;
    folder = EnsureTrailingDelimiter(folder);
    edtPath->setText(Q(folder));
    bool any = false;
    for (const std::string& path : paths) {
        if (!FileExists(path) || ExtractFilePath(path) != folder) continue;
        if (!any) FileList->DeselectAll();
        any = true;
        if (FileList->SetCurrentName(ExtractFileName(path))) FileList->item(FileList->ItemIndex())->setSelected(true);
    }
    // The current picture was chosen before it was selected: it shows now.
    if (any && FileExists(FileList->FilePath())) FileListChangeEx(FileList->ItemIndex(), FileList->ItemIndex());
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = DroppedPaths(event->mimeData());
    if (paths.empty()) return;
    event->acceptProposedAction();
    GuardedCall([&] { OpenPaths(paths); });
}

}  // namespace quorix
