#include "OrvelFileListBox.h"

#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QuorixError.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>

#include <dirent.h>
#include "FolderTree.h"
#include "LatestWork.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

namespace quorix {

namespace {

bool IsExecutable(const QString& name) {
    for (const char* ext : {".exe", ".com", ".bat", ".pif"})
        if (name.endsWith(ext, Qt::CaseInsensitive)) return true;
    return false;
}

}  // namespace

TOrvelFileList::TOrvelFileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setIconSize(QSize(16, 16));
    setSortingEnabled(false);
    setToolTip("Press the \"Delete\" key to delete the selected file from disk.");
    setUniformItemSizes(true);  // long lists are laid out without measuring every name
    FListing = new TLatestWork(this);
    FProgress = new QTimer(this);
    FProgress->setInterval(200);
    connect(FProgress, &QTimer::timeout, this, [this] {
        if (FSeen) emit ListingProgress(*FSeen);
    });
}

void TOrvelFileList::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit DblClick();
}

void TOrvelFileList::SetDirectory(const QString& folder) {
    if (folder == FDirectory) return;
    FDirectory = folder;
    ReadFileNames();
}

void TOrvelFileList::SetMask(const QString& mask) {
    FMask = mask;
    ReadFileNames();
}

void TOrvelFileList::Update() { ReadFileNames(); }

bool TOrvelFileList::Selected(int index) const {
    return index >= 0 && index < count() && item(index)->isSelected();
}

int TOrvelFileList::SelCount() const { return static_cast<int>(selectedItems().size()); }

QString TOrvelFileList::FileName() const {
    int row = currentRow();
    if (row < 0 || !item(row)->isSelected()) return "";
    QString folder = FDirectory;
    if (!folder.endsWith('/')) folder += '/';
    return folder + item(row)->text();
}

std::string TOrvelFileList::FilePath() const {
    const int row = currentRow();
    return row < 0 || !item(row)->isSelected() ? std::string() : ItemPath(row);
}

std::string TOrvelFileList::ItemName(int row) const {
    const QVariant bytes = item(row)->data(Qt::UserRole);
    return bytes.isValid() ? bytes.toByteArray().toStdString() : S(item(row)->text());
}

std::string TOrvelFileList::ItemPath(int row) const {
    return EnsureTrailingDelimiter(S(FDirectory.isEmpty() ? QDir::currentPath() : FDirectory)) + ItemName(row);
}

bool TOrvelFileList::SetCurrentName(const std::string& name) {
    for (int i = 0; i < count(); ++i)
        if (ItemName(i) == name) {
            SetCurrentOnly(i);
            Change();
            return true;
        }
    return false;
}

namespace {

// The regular files of folder whose names match one of the masks, as the
// file system's bytes: a name need not be UTF-8 to be listed and opened.
// With sub-folders the names are paths relative to the folder; the output
// folder "Output", and skip wherever it lies, are never entered. goOn, when
// given, is asked as the walk goes and may end it.
std::vector<std::string> MatchingFiles(const std::string& folder, const QString& mask, bool recursive,
                                       const std::string& skip, std::function<bool(unsigned long long)> goOn = {}) {
    std::vector<std::string> masks;
    for (const QString& m : mask.split(';', Qt::SkipEmptyParts)) masks.push_back(S(m.trimmed()));
    TFolderWalk walk;
    walk.Recursive = recursive;
    walk.SkipNames = {"Output"};
    walk.GoOn = std::move(goOn);
    std::pair<unsigned long long, unsigned long long> identity;
    if (!skip.empty() && FolderIdentity(skip, identity)) walk.SkipFolders.push_back(identity);
    return FilesUnder(folder, walk, [&](const std::string& name) {
        for (const std::string& m : masks)
            if (::fnmatch(m.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
        return false;
    });
}

}  // namespace

void TOrvelFileList::BaseReadFileNames() {
    CallOffListing();  // a walk still running lists a folder no longer wanted
    QDir dir(FDirectory.isEmpty() ? QDir::currentPath() : FDirectory);
    if (dir.exists()) QDir::setCurrent(dir.absolutePath());  // item texts resolve against it
    const std::string skip = SkipFolder ? SkipFolder() : "";
    if (dir.exists() && Recursive) return StartListing(S(dir.absolutePath()), skip);
    FillItems(dir.exists() ? MatchingFiles(S(dir.absolutePath()), FMask, false, skip) : std::vector<std::string>());
}

// The names sorted as shown, the first one current and none selected.
void TOrvelFileList::FillItems(std::vector<std::string> files) {
    std::vector<std::pair<QString, std::string>> names;  // shown, bytes
    names.reserve(files.size());
    for (std::string& name : files)
        names.emplace_back(QString::fromUtf8(name.data(), static_cast<int>(name.size())), std::move(name));
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        const int order = QString::compare(a.first, b.first, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    const QIcon picture = style()->standardIcon(QStyle::SP_FileIcon);
    const QIcon program = style()->standardIcon(QStyle::SP_DesktopIcon);
    const QSignalBlocker block(this);
    clear();
    bool busy = false;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i == 100 && !busy) {  // a long folder: the wait shows
            ShowBusyCursor();
            busy = true;
            ++FBusyReadings;
        }
        auto* item = new QListWidgetItem(names[i].first);
        item->setData(Qt::UserRole, QByteArray::fromStdString(names[i].second));
        if (ShowGlyphs) item->setIcon(IsExecutable(names[i].first) ? program : picture);
        addItem(item);
    }
    if (count() > 0) SetCurrentOnly(0);
    if (busy) QApplication::restoreOverrideCursor();
    Change();
    // Nothing of the new list has been shown: a first click on its current
    // item (the row the old list's shown item had, say) is news.
    FLastReported = -1;
}

void TOrvelFileList::StartListing(const std::string& folder, const std::string& skip) {
    FillItems({});  // never the old folder's names while the new one is read
    auto stop = std::make_shared<std::atomic<bool>>(false);
    auto seen = std::make_shared<std::atomic<unsigned long long>>(0);
    FStop = stop;
    FSeen = seen;
    FListingNow = true;
    FStopAsked = false;
    FProgress->start();
    emit ListingProgress(0);
    const QString mask = FMask;
    FListing->Post([this, folder, mask, skip, stop, seen]() -> TLatestWork::TApply {
        std::vector<std::string> names = MatchingFiles(folder, mask, true, skip, [&](unsigned long long n) {
            *seen = n;
            return !*stop;
        });
        const bool stopped = *stop;
        return [this, names = std::move(names), stopped]() mutable { FinishListing(std::move(names), stopped); };
    });
}

void TOrvelFileList::FinishListing(std::vector<std::string> names, bool stopped) {
    FListingNow = false;
    FProgress->stop();
    FillItems(std::move(names));
    SelectItem(FRemembered);
    emit ListingDone(stopped);
}

// The walk running ends and what it finds is not shown: another reading follows.
void TOrvelFileList::CallOffListing() {
    if (!FListingNow) return;
    *FStop = true;
    FListing->Cancel();
    FListingNow = false;
    FProgress->stop();
}

TOrvelFileList::~TOrvelFileList() {
    if (FStop) *FStop = true;
}

void TOrvelFileList::StopListing() {
    if (FListingNow && FStop) *FStop = true;  // its result comes back and is listed
}

void TOrvelFileList::ReadFileNames() {
    FRemembered = SelectedItem();
    BaseReadFileNames();
    if (!FListingNow) SelectItem(FRemembered);
}

void TOrvelFileList::Change() {
    if (count() > 0 && currentRow() != FLastReported) emit ChangeEx(currentRow(), FLastReported);
    FLastReported = currentRow();
    emit Changed();
}

void TOrvelFileList::Click() {
    if (currentRow() != FLastReported) Change();
}

void TOrvelFileList::SetCurrentOnly(int row) {
    const QSignalBlocker block(this);
    selectionModel()->setCurrentIndex(model()->index(row, 0), QItemSelectionModel::NoUpdate);
}

void TOrvelFileList::ApplyFilePath(const QString& path) {
    if (path.isEmpty() || QString::compare(path, FileName(), Qt::CaseInsensitive) == 0) return;
    const int slash = path.lastIndexOf('/');
    QString folder = slash < 0 ? QDir::currentPath() : path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    if (folder.size() > 1 && folder.endsWith('/')) folder.chop(1);
    QString shown = FDirectory;
    if (shown.size() > 1 && shown.endsWith('/')) shown.chop(1);
    if (folder != shown) {
        FDirectory = folder;
        ReadFileNames();
    }
    if (name.isEmpty()) return;
    if (name.contains('*') || name.contains('?')) {
        SetMask(name);
        return;
    }
    auto indexOf = [&] {
        for (int i = 0; i < count(); ++i)
            if (QString::compare(item(i)->text(), name, Qt::CaseInsensitive) == 0) return i;
        return -1;
    };
    int index = indexOf();
    if (index < 0) {
        if (!FileExists(S(folder + "/" + name))) throw EQuorixError("Invalid file name - " + S(path));
        SetMask(name);
        index = indexOf();
        if (index < 0) throw EQuorixError("Invalid file name - " + S(path));
    }
    SetCurrentOnly(index);
    Change();
}

void TOrvelFileList::SelectItem(int itemPos) {
    QUORIX_ASSERT(itemPos >= 0 && itemPos < count());
    {
        const QSignalBlocker block(this);
        clearSelection();
        selectionModel()->setCurrentIndex(model()->index(itemPos, 0), QItemSelectionModel::Select);
    }
    emit Changed();
}

void TOrvelFileList::SelectItem(const QString& itemName) {
    if (count() == 0 || QString::compare(SelectedItem(), itemName, Qt::CaseInsensitive) == 0) return;
    for (int i = 0; i < count(); ++i)
        if (QString::compare(item(i)->text(), itemName, Qt::CaseInsensitive) == 0) {
            SelectItem(i);
            return;
        }
}

void TOrvelFileList::SelectFirstItem() {
    if (count() > 0) SelectItem(0);
}

void TOrvelFileList::SelectItemClick(int itemPos) {
    if (count() == 0) return;
    SelectItem(itemPos);
    Click();
}

void TOrvelFileList::SimulateClickCurItem() {
    if (currentRow() >= 0) Click();
}

QString TOrvelFileList::SelectedItem() const {
    return currentRow() >= 0 ? item(currentRow())->text() : QString();
}

void TOrvelFileList::InvertSelection() {
    const QSignalBlocker block(this);
    for (int i = 0; i < count(); ++i) item(i)->setSelected(!item(i)->isSelected());
}

void TOrvelFileList::DeselectAll() {
    const QSignalBlocker block(this);
    clearSelection();
}

void TOrvelFileList::SelectAllItems() {
    const QSignalBlocker block(this);
    for (int i = 0; i < count(); ++i) item(i)->setSelected(true);
}

bool TOrvelFileList::MoveSelectionUp() {
    if (count() == 0 || currentRow() <= 0) return false;
    const int previous = currentRow();
    SelectItem(previous - 1);
    emit ChangeEx(currentRow(), previous);
    return true;
}

bool TOrvelFileList::MoveSelectionDwn() {
    if (count() == 0 || currentRow() >= count() - 1) return false;
    const int previous = currentRow();
    SelectItem(previous + 1);
    emit ChangeEx(currentRow(), previous);
    return true;
}

void TOrvelFileList::DeleteCurrentFile() {
    const std::string path = FilePath();
    if (!CheckFileExists(path)) return;
    if (OnBeforeDelete) OnBeforeDelete(this, Q(path));
    if (RecycleFile(true, DelShowConfirm, path) != 0)
        ShowWarning("Cannot delete file.\r\n" + path);
    else
        Update();
}

void TOrvelFileList::RemoveSelectedItems() {
    int index = currentRow();
    if (OnDeleteItem && index >= 0) OnDeleteItem(this, item(index)->text(), index);
    {
        const QSignalBlocker block(this);
        for (int i = count() - 1; i >= 0; --i)
            if (item(i)->isSelected()) delete takeItem(i);
    }
    if (index > count() - 1) index = count() - 1;
    if (index >= 0) SelectItem(index);
}

void TOrvelFileList::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat() && count() > 0) {
        if (DelDeletesFile)
            DeleteCurrentFile();
        else
            RemoveSelectedItems();
    }
    QListWidget::keyReleaseEvent(event);
}

void TOrvelFileList::keyPressEvent(QKeyEvent* event) {
    QListWidget::keyPressEvent(event);
    Click();
}

void TOrvelFileList::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    Click();
}

void TOrvelFileList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    Click();
}

// ---------------------------------------------------------------- TFilterComboBox

TFilterComboBox::TFilterComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (FFileList) FFileList->SetMask(Mask());
    });
}

void TFilterComboBox::SetFilter(const QString& filter) {
    const QSignalBlocker block(this);
    clear();
    FMasks.clear();
    const QStringList parts = filter.split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        addItem(parts[i]);
        FMasks.push_back(parts[i + 1]);
    }
    setCurrentIndex(FMasks.isEmpty() ? -1 : 0);
    // The list drops as wide as its longest entry, not the box's width.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + 4);
}

QString TFilterComboBox::Mask() const {
    int i = currentIndex();
    return i >= 0 && i < FMasks.size() ? FMasks[i] : QString("*.*");
}

void TFilterComboBox::SetFileList(TOrvelFileList* list) {
    FFileList = list;
    if (FFileList) FFileList->SetMask(Mask());
}

}  // namespace quorix
