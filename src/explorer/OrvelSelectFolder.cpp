#include "OrvelSelectFolder.h"

#include "ErrorGuard.h"
#include "OrvelFileListBox.h"
#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

namespace quorix {

namespace {

TDialogRunner& DialogRunner() {
    static TDialogRunner runner;
    return runner;
}

bool CanEnter(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isExecutable() && info.isReadable();
}

// Mounted file systems a user keeps files on; the root always.
QStringList UserVolumes() {
    QStringList roots{"/"};
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || !v.isReady() || !v.device().startsWith("/dev/")) continue;
        if (!roots.contains(v.rootPath())) roots << v.rootPath();
    }
    return roots;
}

}  // namespace

// ---- the volume box ----

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) { SetVolumes(UserVolumes()); }

void TDriveComboBox::SetVolumes(const QStringList& roots) {
    const QSignalBlocker block(this);
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString& root : roots) {
        const QString name = QStorageInfo(root).displayName();
        addItem(icon, name.isEmpty() || name == root ? root : root + "  (" + name + ")", root);
    }
}

QString TDriveComboBox::Drive() const { return currentData().toString(); }

void TDriveComboBox::SetDrive(const QString& root) {
    int index = findData(root);
    if (index < 0) {
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

QString TDriveComboBox::VolumeOf(const QString& folder) const {
    QString best = "/";
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const QString prefix = root.endsWith('/') ? root : root + '/';
        if ((folder == root || folder.startsWith(prefix)) && root.size() > best.size()) best = root;
    }
    return best;
}

// ---- the folder tree ----

TDirectoryTree::TDirectoryTree(QWidget* parent) : QTreeView(parent), FModel(new QFileSystemModel(this)) {
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    FModel->setReadOnly(true);
    setModel(FModel);
    for (int column = 1; column < FModel->columnCount(); ++column) hideColumn(column);
    header()->hide();
    setAnimated(false);
    connect(this, &QTreeView::clicked, this, Guarded([this] {
        const QString picked = FModel->filePath(currentIndex());
        try {
            SetDirectory(picked);
        } catch (...) {
            setCurrentIndex(FModel->index(FDirectory));  // the tree stays where it was
            throw;
        }
    }));
}

void TDirectoryTree::SetDirectory(const QString& folder) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    if (!CanEnter(path)) throw EInOutError("Cannot enter the folder " + S(path));
    if (path == FDirectory) return;
    QDir::setCurrent(path);
    FDirectory = path;
    ShowVolume(VolumeOf ? VolumeOf(path) : QStorageInfo(path).rootPath());
    FLastFolders[FDrive] = path;
    const QModelIndex index = FModel->index(path);
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
    setCurrentIndex(index);
    scrollTo(index);
    if (FileList) FileList->SetDirectory(path);
    emit Changed();
}

void TDirectoryTree::ShowVolume(const QString& root) {
    if (root == FDrive) return;
    FDrive = root;
    FModel->setRootPath(root);
    setRootIndex(FModel->index(root).parent());  // the volume's own folder is the first node
}

void TDirectoryTree::SetDrive(const QString& root) {
    if (root == FDrive) return;
    if (!CanEnter(root)) throw EInOutError("Cannot read the volume " + S(root));
    const QString last = FLastFolders.value(root, root);
    SetDirectory(CanEnter(last) ? last : root);
}

void TDirectoryTree::Update() {
    if (FileList) FileList->Update();
}

// ---- the dialog ----

TOrvelSelectDir::TOrvelSelectDir(QWidget* parent) : QDialog(parent) {
    setObjectName("OrvelSelectDir");
    setWindowTitle("Select folder");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateTopRow());
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("Splitter");
    splitter->setHandleWidth(3);
    DirList = new TDirectoryTree(splitter);
    DirList->setObjectName("DirList");
    DirList->VolumeOf = [this](const QString& folder) { return DriveList->VolumeOf(folder); };
    FileList = new TOrvelFileList(splitter);
    FileList->setObjectName("FileList");
    FileList->ShowGlyphs = false;
    FileList->DelDeletesFile = false;
    FileList->setToolTip("");
    FileList->setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette grey = FileList->palette();
    grey.setColor(QPalette::Text, grey.color(QPalette::Disabled, QPalette::Text));
    FileList->setPalette(grey);
    DirList->FileList = FileList;
    splitter->addWidget(DirList);
    splitter->addWidget(FileList);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({580 - 205, 205});
    layout->addWidget(splitter, 1);
    layout->addWidget(CreatePathPanel());
    layout->addWidget(CreateButtonPanel());
    resize(564, 652);
    setMinimumSize(580, 400);
    ConnectHandlers();
    FormCreate();
}

QWidget* TOrvelSelectDir::CreateTopRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    DriveList = new TDriveComboBox(row);
    DriveList->setObjectName("DriveList");
    DriveList->setToolTip("Available drives");
    DriveList->setMinimumWidth(180);
    Label1 = new QLabel("Quick jump:", row);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DesktopIcon), "Desktop", row);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setToolTip("Navigate to 'DESKTOP' folder");
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DirHomeIcon), "My Documents", row);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setToolTip("Navigate to 'MY DOCUMENTS' folder");
    for (QPushButton* b : {BitBtn1, BitBtn2}) b->setAutoDefault(false);
    layout->addWidget(DriveList);
    layout->addStretch(1);
    layout->addWidget(Label1);
    layout->addWidget(BitBtn1);
    layout->addWidget(BitBtn2);
    return row;
}

QWidget* TOrvelSelectDir::CreatePathPanel() {
    pnlTop = new QWidget(this);
    pnlTop->setObjectName("pnlTop");
    auto* layout = new QHBoxLayout(pnlTop);
    layout->setContentsMargins(0, 0, 0, 0);
    lblCurFolder = new QLabel("Cu&rrent path:", pnlTop);
    lblCurFolder->setObjectName("lblCurFolder");
    edtDirectory = new QLineEdit(pnlTop);
    edtDirectory->setObjectName("edtDirectory");
    edtDirectory->setToolTip("You can enter a full path to navigate there.");
    layout->addWidget(lblCurFolder);
    layout->addWidget(edtDirectory, 1);
    return pnlTop;
}

QWidget* TOrvelSelectDir::CreateButtonPanel() {
    pnlBottom = new QWidget(this);
    pnlBottom->setObjectName("pnlBottom");
    auto* layout = new QHBoxLayout(pnlBottom);
    layout->setContentsMargins(0, 0, 0, 0);
    btnCreate = new QPushButton("Create folder:", pnlBottom);
    btnCreate->setObjectName("btnCreate");
    btnCreate->setToolTip("Create new folder");
    btnCreate->setAutoDefault(false);
    edtNewFolder = new QLineEdit("My new folder", pnlBottom);
    edtNewFolder->setObjectName("edtNewFolder");
    edtNewFolder->setToolTip("Name for the new folder to be created");
    btnNetwork = new QPushButton("Network", pnlBottom);
    btnNetwork->setObjectName("btnNetwork");
    btnNetwork->hide();
    OKButton = new QPushButton("OK", pnlBottom);
    OKButton->setObjectName("OKButton");
    OKButton->setToolTip("Use selected folder");
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", pnlBottom);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setAutoDefault(false);
    layout->addWidget(btnCreate);
    layout->addWidget(edtNewFolder, 1);
    layout->addSpacing(24);
    layout->addWidget(btnNetwork);
    layout->addWidget(OKButton);
    layout->addWidget(CancelButton);
    return pnlBottom;
}

void TOrvelSelectDir::ConnectHandlers() {
    connect(DirList, &TDirectoryTree::Changed, this, Guarded([this] { DirListChange(); }));
    connect(edtDirectory, &QLineEdit::textChanged, this, Guarded([this] { edtDirectoryChange(); }));
    connect(DriveList, qOverload<int>(&QComboBox::currentIndexChanged), this, Guarded([this] { CatchError_21(); }));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, Guarded([this] { BitBtn2Click(); }));
    connect(btnCreate, &QPushButton::clicked, this, Guarded([this] { btnCreateClick(); }));
    connect(OKButton, &QPushButton::clicked, this, Guarded([this] { OKButtonClick(); }));
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnNetwork, &QPushButton::clicked, this, [this] { btnNetworkClick(); });
}

void TOrvelSelectDir::FormCreate() {
    SetAllowCreate(false);
    // The list starts in the current folder; one that has gone falls back to home.
    for (const QString& start : {QDir::currentPath(), QDir::homePath(), QString("/")}) {
        try {
            ShowFolder(start);
            break;
        } catch (const EInOutError&) {
        }
    }
    DirListChange();
    lblCurFolder->setBuddy(edtDirectory);
    OKButton->setFocus();
}

std::string TOrvelSelectDir::Directory() const { return EnsureTrailingDelimiter(S(DirList->Directory())); }

void TOrvelSelectDir::SetDirectory(const std::string& folder) {
    if (folder.empty()) return;
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(Q(folder)));
    try {
        ShowFolder(path);
    } catch (const EInOutError&) {
        ShowFolder(QDir::currentPath());
    }
}

// The volume box follows the folder without switching volumes itself.
void TOrvelSelectDir::ShowFolder(const QString& folder) {
    {
        const QSignalBlocker block(DriveList);
        DriveList->SetDrive(DriveList->VolumeOf(folder));
    }
    DirList->SetDirectory(folder);
}

void TOrvelSelectDir::SetAllowCreate(bool allow) {
    if (allow == FAllowCreate) return;
    FAllowCreate = allow;
    for (QWidget* w : {pnlTop, static_cast<QWidget*>(btnCreate), static_cast<QWidget*>(edtNewFolder)})
        w->setVisible(allow);
}

void TOrvelSelectDir::DirListChange() {
    edtDirectory->setText(Q(EnsureTrailingDelimiter(S(DirList->Directory()))));
    edtDirectory->selectAll();
}

void TOrvelSelectDir::edtDirectoryChange() {
    const std::string typed = S(edtDirectory->text());
    if (FolderExists(typed)) DirList->SetDirectory(Q(typed));
}

void TOrvelSelectDir::CatchError_21() {
    const QSignalBlocker block(DriveList);  // setting the box back must not come here again
    const QString previous = DirList->Drive();
    try {
        DirList->SetDrive(DriveList->Drive());
    } catch (const EInOutError&) {
        ShowError("Error: Could not access drive.");
        DriveList->SetDrive(previous);
    }
}

void TOrvelSelectDir::JumpTo(int csidl) {
    const std::string folder = SpecialFolderPath(csidl);
    if (!folder.empty()) ShowFolder(Q(folder));
}

void TOrvelSelectDir::BitBtn1Click() { JumpTo(CSIDL_DESKTOPDIRECTORY); }
void TOrvelSelectDir::BitBtn2Click() { JumpTo(CSIDL_PERSONAL); }

void TOrvelSelectDir::btnCreateClick() {
    const std::string folder = EnsureTrailingDelimiter(S(DirList->Directory())) + S(edtNewFolder->text());
    if (EnsureFolderWithMessage(folder) < 0) return;
    DirList->Update();
    ShowFolder(Q(folder));
}

void TOrvelSelectDir::OKButtonClick() {
    if (FAllowCreate && Prompt && !FolderExists(Directory()) &&
        !AskYesNo(S(windowTitle()), "The specified directory does not exist. Create it?"))
        return;
    accept();
}

// ---- the routine callers use ----

TDialogRunner SetDialogRunner(TDialogRunner runner) {
    TDialogRunner previous = std::move(DialogRunner());
    DialogRunner() = std::move(runner);
    return previous;
}

namespace {

void CentreOnScreen(QWidget& dialog) {
    const QScreen* screen = QApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    dialog.move(area.left() + area.width() / 2 - dialog.width() / 2,
                area.top() + area.height() / 2 - dialog.height() / 2);
}

}  // namespace

bool BrowseForFolder(const std::string& caption, std::string& path, int options) {
    if (options == 0) options = boAllowCreate | boCreateAfterOK | boPrompt;
    path = EnsureTrailingDelimiter(path);
    TOrvelSelectDir dialog(QApplication::activeWindow());
    if (FolderExists(path)) dialog.SetDirectory(path);
    dialog.setWindowTitle(Q(caption));
    dialog.SetAllowCreate(options & boAllowCreate);
    dialog.Prompt = options & boPrompt;
    CentreOnScreen(dialog);
    const int result = DialogRunner() ? DialogRunner()(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return false;
    path = EnsureTrailingDelimiter(dialog.Directory());
    if (options & boCreateAfterOK) {
        try {
            EnsureFolder(path);
        } catch (...) {
            ShowError("Cannot create folder " + path);
        }
    }
    return true;
}

}  // namespace quorix
