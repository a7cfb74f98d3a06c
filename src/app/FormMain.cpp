// Creation, start-up and closing of the main window.
#include "FormMain.h"
#include "FormMainJob.h"
#include "LatestWork.h"
#include "ScreenProfile.h"

#include "AppErrors.h"
#include "AppUrls.h"
#include "OrvelDecSpin.h"
#include "OrvelFileListBox.h"
#include "OrvelImage.h"
#include "OrvelTPU.h"
#include "PATHEdit.h"
#include "Platform.h"
#include "Resample.h"

#include <algorithm>

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QStatusBar>

namespace quorix {

const char* const AppTitle = "Quorix Image Resizer";
bool JobAbortFlag = false;
bool FirstRun = false;
bool SettingsSaved = false;

QString Greeting() {
    return QString("Please visit our web site for more downloads.\n") + QUORIX_PUBLISHER_URL;
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    // FormCreate
    FPreviewWork = new TLatestWork(this);
    FAdvisorLoad = new TLatestWork(this);
    FAdvisorCompress = new TLatestWork(this);
    FScreenProfile = std::make_shared<const std::vector<uint8_t>>(ScreenColourProfile());
    FPreviewDelay = new QTimer(this);
    FPreviewDelay->setSingleShot(true);
    FPreviewDelay->setInterval(1000);
    connect(FPreviewDelay, &QTimer::timeout, this, Guarded([this] { ShowCurrentPicture(true); }));
    FListDelay = new QTimer(this);
    FListDelay->setSingleShot(true);
    FListDelay->setInterval(600);
    connect(FListDelay, &QTimer::timeout, this, Guarded([this] { ListTypedFolder(); }));
    FirstRun = !FileExists(IniFilePath(AppTitle));
    setWindowTitle(AppTitle);
    CreateLayout();
    setAcceptDrops(true);
    CreateActions();
    CreateMenus();
    for (const TResampleFilter& filter : ResampleFilters) cmbResampleQ->addItem(filter.Name, filter.Name);
    CaptionOptionControls();
    cmbResampleQ->setCurrentIndex(DefaultResampleFilter);
    CreateTrayIcon();
    ConnectHandlers();
    ConnectShellHandlers();
    ConfigureWebUpdater();
    move(400, 298);
    resize(781, 542 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    // Never smaller than 775 x 600, nor than the desktop font's captions need.
    const QSize least = minimumSizeHint().expandedTo(QSize(775, 600));
    setMinimumSize(least);
    resize(size().expandedTo(least));
}

TMainForm::~TMainForm() {
    FJob.reset();  // the pictures in flight finish: no half-written file is left
    delete FPreviewWork;  // before the controls their results would go to
    delete FAdvisorLoad;
    delete FAdvisorCompress;
    try {
        SaveBeforeExit();
    } catch (...) {
        // Nothing can be shown any more while the window is being destroyed.
    }
}

void TMainForm::LateInitialize() {
    inetHomePage->SetLink(QUORIX_HOME_PAGE_URL);
    AppHints->Install();
    Memo->setPlainText(Greeting());
    TrayIcon->SetIcon(windowIcon());
    LoadINIFile();
    if (FirstRun) btnDesktopShortcutClick();
    ResizeTypeChanged();
    FileList->SelectFirstItem();
    if (FileList->count() > 0) FileListChangeEx(FileList->ItemIndex(), FileList->LastReported());
    KeepOnScreen();
    show();
    WebUpdater.ProductInfo.SetURL(QUORIX_HOME_PAGE_URL);
    WebUpdater.ProductInfo.CurVersion = GetAppVersion();
    CheckForUpdates(false);
    lblVersion->setText(Q("Version " + GetAppVersion()));
    lblAppName->setText(AppTitle);
    proBar1->setValue(proBar1->maximum());
    proBar2->setValue(proBar2->maximum());
}

// A design or stored position that would put part of the window off the
// screen (a smaller screen, a monitor that is gone) moves it back onto it.
void TMainForm::KeepOnScreen() {
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen || isMaximized()) return;
    const QRect area = screen->availableGeometry();
    const QSize frame = frameGeometry().size();
    const int x = std::clamp(frameGeometry().x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
    const int y = std::clamp(frameGeometry().y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
    move(x, y);
}

void TMainForm::SaveBeforeExit() {
    if (SettingsSaved) return;
    SettingsSaved = true;
    SaveINIFile();
}

void TMainForm::EndRequested() {
    FEndRequested = true;
    if (JobRunning()) actAbortExecute();
    WebUpdater.Abort();  // a check in progress ends at once
    SaveBeforeExit();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (JobRunning()) {
        // The window closes once the pictures in flight are done.
        FCloseAfterJob = true;
        actAbortExecute();
        event->ignore();
        return;
    }
    try {
        SaveBeforeExit();  // FormCloseQuery, then FormClose: the first saves, the second finds it done
        WebUpdater.Abort();
        FEndRequested = true;
        event->accept();
    } catch (...) {
        event->ignore();  // the window stays open; the next attempt closes it
        ReportCurrentException();
    }
}

// btnStart is the window's default button: Enter that no control under the
// focus took (a check box, a radio button, an edit's end of input) starts the batch.
void TMainForm::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // Enter in the path box ends the typing of a folder, not more.
    const bool inPath = focusWidget() == edtPath;
    if (enter && !inPath && event->modifiers() == Qt::NoModifier && actStart->isEnabled() && btnStart->isVisible()) {
        actStart->trigger();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize() {
    const int h = Panel2->contentsRect().height() / 2 - 2;
    if (h < 0) return;
    const QRect area = Panel2->contentsRect();
    imgQualInput->setGeometry(area.left(), area.top(), area.width(), h);
    imgCompressed->setGeometry(area.left(), area.top() + h + 2, area.width(), h);
}

void TMainForm::actExitExecute() {
    TrayIcon->PutIconOnlyInTask();  // no icon is left behind
    close();
}

// While a tree is read the button stops the reading instead.
void TMainForm::actRefreshExecute() {
    if (FileList->Listing()) return FileList->StopListing();
    FileList->Update();
}

void TMainForm::actSellAllExecute() { FileList->SelectAllItems(); }

QString TMainForm::LogText() const { return Memo->toPlainText(); }

void TMainForm::AddLog(const QString& line) { Memo->appendPlainText(line); }

bool TMainForm::Busy() const {
    return FJob || FPreviewDelay->isActive() || FListDelay->isActive() || FileList->Listing() || FPreviewWork->Busy() || FAdvisorLoad->Busy() || FAdvisorCompress->Busy();
}

QString TMainForm::StatusText() const { return StatBar->text(); }

void TMainForm::SetStatusText(const QString& text) {
    StatBar->setText(text);
    FSummaryShown = false;
    StatBar->setCursor(Qt::ArrowCursor);
}

int TMainForm::PageNumber() const {
    int index = PageControl->currentIndex();
    return FNoPage || index < 0 ? -1 : index + 1;
}

void TMainForm::SetPageNumber(int number) {
    // The hidden page 2 can be stored and shown too, as it always could.
    if (number >= 1 && number <= PageControl->count()) {
        FNoPage = false;
        PageControl->setCurrentIndex(number - 1);
        PageControl->currentWidget()->show();
        return;
    }
    // No page: the content stays hidden until the user picks a tab.
    FNoPage = true;
    if (QWidget* page = PageControl->currentWidget()) page->hide();
}

void TMainForm::ConnectHandlers() {
    connect(actStart, &QAction::triggered, this, Guarded([this] { actStartExecute(); }));
    connect(btnRecipes, &QPushButton::clicked, this, Guarded([this] { btnRecipesClick(); }));
    connect(actAbort, &QAction::triggered, this, Guarded([this] { actAbortExecute(); }));
    connect(actRefresh, &QAction::triggered, this, Guarded([this] { actRefreshExecute(); }));
    connect(actSellAll, &QAction::triggered, this, Guarded([this] { actSellAllExecute(); }));
    connect(actExit, &QAction::triggered, this, Guarded([this] { actExitExecute(); }));
    connect(btnStart, &QPushButton::clicked, actStart, &QAction::trigger);
    connect(btnAbort, &QPushButton::clicked, actAbort, &QAction::trigger);
    connect(btnRefresh, &QPushButton::clicked, actRefresh, &QAction::trigger);
    connect(btnSellAll, &QPushButton::clicked, actSellAll, &QAction::trigger);
    connect(actStart, &QAction::changed, this, [this] { btnStart->setEnabled(actStart->isEnabled()); });
    connect(actAbort, &QAction::changed, this, [this] { btnAbort->setEnabled(actAbort->isEnabled()); });
    btnAbort->setEnabled(false);
    connect(btnInvert, &QPushButton::clicked, this, Guarded([this] { FileList->InvertSelection(); }));
    connect(FileList, &TOrvelFileList::DblClick, this, Guarded([this] { FileListDblClick(); }));
    connect(FileList, &TOrvelFileList::ChangeEx, this,
            [this](int current, int previous) { GuardedCall([&] { FileListChangeEx(current, previous); }); });
    FilterCombo->SetFileList(FileList);
    edtPath->OnChange = Guarded([this] { edtPath2Change(); });
    connect(btnBrowse, &QPushButton::clicked, this, Guarded([this] { btnBrowseClick(); }));
    connect(btnResult, &QPushButton::clicked, this, Guarded([this] { btnResultClick(); }));
    connect(btnOutFolder, &QPushButton::clicked, this, Guarded([this] { btnOutFolderClick(); }));
    connect(chkRecurse, &QCheckBox::toggled, this, Guarded([this] {
        FileList->Recursive = chkRecurse->isChecked();
        FileList->Update();
        if (!FileList->Listing()) ShowCurrentOrNothing();
    }));
    connect(edtPath, &QLineEdit::returnPressed, this, Guarded([this] { ListTypedFolder(); }));
    connect(FileList, &TOrvelFileList::ListingProgress, this, [this](qulonglong n) { GuardedCall([&] { ListingProgress(n); }); });
    connect(FileList, &TOrvelFileList::ListingDone, this, [this](bool stopped) { GuardedCall([&] { ListingDone(stopped); }); });
    connect(FileList, &TOrvelFileList::ListingProgress, btnRefresh, [this] { btnRefresh->setText("Stop"); });
    connect(FileList, &TOrvelFileList::ListingDone, btnRefresh, [this] { btnRefresh->setText("Refresh"); });
    // Esc in the path box or the list stops reading a tree.
    edtPath->installEventFilter(this);
    FileList->installEventFilter(this);
    // The chosen output folder inside the tree is never listed: a run does not resize its own outputs.
    FileList->SkipFolder = [this] { return OutputFolder(); };
    connect(trkQuality, &QSlider::valueChanged, this, Guarded([this] { trkQualityChange(); }));
    // The location is part of the photo information: without it there is nothing to remove.
    connect(chkKeepMetadata, &QCheckBox::toggled, chkRemoveGps, &QWidget::setEnabled);
    // The advisor shows what the batch would write: it follows every option.
    WatchOptionControls(Guarded([this] {
        if (PageControl->currentWidget() == tabQuality) trkQualityChange();
    }));
    connect(chkCenter, &QCheckBox::clicked, this, Guarded([this] { chkCenterClick(); }));
    trkQuality->installEventFilter(this);
    cmbResampleQ->installEventFilter(this);
    Panel2->installEventFilter(this);  // the advisor's pictures share its height
    for (QRadioButton* r : {radXDecrease, radXIncrease, radSameSize, radFitWithin, radSameWidth, radSameHeight, radFillBox})
        connect(r, &QRadioButton::toggled, this, Guarded([this] { ResizeTypeChanged(); }));
    connect(btn43, &QPushButton::clicked, this, Guarded([this] { btn43Click(); }));
    connect(btn169, &QPushButton::clicked, this, Guarded([this] { btn169Click(); }));
    connect(spnDecFactor, &TOrvelDecSpin::clicked, this, Guarded([this] { spnDecFactorClick(); }));
    connect(PageControl, &QTabWidget::currentChanged, this, Guarded([this] {
        FNoPage = false;
        PageControlChange();
    }));
    connect(PageControl, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index >= 0 && FNoPage) {
            FNoPage = false;
            PageControl->widget(index)->show();
        }
    });
    lblAspect->installEventFilter(this);
    StatBar->installEventFilter(this);  // a job's summary opens the log
}

}  // namespace quorix
