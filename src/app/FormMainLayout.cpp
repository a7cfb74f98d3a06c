// Building the window: every control with its caption, hint and colour.
#include "Graphic.h"
#include "FormMain.h"

#include "AppErrors.h"
#include "OrvelDecSpin.h"
#include "OrvelFileListBox.h"
#include "OrvelImage.h"
#include "OrvelTickLabel.h"
#include "PATHEdit.h"
#include "Platform.h"
#include "Resample.h"

#include <QAbstractButton>
#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <QStatusBar>
#include <QVBoxLayout>

namespace quorix {

namespace {

void Paint(QWidget* widget, const char* colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QColor(colour));
    palette.setColor(QPalette::Base, QColor(colour));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFrame* Panel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    return panel;
}

template <class T>
T* Named(T* widget, const char* name, const QString& hint = QString()) {
    widget->setObjectName(name);
    if (!hint.isEmpty()) widget->setToolTip(hint);
    return widget;
}

QSpinBox* SpinEdit(QWidget* parent, const char* name, int minimum, int maximum, int step, const QString& hint = {}) {
    auto* spin = Named(new QSpinBox(parent), name, hint);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    return spin;
}

// Puts an editor over the blanks that follow the words of a button's caption.
void PlaceInGap(QRadioButton* button, QWidget* editor, const QString& words) {
    editor->setParent(button);
    button->setMinimumHeight(editor->height() + 2);
    QStyleOptionButton option;
    option.initFrom(button);
    const int indicator = button->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, button) +
                          button->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, button);
    editor->move(indicator + button->fontMetrics().horizontalAdvance(words), 1);
    const int gapEnd = button->fontMetrics().horizontalAdvance(button->text().section("times", 0, 0));
    editor->setFixedSize(std::max(40, gapEnd + indicator - editor->x() - 2), editor->height());
}

const char* const StartHint =
    "Start the resizing process.\r\n\rOnly the pictures selected will be processed.\r\nThe output will be placed into "
    "the \"Output\" folder.\r\nPress the 'Show results' button to see the resized images.";

}  // namespace

void TMainForm::CreateLayout() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(CreateExplorer());
    PageControl = Named(new QTabWidget(central), "PageControl");
    row->addWidget(PageControl, 1);
    setCentralWidget(central);
    CreateResizerPage();
    tabThumb = Named(new QWidget, "tabThumb");
    PageControl->addTab(tabThumb, "Thumb generator");
    PageControl->setTabVisible(1, false);
    CreateQualityPage();
    CreateSettingsPage();
    CreateLogPage();
    CreateAboutPage();
    PageControl->setCurrentIndex(0);
    StatBar = Named(new QLabel("Ready..."), "StatBar");
    statusBar()->addWidget(StatBar, 1);
    proJob = Named(new QProgressBar, "proJob");
    proJob->setMinimumWidth(220);
    proJob->setVisible(false);
    statusBar()->addPermanentWidget(proJob);
    statusBar()->setSizeGripEnabled(true);
}

QWidget* TMainForm::CreateExplorer() {
    pnlLeft = Panel(this, "pnlLeft");
    pnlLeft->setFixedWidth(279);
    auto* column = new QVBoxLayout(pnlLeft);
    column->setContentsMargins(4, 4, 4, 4);
    pnlHeader = Named(Panel(pnlLeft, "pnlHeader"), "pnlHeader", "Double click an image to resize it");
    pnlHeader->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // as high as its rows need
    Paint(pnlHeader, "#DBDFE3");
    auto* header = new QGridLayout(pnlHeader);
    Label6 = Named(new QLabel("Image Explorer", pnlHeader), "Label6");
    QFont bold = Label6->font();
    bold.setBold(true);
    Label6->setFont(bold);
    const QString locate = "Locate the folder that contains the pictures you want to process";
    edtPath = Named(new TPathEdit(pnlHeader), "edtPath", locate);
    edtPath->setText("/");
    Paint(edtPath, "#A5C19F");
    btnBrowse = Named(new QPushButton("Browse", pnlHeader), "btnBrowse", locate);
    FilterCombo = Named(new TFilterComboBox(pnlHeader), "FilterCombo", "Select which type of pictures you want to process");
    header->addWidget(Label6, 0, 0, 1, 2);
    header->addWidget(edtPath, 1, 0);
    header->addWidget(btnBrowse, 1, 1);
    header->addWidget(FilterCombo, 2, 0, 1, 2, Qt::AlignRight);
    chkRecurse = Named(new QCheckBox("Include sub-folders", pnlHeader), "chkRecurse",
                       "List the pictures of every sub-folder too; each is written at the same place under the "
                       "output folder.");
    header->addWidget(chkRecurse, 3, 0, 1, 2);
    column->addWidget(pnlHeader);

    FileList = Named(new TOrvelFileList(pnlLeft), "FileList",
                     "Press the \"Delete\" key to delete the selected file from disk.");
    Paint(FileList, "#DEDECF");
    column->addWidget(FileList, 1);
    auto* buttons = new QHBoxLayout;
    btnRefresh = Named(new QPushButton("Refresh", pnlLeft), "btnRefresh");
    btnSellAll = Named(new QPushButton("Select all", pnlLeft), "btnSellAll");
    btnInvert = Named(new QPushButton("Invert selection", pnlLeft), "btnInvert");
    buttons->addWidget(btnRefresh);
    buttons->addWidget(btnSellAll);
    buttons->addWidget(btnInvert);
    column->addLayout(buttons);
    FilterCombo->SetFilter(Q(ExplorerFilter()));  // every format the registry reads
    return pnlLeft;
}

void TMainForm::CreateResizerPage() {
    tabResizer = Named(new QWidget, "tabResizer");
    auto* page = new QVBoxLayout(tabResizer);
    Panel1 = Panel(tabResizer, "Panel1");
    Panel1->setMinimumSize(474, 182);
    auto* upper = new QGridLayout(Panel1);
    upper->setContentsMargins(0, 4, 0, 0);
    upper->addWidget(CreateModeGroup(), 0, 0, 2, 1);
    lblImageSize = Named(new QLabel("-", Panel1), "lblImageSize", "Resolution of current selected image");
    upper->addWidget(lblImageSize, 0, 1, Qt::AlignTop);
    upper->addWidget(CreateSizeGroup(), 1, 1, Qt::AlignTop);
    // The size box keeps its room while hidden: the mode group never moves.
    QSizePolicy keep = grpOutRatio->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    grpOutRatio->setSizePolicy(keep);
    lblImageSize->setMinimumWidth(grpOutRatio->sizeHint().width());
    page->addWidget(Panel1, 0, Qt::AlignHCenter | Qt::AlignTop);
    page->addLayout(CreateOutputsRow());

    pnlPreviewAll = Panel(tabResizer, "pnlPreviewAll");
    pnlPreviewAll->setMinimumHeight(291);  // and grows with the window
    Paint(pnlPreviewAll, "#CDCFD8");
    auto* lower = new QHBoxLayout(pnlPreviewAll);
    lower->addWidget(CreateQuickButtons());
    pnlPreview2 = Panel(pnlPreviewAll, "pnlPreview2");
    pnlPreview2->setFrameShape(QFrame::Panel);
    pnlPreview2->setFrameShadow(QFrame::Sunken);
    Paint(pnlPreview2, "#292B34");
    auto* preview = new QVBoxLayout(pnlPreview2);
    imgMainPrev = Named(new TImage(pnlPreview2), "imgMainPrev", "Preview of current selected picture");
    imgMainPrev->SetCenter(true);
    imgMainPrev->SetProportional(true);
    preview->addWidget(imgMainPrev);
    lower->addWidget(pnlPreview2, 1);
    page->addWidget(pnlPreviewAll, 1);
    PageControl->addTab(tabResizer, "Image resizer");
}

QWidget* TMainForm::CreateModeGroup() {
    grpImgSize = Named(new QGroupBox("I want to:", Panel1), "grpImgSize");
    grpImgSize->setMinimumSize(271, 168);
    grpImgSize->setStyleSheet("QGroupBox#grpImgSize { font-weight: bold; }");
    auto* grid = new QGridLayout(grpImgSize);
    grid->setVerticalSpacing(2);
    radXDecrease = Named(new QRadioButton("Decrease image size                   times", grpImgSize), "radXDecrease",
                         "This will make each output image x times smaller.");
    radXIncrease = Named(new QRadioButton("Increase image size                     times (magnify)", grpImgSize),
                         "radXIncrease", "This will magnify each output image x times.");
    radSameSize = Named(new QRadioButton("Make all images of the same width and height", grpImgSize), "radSameSize",
                        "This will make all output images to have the same width and height.\r\nYou must specify the "
                        "width and height in the red box.\r\nYou may distort your images if they have a ratio different "
                        "from the one choused.");
    radFitWithin = Named(new QRadioButton("Make all images fit within", grpImgSize), "radFitWithin",
                         "This will make every output image as large as fits in the width and height of the red "
                         "box,\r\nportrait or landscape, its proportions kept.");
    radFillBox = Named(new QRadioButton("Make all images fill exactly", grpImgSize), "radFillBox",
                       "This will make every output image exactly the width and height of the red box,\r\n"
                       "its proportions kept: what lies beyond the box is cropped away.");
    cmbCropFocus = Named(new QComboBox(grpImgSize), "cmbCropFocus",
                         "What the crop keeps: the centre of the picture, or the part with the most detail, colour "
                         "and skin tone.");
    cmbCropFocus->addItem("Keep the centre", "centre");
    cmbCropFocus->addItem("Keep what draws the eye", "attention");
    chkLinearLight = Named(new QCheckBox("Resize in linear light", grpImgSize), "chkLinearLight",
                           "Resample the light the pixels stand for, not their stored values: fine bright detail "
                           "(stars, lit windows, text)\r\nkeeps its brightness when reduced. Slower.");
    auto* sharpenLabel = Named(new QLabel("Sharpen after reducing:", grpImgSize), "lblSharpen");
    cmbSharpen = Named(new QComboBox(grpImgSize), "cmbSharpen",
                       "An unsharp mask on brightness after a reduction, so that a smaller picture looks as crisp as "
                       "the original at 100 %.\r\nEdges get no halo; pictures that are not reduced are left alone.");
    for (const char* name : {"None", "Light", "Standard", "Strong"}) cmbSharpen->addItem(name, QString(name).toLower());
    chkOnlyShrink = Named(new QCheckBox("Never enlarge", grpImgSize), "chkOnlyShrink",
                          "Pictures smaller than the size asked for keep their own size instead of being enlarged.");
    radSameWidth = Named(new QRadioButton("Make all images of the same width:", grpImgSize), "radSameWidth",
                         "This will make all output images to have the same width.\r\nYou must specify the width (in "
                         "pixels) in the blue box.");
    radSameHeight = Named(new QRadioButton("Make all images of the same height:", grpImgSize), "radSameHeight",
                          "This will make all output images to have the same height\r\nYou must specify the height (in "
                          "pixels) in the blue box.");
    spnDecFactor = Named(new TOrvelDecSpin(grpImgSize), "spnDecFactor",
                         "We use state of art algorithms to shrink the image.\r\nAnyhow, enlarging the image more than "
                         "10-30 times may cause quality degradation.");
    spnDecFactor->SetMinValue(1.0);
    spnDecFactor->SetMaxValue(20.0);
    spnDecFactor->SetValue(2.0);
    spnIncFactor = Named(new TOrvelDecSpin(grpImgSize), "spnIncFactor",
                         "We use state of art algorithms to enlarge the image.\r\nAnyhow, enlarging the image more than "
                         "2-3 times may cause quality degradation.");
    spnIncFactor->SetMinValue(1.0);
    spnIncFactor->SetMaxValue(25.0);
    spnIncFactor->SetValue(1.5);
    for (TOrvelDecSpin* spin : {spnDecFactor, spnIncFactor}) spin->resize(65, 22);
    spnWH = SpinEdit(grpImgSize, "spnWH", 1, 32768, 1, "(in pixels)");
    Paint(spnWH, "#CAD8DF");
    spnWH->setVisible(false);
    spnWH->setFixedWidth(70);
    lblAspect = Named(new QLabel("IMAGE MAY GET DISTORTED", grpImgSize), "lblAspect",
                      "In this mode, the aspect ratio of some images may be broken after resize.");
    lblAspect->setAlignment(Qt::AlignCenter);
    lblAspect->setCursor(Qt::PointingHandCursor);
    Paint(lblAspect, "#FE3F23");
    lblAspect->setVisible(false);
    // The factor editors sit over the blank gaps of their captions.
    PlaceInGap(radXDecrease, spnDecFactor, "Decrease image size ");
    PlaceInGap(radXIncrease, spnIncFactor, "Increase image size ");
    grid->addWidget(radXDecrease, 0, 0, 1, 2);
    grid->addWidget(radXIncrease, 1, 0, 1, 2);
    grid->addWidget(radSameSize, 2, 0, 1, 2);
    grid->addWidget(radFitWithin, 3, 0, 1, 2);
    grid->addWidget(radFillBox, 4, 0);
    grid->addWidget(cmbCropFocus, 4, 1, Qt::AlignRight);
    grid->addWidget(radSameWidth, 5, 0);
    grid->addWidget(radSameHeight, 6, 0);
    grid->addWidget(spnWH, 5, 1, Qt::AlignRight);
    grid->addWidget(chkOnlyShrink, 7, 0, 1, 2);
    grid->addWidget(chkLinearLight, 8, 0, 1, 2);
    grid->addWidget(sharpenLabel, 9, 0);
    grid->addWidget(cmbSharpen, 9, 1, Qt::AlignRight);
    grid->addWidget(lblAspect, 10, 0, 1, 2);
    sharpenLabel->setStyleSheet("font-weight: normal;");
    for (QAbstractButton* r : std::initializer_list<QAbstractButton*>{radXDecrease, radXIncrease, radSameSize, radFitWithin,
                                                                      radFillBox, radSameWidth, radSameHeight, chkOnlyShrink,
                                                                      chkLinearLight})
        r->setStyleSheet("font-weight: normal;");
    return grpImgSize;
}

QLayout* TMainForm::CreateOutputsRow() {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(new QLabel("Outputs:", tabResizer));
    cmbOutputs = Named(new QComboBox(tabResizer), "cmbOutputs",
                       "What is made of each picture: one resized picture as set on this page, or every output of "
                       "a recipe\r\n(each picture is read once for all of them).");
    cmbOutputs->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    btnRecipes = Named(new QPushButton("Recipes...", tabResizer), "btnRecipes",
                       "Add, change, import and export recipes: several outputs of each picture.");
    row->addWidget(cmbOutputs);
    row->addWidget(btnRecipes);
    row->addStretch(1);
    return row;
}

QWidget* TMainForm::CreateSizeGroup() {
    grpOutRatio = Named(new QGroupBox("Output image size (pixels):", Panel1), "grpOutRatio", "Size (in pixels)");
    Paint(grpOutRatio, "#D6C8C7");
    grpOutRatio->setVisible(false);
    auto* grid = new QGridLayout(grpOutRatio);
    spnWidth = SpinEdit(grpOutRatio, "spnWidth", 10, 20000, 1, "Output width (in pixels)");
    spnHeight = SpinEdit(grpOutRatio, "spnHeight", 10, 20000, 1, "Output height (in pixels)");
    spnWidth->setValue(800);
    spnHeight->setValue(600);
    btn43 = Named(new QPushButton("Set 4:3", grpOutRatio), "btn43",
                  "Set 4:3 aspect ratio.\r\nOld computer screen and digital cameras used this aspect ratio.");
    btn169 = Named(new QPushButton("Set 16:9", grpOutRatio), "btn169",
                   "Set 16:9 aspect ratio.\r\nNew computer screen and digital cameras use this aspect ratio.");
    grid->addWidget(spnWidth, 0, 0);
    grid->addWidget(new QLabel(" x ", grpOutRatio), 0, 1);
    grid->addWidget(spnHeight, 0, 2);
    grid->addWidget(btn43, 1, 0);
    grid->addWidget(btn169, 1, 2);
    return grpOutRatio;
}

QWidget* TMainForm::CreateQuickButtons() {
    pnlQuickBtn = Panel(pnlPreviewAll, "pnlQuickBtn");
    pnlQuickBtn->setFixedWidth(111);
    auto* column = new QVBoxLayout(pnlQuickBtn);
    column->setContentsMargins(0, 0, 0, 0);
    btnStart = Named(new QPushButton("Resize selected", pnlQuickBtn), "btnStart", StartHint);
    btnStart->setDefault(true);
    btnStart->setAutoDefault(true);
    btnAbort = Named(new QPushButton("Abort", pnlQuickBtn), "btnAbort", "Stop the batch resize process");
    btnResult = Named(new QPushButton("Show result", pnlQuickBtn), "btnResult", "Navigate to the output folder.");
    btnManual = Named(new QPushButton("Online manual", pnlQuickBtn), "btnManual", "Read the online manual");
    btnSupport = Named(new QPushButton("Online support", pnlQuickBtn), "btnSupport", "Submit a ticket to our help desk");
    for (QPushButton* b : {btnStart, btnAbort, btnResult, btnManual, btnSupport}) b->setMinimumHeight(28);
    column->addWidget(btnStart);
    column->addWidget(btnAbort);
    column->addStretch(1);
    column->addWidget(btnResult);
    column->addWidget(btnManual);
    column->addWidget(btnSupport);
    return pnlQuickBtn;
}

void TMainForm::CreateQualityPage() {
    tabQuality = Named(new QWidget, "tabQuality");
    auto* page = new QVBoxLayout(tabQuality);
    pnlQuality = Panel(tabQuality, "pnlQuality");
    trkQuality = Named(new QSlider(Qt::Horizontal, pnlQuality), "trkQuality",
                       "For low image quality (but small size): 65-75.\r\nFor normal image quality (recommended for most "
                       "users): 75-90.\r\nFor best image quality (but huge files): 90-95.");
    trkQuality->setRange(5, 99);
    trkQuality->setTickInterval(10);
    trkQuality->setTickPosition(QSlider::TicksBelow);
    trkQuality->setValue(70);
    lblQualityTicks = Named(
        new TTickLabel("5                                  50                                95", trkQuality, pnlQuality),
        "lblQualityTicks");
    lblQuality2 = Named(new QLabel("? quality", pnlQuality), "lblQuality2");
    lblOrigSize = Named(new QLabel("Original file size: ", pnlQuality), "lblOrigSize");
    lblFileSizeOut = Named(new QLabel("Resulted file size: ", pnlQuality), "lblFileSizeOut");
    proBar1 = Named(new QProgressBar(pnlQuality), "proBar1");
    proBar2 = Named(new QProgressBar(pnlQuality), "proBar2");
    for (QProgressBar* bar : {proBar1, proBar2}) {
        bar->setTextVisible(false);
        bar->setRange(0, 1);
    }
    SetBarState(proBar1, TProgressBarState::pbsPaused);
    SetBarState(proBar2, TProgressBarState::pbsNormal);
    chkCenter = Named(new QCheckBox("Center image", pnlQuality), "chkCenter");
    chkCenter->setChecked(true);
    lblLimitQuality = Named(new QLabel(pnlQuality), "lblLimitQuality",
                            "The quality the file size limit of the Settings page would pick for this picture.");
    PlaceQualityControls();
    page->addWidget(pnlQuality, 0, Qt::AlignHCenter);
    Panel2 = Panel(tabQuality, "Panel2");
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Sunken);
    Paint(Panel2, "#292B34");
    imgQualInput = Named(new TImage(Panel2), "imgQualInput");
    imgCompressed = Named(new TImage(Panel2), "imgCompressed");
    for (TImage* image : {imgQualInput, imgCompressed}) image->SetCenter(true);
    page->addWidget(Panel2, 1);
    PageControl->addTab(tabQuality, "JPG Quality advisor");
}

// The bars start 142 pixels from the panel's left edge in a 492-pixel panel,
// so the compressed bar can grow to about 153 % of the reference. A wider
// desktop font moves them right and widens the panel by as much.
void TMainForm::PlaceQualityControls() {
    const QFontMetrics metrics(lblFileSizeOut->font());
    const int labelWidth = metrics.horizontalAdvance("Resulted file size: 999.99 KB");
    const int left = std::max(142, 8 + labelWidth + 6);
    const int row = std::max(20, metrics.height() + 4);
    pnlQuality->setFixedSize(492 + left - 142, 44 + 3 * row + 12);
    const int barsRight = left + 225;
    trkQuality->setGeometry(8, 4, barsRight - 8, 28);
    lblQuality2->setGeometry(barsRight + 10, 8, pnlQuality->width() - barsRight - 14, row);
    lblQualityTicks->setGeometry(8, 30, barsRight, row);
    lblOrigSize->setGeometry(8, 44 + 0 * row, labelWidth, row);
    proBar1->setGeometry(left, 44 + 0 * row + 2, 225, row - 6);
    lblFileSizeOut->setGeometry(8, 44 + 1 * row, labelWidth, row);
    proBar2->setGeometry(left, 44 + 1 * row + 2, 225, row - 6);
    chkCenter->setGeometry(8, 44 + 2 * row + 4, labelWidth, row);
    lblLimitQuality->setGeometry(left, 44 + 2 * row + 4, pnlQuality->width() - left - 8, row);
}

void TMainForm::CreateSettingsPage() {
    tabSettings = Named(new QWidget, "tabSettings");
    auto* grid = new QGridLayout(tabSettings);
    grid->addWidget(CreateSystemGroup(), 0, 0);
    grid->addWidget(CreateHelpGroup(), 0, 1);
    // The interface and output groups share the height of the tall image group.
    auto* left = new QVBoxLayout;
    left->addWidget(CreateInterfaceGroup(), 1);
    left->addWidget(CreateOutputGroup());
    grid->addLayout(left, 1, 0);
    grid->addWidget(CreateImageGroup(), 1, 1);
    chkOverwrite = Named(new QCheckBox("Overwrite existing images", tabSettings), "chkOverwrite",
                         "If this is NOT checked the program will not overwrite the images already in the "
                         "output folder.\r\nRecommended: Checked");
    chkOverwrite->setChecked(true);
    grid->addWidget(chkOverwrite, 2, 0, 1, 2, Qt::AlignHCenter);
    grid->setRowStretch(3, 1);
    // Captions are never cut: the groups take the room their texts need.
    for (QWidget* w : tabSettings->findChildren<QWidget*>())
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
            w->setSizePolicy(QSizePolicy::Minimum, w->sizePolicy().verticalPolicy());
    PageControl->addTab(tabSettings, "Settings");
}

QWidget* TMainForm::CreateSystemGroup() {
    auto* group = new QGroupBox("System", tabSettings);
    auto* column = new QVBoxLayout(group);
    btnDesktopShortcut = Named(new QPushButton("Create desktop shortcut", group), "btnDesktopShortcut",
                               "Create a shortcut to this program on desktop");
    chkAutoStartUp = Named(new QCheckBox("Start at log-in", group), "chkAutoStartUp",
                           "This program will start when you log in to the desktop.");
    auto* row = new QHBoxLayout;
    spnAutoUpdate = SpinEdit(group, "spnAutoUpdate", 0, 365, 1);
    spnAutoUpdate->setValue(4);
    row->addWidget(new QLabel("Auto search for updates every", group));
    row->addWidget(spnAutoUpdate);
    row->addWidget(new QLabel("days", group));
    row->addStretch(1);
    column->addWidget(btnDesktopShortcut);
    column->addWidget(chkAutoStartUp);
    column->addLayout(row);
    return group;
}

QWidget* TMainForm::CreateHelpGroup() {
    auto* group = new QGroupBox("Help", tabSettings);
    auto* column = new QVBoxLayout(group);
    radHintsOff = Named(new QRadioButton("Turn off the embedded help system", group), "radHintsOff",
                        "Don't use the embedded help system. No pop-up will appear and no info will be displayed in "
                        "status bar.");
    radHintsTooltips = Named(new QRadioButton("Show help as tool-tips", group), "radHintsTooltips",
                             "Show a hint when you hold the mouse cursor over an item (button, checkbox, etc)");
    radHintsStatBar = Named(new QRadioButton("Show help in status bar also", group), "radHintsStatBar",
                            "Show information about an item in status bar.");
    radHintsTooltips->setChecked(true);
    spnHideHint = SpinEdit(group, "spnHideHint", 800, 20000, 100,
                           "The hints will automatically disappear after this interval.\r\nIf you don't have time to "
                           "read them increase this value.\r\n\r\n");
    spnHideHint->setValue(3000);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Hide hint after", group));
    row->addWidget(spnHideHint);
    row->addWidget(new QLabel("milliseconds.", group));
    row->addStretch(1);
    column->addWidget(radHintsOff);
    column->addWidget(radHintsTooltips);
    column->addWidget(radHintsStatBar);
    column->addLayout(row);
    return group;
}

QWidget* TMainForm::CreateInterfaceGroup() {
    auto* group = new QGroupBox("Interface", tabSettings);
    auto* column = new QVBoxLayout(group);
    chkSounds = Named(new QCheckBox("Make sound when done", group), "chkSounds");
    chkTrayIcon = Named(new QCheckBox("Minimize to tray", group), "chkTrayIcon");
    // Typed values below the range reach the handler, which raises them to 100.
    spnOpacity = SpinEdit(group, "spnOpacity", 0, 255, 3);
    spnOpacity->setValue(255);
    // Typed digits take effect when typing is done: the first digit of "200"
    // alone is below the least opacity and snapped to it.
    spnOpacity->setKeyboardTracking(false);
    chkSkins = Named(new QCheckBox("Use skins *", group), "chkSkins", "Enable the Skin System (requires restart)");
    chkSkins->setChecked(true);
    chkSkins->setVisible(false);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Opacity", group));
    row->addWidget(spnOpacity);
    row->addStretch(1);
    column->addWidget(chkSounds);
    column->addWidget(chkTrayIcon);
    column->addLayout(row);
    column->addWidget(chkSkins);
    return group;
}

QWidget* TMainForm::CreateOutputGroup() {
    auto* group = new QGroupBox("Output", tabSettings);
    auto* column = new QVBoxLayout(group);
    column->addWidget(new QLabel("Save into", group));
    radOutBeside = Named(new QRadioButton("the \"Output\" folder beside the pictures", group), "radOutBeside",
                         "Each folder's pictures go into its own sub-folder \"Output\".");
    radOutFolder = Named(new QRadioButton("this folder:", group), "radOutFolder",
                         "Every resized picture goes into the folder below.");
    radOutBeside->setChecked(true);
    auto* folderRow = new QHBoxLayout;
    edtOutFolder = Named(new QLineEdit(group), "edtOutFolder", "The folder for every resized picture.");
    btnOutFolder = Named(new QPushButton("Browse", group), "btnOutFolder", "Choose the folder for the resized pictures.");
    folderRow->addWidget(edtOutFolder, 1);
    folderRow->addWidget(btnOutFolder);
    column->addWidget(radOutBeside);
    column->addWidget(radOutFolder);
    column->addLayout(folderRow);
    column->addWidget(new QLabel("File name:", group));
    edtNameTemplate = Named(new QLineEdit("{name}", group), "edtNameTemplate",
                            "The name of each resized picture, before its extension.\r\n{name} the original's name, "
                            "{width} {height} the new size, {filter}, {quality},\r\n{counter} its place in the batch "
                            "({counter:4} gives 0001), {date} the date taken (else the file's date).\r\n"
                            "Without {name} or {counter} pictures share names: a later one gets \" (2)\".");
    column->addWidget(edtNameTemplate);
    auto* counterRow = new QHBoxLayout;
    counterRow->addWidget(new QLabel("First {counter}:", group));
    spnCounterStart = SpinEdit(group, "spnCounterStart", 0, 999999999, 1,
                               "What {counter} gives the first picture of a batch: start a second batch where the "
                               "first one ended.");
    spnCounterStart->setValue(1);
    counterRow->addWidget(spnCounterStart);
    counterRow->addStretch(1);
    column->addLayout(counterRow);
    return group;
}

QWidget* TMainForm::CreateImageGroup() {
    auto* group = new QGroupBox("Image", tabSettings);
    auto* column = new QVBoxLayout(group);
    chkPreview = Named(new QCheckBox("Show preview panel", group), "chkPreview",
                       "Show the current processed image in a small preview window. This will slow down the program "
                       "with about 5%.");
    chkPreview->setChecked(true);
    chkPreview->setVisible(false);
    chkProtect = Named(new QCheckBox("Protect against invalid images", group), "chkProtect",
                       "If the image is higher than 10000 pixels than your computer may not\r\nhave enough memory to "
                       "process it or it may be corrupt.\r\nIf this checkbox is checked, the program will ignore such "
                       "huge images.");
    chkProtect->setChecked(true);
    auto* label = Named(new QLabel("Resampling quality:", group), "lblResampleQ", "Recommended: Lanczos.");
    cmbResampleQ = Named(new QComboBox(group), "cmbResampleQ",
                         "Choose the filter for the resampling process.\r\nIf you don't understand this, leave it to its "
                         "default state or experiment with different values (don't worry, you won't break nothing).\r\n"
                         "Filters like Lanczos, B-Spline and Mitchell give better image qualit) but are also slower.\r\n"
                         "Box is the worst filter but is also the fastest.\r\n\r\nWe recommend Lanczos.");
    chkAddFltName = Named(new QCheckBox("Add filter name in image name", group), "chkAddFltName",
                          "Append the name of the filter used at the end of the resulted file name.\r\nVery useful for "
                          "comparing filter quality.");
    column->addWidget(chkPreview);
    column->addWidget(chkProtect);
    column->addWidget(label);
    column->addWidget(cmbResampleQ);
    column->addWidget(chkAddFltName);
    chkFastDecode = Named(new QCheckBox("Decode large reductions at reduced size (faster, nearly identical)", group),
                          "chkFastDecode",
                          "A JPEG reduced 2 times or more is decoded at 1/2, 1/4 or 1/8 of its size (still at least "
                          "twice the output), then resampled:\r\nthumbnails of large photos are made several times "
                          "faster, with almost the same pixels.");
    column->addWidget(chkFastDecode);
    auto* formatLabel = Named(new QLabel("Output format:", group), "lblOutFormat");
    cmbOutFormat = Named(new QComboBox(group), "cmbOutFormat",
                         "The file format of the resized pictures.\r\nJPEG, WebP, AVIF and JPEG XL use the quality of the "
                         "JPG Quality advisor page; PNG and TIFF keep every pixel.");
    for (const TOutputFormatInfo* format : WindowOutputFormats()) cmbOutFormat->addItem(Q(format->Name), Q(format->Key));
    cmbOutFormat->setCurrentIndex(0);
    column->addWidget(formatLabel);
    column->addWidget(cmbOutFormat);
    auto* pngRow = new QHBoxLayout;
    pngRow->addWidget(new QLabel("PNG compression:", group));
    cmbPngCompression = Named(new QComboBox(group), "cmbPngCompression",
                              "How hard PNG's compression works: Fast and Balanced write a 3-megapixel photo in well "
                              "under a second,\r\nSmallest takes several seconds for a file a few per cent smaller.");
    for (const char* effort : {"Fast", "Balanced", "Smallest"}) cmbPngCompression->addItem(effort, QString(effort).toLower());
    cmbPngCompression->setCurrentIndex(1);
    pngRow->addWidget(cmbPngCompression, 1);
    column->addLayout(pngRow);
    chkKeepDepth = Named(new QCheckBox("Keep 16 bits per channel (PNG, TIFF, JPEG XL)", group), "chkKeepDepth",
                         "A picture of more than 8 bits a channel (a 16-bit PNG or TIFF) keeps 16 bits when it is "
                         "written as PNG, TIFF or JPEG XL:\r\nno banding in skies and shadows after further editing. "
                         "Other pictures and formats get 8 bits as always.");
    column->addWidget(chkKeepDepth);
    chkKeepProfile = Named(new QCheckBox("Keep colour profile", group), "chkKeepProfile",
                           "Write the picture's colour profile into the resized picture, so that its colours show "
                           "as in the original.");
    chkKeepMetadata = Named(new QCheckBox("Keep photo information (EXIF, XMP, IPTC)", group), "chkKeepMetadata",
                            "Keep the date taken, the camera, the exposure and the copyright in the resized picture.");
    chkRemoveGps = Named(new QCheckBox("Remove location (GPS)", group), "chkRemoveGps",
                         "Leave out where the photo was taken, for pictures you share.");
    chkConvertSrgb = Named(new QCheckBox("Convert colours to sRGB", group), "chkConvertSrgb",
                           "Convert the colours from the picture's own profile to sRGB, the colours every screen "
                           "and web browser assumes.");
    chkKeepDate = Named(new QCheckBox("Keep file dates", group), "chkKeepDate",
                        "Give each resized picture the modification time of its original.");
    for (QCheckBox* box : {chkKeepProfile, chkKeepMetadata, chkRemoveGps}) box->setChecked(true);
    for (QCheckBox* box : {chkKeepProfile, chkKeepMetadata, chkRemoveGps, chkConvertSrgb, chkKeepDate})
        column->addWidget(box);
    auto* limitRow = new QHBoxLayout;
    spnMaxKB = SpinEdit(group, "spnMaxKB", 0, 1000000, 1,
                        "The largest file a lossy format may write, in KB; the highest quality from the slider's "
                        "down to 5 that fits is used.\r\n0 means no limit.");
    spnMaxKB->setValue(0);
    limitRow->addWidget(new QLabel("Limit each file to", group));
    limitRow->addWidget(spnMaxKB);
    limitRow->addWidget(new QLabel("KB", group));
    limitRow->addStretch(1);
    column->addLayout(limitRow);
    return group;
}

void TMainForm::CreateLogPage() {
    tabLog = Named(new QWidget, "tabLog");
    auto* page = new QVBoxLayout(tabLog);
    Memo = Named(new QPlainTextEdit("Log:", tabLog), "Memo");
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = Memo->palette();
    palette.setColor(QPalette::Base, QColor("#F0F0F0"));
    palette.setColor(QPalette::Text, Qt::black);
    Memo->setPalette(palette);
    page->addWidget(Memo);
    PageControl->addTab(tabLog, "Log");
}

void TMainForm::CreateAboutPage() {
    tabAbout = Named(new QWidget, "tabAbout");
    auto* page = new QGridLayout(tabAbout);
    auto* panel = new QFrame(tabAbout);
    auto* row = new QHBoxLayout(panel);
    auto* picture = new QLabel(panel);
    picture->setFixedSize(261, 439);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(AppIcon().pixmap(192, 192));
    auto* text = new QVBoxLayout;
    lblAppName = Named(new QLabel(panel), "lblAppName");
    QFont name = lblAppName->font();
    name.setPointSize(10);
    name.setBold(true);
    lblAppName->setFont(name);
    lblAppName->setStyleSheet("color: navy;");
    lblVersion = Named(new QLabel(panel), "lblVersion");
    inetHomePage = Named(new THyperlinkLabel("Home page", panel), "inetHomePage");
    {
        QFont underlined = inetHomePage->font();
        underlined.setUnderline(true);  // laid out underlined; the pointer takes it away
        inetHomePage->setFont(underlined);
    }
    text->addStretch(1);
    text->addWidget(lblAppName);
    text->addWidget(lblVersion);
    text->addWidget(inetHomePage);
    text->addStretch(1);
    row->addWidget(picture);
    row->addLayout(text);
    page->addWidget(panel, 0, 0, Qt::AlignCenter);
    PageControl->addTab(tabAbout, "About");
}

void TMainForm::CreateActions() {
    auto action = [this](const char* name, const QString& caption, QKeySequence shortcut, const QString& hint) {
        auto* a = new QAction(caption, this);
        a->setObjectName(name);
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setToolTip(hint);
        addAction(a);
        return a;
    };
    actStart = action("actStart", "Resize selected", Qt::Key_F9,
                      "Start the resizing process. \rOnly the pictures selected will be processed.");
    actAbort = action("actAbort", "Abort", Qt::Key_F11, "Stop the batch resize process");
    actAbort->setEnabled(false);
    actRefresh = action("actRefresh", "Refresh files", Qt::Key_F5, "");
    actSellAll = action("actSellAll", "Select all", Qt::Key_F4, "");
    actExit = action("actExit", "Exit", QKeySequence(), "");
}

void TMainForm::CreateMenus() {
    QMenu* operations = menuBar()->addMenu("Operations");
    operations->addAction(actRefresh);
    operations->addAction(actStart);
    operations->addAction(actAbort);
    QAction* exit = operations->addAction("E&xit");
    connect(exit, &QAction::triggered, this, Guarded([this] { actExitExecute(); }));
    QMenu* info = menuBar()->addMenu("Info");
    mnuOnlineHelp = info->addAction("Online manual");
    mnuOnlineHelp->setObjectName("mnuOnlineHelp");
    mnuOnlineHelp->setShortcut(Qt::Key_F1);
    mnuSupport = info->addAction("Online support");
    mnuSupport->setObjectName("mnuSupport");
    info->addSeparator();
    mnuProgramPage = info->addAction("Home page");
    mnuProgramPage->setObjectName("mnuProgramPage");
    mnuUpdates = info->addAction("Check for updates");
    mnuUpdates->setObjectName("mnuUpdates");
    connect(mnuUpdates, &QAction::triggered, this, Guarded([this] { mnuUpdatesClick(); }));
    info->addSeparator();
    mnuCompanyPage = info->addAction("Similar software");
    mnuCompanyPage->setObjectName("mnuCompanyPage");
}

}  // namespace quorix
