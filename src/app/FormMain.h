// The program's one window: the image explorer on the left, the pages on the
// right, the status bar below. Its implementation is split by concern over the
// FormMain*.cpp files.
#pragma once

#include "AppHints.h"
#include "Graphic.h"
#include "HyperlinkLabel.h"
#include "NotifyIcon.h"
#include "OrvelImage.h"
#include "PATHEdit.h"
#include "Recipe.h"
#include "ResizeOptions.h"
#include "WebUpdate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QImage>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorix {

class TJPEGImage;
class TOrvelDecSpin;
class TOrvelFileList;
class TFilterComboBox;

// Compresses the image at a quality; afterwards it holds exactly the
// compressed data. The result is the compressed size in bytes.
int CompressAndMeasure(TJPEGImage& image, int quality);

// The advisor's picture, decoded and drawn off the user-interface thread.
struct TAdvisorInput {
    std::unique_ptr<TGraphic> Graphic;
    QImage Drawn;
    std::shared_ptr<const TBitmap> Source;  // what each quality is tried on
    std::unique_ptr<TBitmap> Copy;          // the lower picture until the first result
    int32_t FileSize = 0;
    std::shared_ptr<const std::vector<uint8_t>> Profile;  // the picture's colour profile, empty without
};
// The picture's colours converted from its profile for the screen.
QImage ShownColours(QImage image, const std::vector<uint8_t>& profile, const std::vector<uint8_t>& screen);
std::vector<uint8_t> ScreenProfileOf(const std::string& file);
TAdvisorInput LoadAdvisorInput(const std::string& file, const TDecodeLimits& limits, const std::vector<uint8_t>& screen);
// What the advisor shows: the file the batch writes for a picture with the
// options (resized, in its format, with its metadata, under its size limit),
// its size, the quality it was written at, and the file read back.
struct TAdvisedOutput {
    std::unique_ptr<TGraphic> Decoded;
    std::vector<uint8_t> Profile;  // the file's colour profile
    int Size = 0;
    int Quality = 0;
    bool LimitReached = true;
    std::string Failure;  // the log's line when no file could be written
};
TAdvisedOutput MakeAdvisedOutput(const std::string& file, TResizeOptions options);

// How a progress bar is drawn: green, red, or the paused yellow.
enum class TProgressBarState { pbsNormal, pbsError, pbsPaused };
void SetBarState(QProgressBar* bar, TProgressBarState state);
TProgressBarState BarState(const QProgressBar* bar);

extern const char* const AppTitle;  // "Quorix Image Resizer"

// The program-wide flags of the window.
extern bool JobAbortFlag;
extern bool FirstRun;
extern bool SettingsSaved;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    void LateInitialize();
    void SaveBeforeExit();
    // The desktop or a signal asks the program to end: a running batch stops
    // after its current picture, as with Abort, and the settings are saved.
    void EndRequested();
    bool JobRunning() const;
    // A job, a preview or an advisor result still to come (tests wait for them).
    bool Busy() const;
    int BatchWorkers = 0;  // pictures made at once by a batch; 0: one per core
    // Whether the program was asked to end (closed, a signal) before its event loop ran.
    bool EndWasRequested() const { return FEndRequested; }
    void LoadINIFile();
    // Pictures and folders handed to the program (its command line, a drop):
    // the first one's folder opens in the explorer and the pictures named are
    // selected. The paths are bytes, as the system gives them.
    void OpenPaths(const std::vector<std::string>& paths);
    void SaveINIFile();

    // Jobs and the pipeline.
    void actStartExecute();
    void FileListDblClick();
    void actAbortExecute();
    void actRefreshExecute();
    void actSellAllExecute();
    void actExitExecute();
    std::string MakeSurePathExists();
    std::string StartProblem() const;
    // The job's options as the controls show them, and the other way round
    // (FormMainOptionControls.cpp, from the option table's rows).
    TResizeOptions CurrentOptions() const;
    void ShowOptions(const TResizeOptions& options);
    QWidget* OptionControl(const std::string& name) const;
    void CaptionOptionControls();
    void WatchOptionControls(const std::function<void()>& changed);
    std::string OutputFormatKey() const;  // the format cmbOutFormat shows
    // What a job makes of each picture: one output as the pages say, or the
    // outputs of the recipe chosen in cmbOutputs over them.
    std::vector<TPictureOutput> CurrentOutputs() const;
    void ShowRecipeChoice(const std::string& name);
    void btnRecipesClick();

    // The options panel.
    void ResizeTypeChanged();
    void lblAspectClick();
    void btn43Click();
    void btn169Click();
    void spnDecFactorClick();

    // The explorer and the preview.
    void edtPath2Change();
    void ListTypedFolder();  // the path box's folder into the list, now
    void ListingProgress(qulonglong entries);
    void ListingDone(bool stopped);
    QTimer* FListDelay = nullptr;  // a tree waits until typing stops
    void btnBrowseClick();
    void FileListChangeEx(int currentItem, int previousItem);
    void PageControlChange();
    void btnResultClick();
    void FormResize();

    // The quality advisor.
    void trkQualityChange();
    void ShowAdvisorInput(TAdvisorInput& input);
    void ShowCompressed(std::unique_ptr<TGraphic> compressed, const QImage& drawn, int size, const QString& limit);
    void ShowAdvisorStale(bool stale);
    std::string FAdvisorFile;  // the picture the advisor shows, as its file
    void chkCenterClick();
    int32_t InputFileSize = 0;

    // The log, the status bar and the pages by the numbers the settings file stores.
    QString LogText() const;
    void AddLog(const QString& line);
    QString StatusText() const;
    void SetStatusText(const QString& text);
    int PageNumber() const;         // 1 .. 6, -1 for none
    void SetPageNumber(int number);  // any other number shows no page

    TPicture& MainPreview();

    // --- controls, named as the rest of the program knows them ---
    QFrame* pnlLeft;
    QFrame* pnlHeader;
    QLabel* Label6;
    TPathEdit* edtPath;
    QPushButton* btnBrowse;
    TFilterComboBox* FilterCombo;
    QCheckBox* chkRecurse;
    TOrvelFileList* FileList;
    QPushButton* btnRefresh;
    QPushButton* btnSellAll;
    QPushButton* btnInvert;

    QTabWidget* PageControl;
    QWidget* tabResizer;
    QWidget* tabThumb;
    QWidget* tabQuality;
    QWidget* tabSettings;
    QWidget* tabLog;
    QWidget* tabAbout;

    QFrame* Panel1;
    QGroupBox* grpImgSize;
    QRadioButton* radXDecrease;
    QRadioButton* radXIncrease;
    QRadioButton* radSameSize;
    QRadioButton* radFitWithin;
    QRadioButton* radFillBox;
    QComboBox* cmbCropFocus;
    QCheckBox* chkLinearLight;
    QComboBox* cmbSharpen;
    QCheckBox* chkOnlyShrink;
    QRadioButton* radSameWidth;
    QRadioButton* radSameHeight;
    TOrvelDecSpin* spnDecFactor;
    TOrvelDecSpin* spnIncFactor;
    QSpinBox* spnWH;
    QLabel* lblAspect;
    QGroupBox* grpOutRatio;
    QSpinBox* spnWidth;
    QSpinBox* spnHeight;
    QComboBox* cmbOutputs;
    QPushButton* btnRecipes;
    std::vector<TRecipe> FRecipes;  // the recipes of the settings file, in cmbOutputs after its first item
    QPushButton* btn43;
    QPushButton* btn169;
    QLabel* lblImageSize;
    QFrame* pnlPreviewAll;
    QFrame* pnlQuickBtn;
    QFrame* pnlPreview2;
    TImage* imgMainPrev;
    QPushButton* btnStart;
    QPushButton* btnAbort;
    QPushButton* btnResult;
    QPushButton* btnManual;
    QPushButton* btnSupport;

    QFrame* Panel2;
    TImage* imgQualInput;
    TImage* imgCompressed;
    QFrame* pnlQuality;
    QSlider* trkQuality;
    QLabel* lblQualityTicks;
    QLabel* lblQuality2;
    QLabel* lblOrigSize;
    QLabel* lblFileSizeOut;
    QProgressBar* proBar1;
    QProgressBar* proBar2;
    QCheckBox* chkCenter;

    QPushButton* btnDesktopShortcut;
    QCheckBox* chkAutoStartUp;
    QSpinBox* spnAutoUpdate;
    QRadioButton* radHintsOff;
    QRadioButton* radHintsTooltips;
    QRadioButton* radHintsStatBar;
    QSpinBox* spnHideHint;
    QCheckBox* chkSounds;
    QCheckBox* chkTrayIcon;
    QSpinBox* spnOpacity;
    QCheckBox* chkSkins;
    QCheckBox* chkPreview;
    QCheckBox* chkProtect;
    QComboBox* cmbResampleQ;
    QComboBox* cmbOutFormat;
    QComboBox* cmbPngCompression;
    QCheckBox* chkKeepDepth;
    QCheckBox* chkFastDecode;
    QCheckBox* chkKeepProfile;
    QCheckBox* chkKeepMetadata;
    QCheckBox* chkRemoveGps;  // enabled only while chkKeepMetadata is ticked
    QCheckBox* chkConvertSrgb;
    QCheckBox* chkKeepDate;
    QSpinBox* spnMaxKB;        // 0: no size limit
    QLineEdit* edtNameTemplate;
    QSpinBox* spnCounterStart;
    QRadioButton* radOutBeside;  // the "Output" folder beside the pictures
    QRadioButton* radOutFolder;  // or edtOutFolder
    QLineEdit* edtOutFolder;
    QPushButton* btnOutFolder;
    // Where this job's outputs go, ending in the delimiter.
    std::string OutputFolder() const;
    void btnOutFolderClick();
    QLabel* lblLimitQuality;   // the advisor's quality within that limit
    QCheckBox* chkAddFltName;
    QCheckBox* chkOverwrite;

    QPlainTextEdit* Memo;
    QLabel* lblAppName;
    QLabel* lblVersion;
    THyperlinkLabel* inetHomePage;
    QLabel* StatBar;
    QProgressBar* proJob;  // beside the status text during a batch

    QAction* actStart;
    QAction* actAbort;
    QAction* actRefresh;
    QAction* actSellAll;
    QAction* actExit;

    QDateTime LastUpdateCheck;  // invalid: no check yet
    QAction* mnuUpdates;
    QAction* mnuOnlineHelp;
    QAction* mnuSupport;
    QAction* mnuProgramPage;
    QAction* mnuCompanyPage;
    TNotifyIcon* TrayIcon;
    QMenu* PopupMenu;
    QAction* mnuExit;
    TApplicationHints* AppHints;

    // Hints, appearance and the desktop.
    void CanShowHint();
    void spnHideHintChange();
    void spnOpacityChange();
    void chkAutoStartUpClick();
    void btnDesktopShortcutClick();
    void chkTrayIconClick();
    void TrayIconClick();
    void mnuOnlineHelpClick();
    void mnuSupportClick();
    void mnuProgramPageClick();
    void mnuCompanyPageClick();

    // The update checker.
    TWebUpdate WebUpdater;
    bool FUpdateAsked = false;      // the running check was asked for from the menu
    QString FStatusBeforeCheck;    // what the status bar said before an automatic check
    void CheckForUpdates(bool forced);
    void mnuUpdatesClick();
    void WebUpdaterUpdateAvailable(const std::string& actualVersion, const std::string& newVersion, bool& canUpdate);
    void WebUpdaterNoUpdateFound();
    void WebUpdaterDownloadError();
    void WebUpdaterClientFileExists(std::string& fileName, bool& overwrite);
    void WebUpdaterAfterDownload(const std::string& fileName);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void ShowCurrentOrNothing();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Building the window.
    void CreateLayout();
    QWidget* CreateExplorer();
    void CreateResizerPage();
    QWidget* CreateModeGroup();
    QWidget* CreateSizeGroup();
    QLayout* CreateOutputsRow();
    QWidget* CreateQuickButtons();
    void CreateQualityPage();
    void CreateSettingsPage();
    QWidget* CreateSystemGroup();
    QWidget* CreateHelpGroup();
    void PlaceQualityControls();
    QWidget* CreateInterfaceGroup();
    QWidget* CreateImageGroup();
    QWidget* CreateOutputGroup();
    void CreateLogPage();
    void CreateAboutPage();
    void CreateActions();
    void CreateMenus();
    void ConnectHandlers();
    void ConfigureWebUpdater();
    void KeepOnScreen();
    void CreateTrayIcon();
    void ConnectShellHandlers();

    void WriteLogHeader(const char* kind);
    void ShowCurrentPicture(bool quiet);
    QTimer* FPreviewDelay;
    class TLatestWork* FPreviewWork;
    class TLatestWork* FAdvisorLoad;
    class TLatestWork* FAdvisorCompress;
    // The screen's colour profile, read once; empty means sRGB.
    std::shared_ptr<const std::vector<uint8_t>> FScreenProfile;
    struct TJob;
    // The end of a job in the status bar and the log (FormMainSummary.cpp).
    static void CountResult(TJob& job, const struct TResizeResult& result);
    static int64_t SizeOnDisk(const std::string& path);
    void ShowSummary(const TJob& job);
    bool FSummaryShown = false;  // a click on the status bar opens the log
    void StatusBarClick();
    void StartJob(std::vector<std::string> names, bool single, const std::string& within = "");
    void DispatchPictures();
    void PictureFreed();
    void PictureReported(const struct TBatchOutcome& outcome);
    void ShowProgress(size_t done, size_t total);
    void EndJob();
    void LoadWindowState(class TOrvelIniFile& ini);
    void LoadSettings(class TOrvelIniFile& ini);

    bool FNoPage = false;   // a stored page number that names no page
    std::unique_ptr<TJob> FJob;
    bool FCloseAfterJob = false;  // the window was closed while a job ran
    bool FEndRequested = false;
    bool FSaveErrorShown = false;  // this job's failed save was shown in a box
};

// The greeting the log starts with; the first job clears it.
QString Greeting();

}  // namespace quorix
