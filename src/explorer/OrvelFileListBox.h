// The explorer's list of pictures: the files of one folder matching wildcard
// masks, several selectable at once, with an event for every change of the
// current item that carries the new and the previous index.
#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace quorix {

class TOrvelFileList : public QListWidget {
    Q_OBJECT
public:
    explicit TOrvelFileList(QWidget* parent = nullptr);
    ~TOrvelFileList() override;  // a walk still running ends at once

    QString Directory() const { return FDirectory; }
    void SetDirectory(const QString& folder);  // reads the folder when it differs
    QString Mask() const { return FMask; }
    void SetMask(const QString& mask);  // "*.jpg;*.png", reads the folder again
    void Update();                      // reads the folder again

    // The full path of the current item when it is selected, else empty, as
    // shown (bytes that are not UTF-8 show as U+FFFD).
    QString FileName() const;
    // The same path as the file system's bytes: what to open.
    std::string FilePath() const;
    // The name bytes of item row, and the full path of it.
    std::string ItemName(int row) const;
    std::string ItemPath(int row) const;
    // Makes the item whose name bytes are name current; false when there is none.
    bool SetCurrentName(const std::string& name);
    void SetFileName(const QString& path) { ApplyFilePath(path); }
    void ApplyFilePath(const QString& path);

    int ItemIndex() const { return currentRow(); }
    int LastReported() const { return FLastReported; }
    bool Selected(int index) const;
    int SelCount() const;

    void SelectItem(int itemPos);
    void SelectItem(const QString& itemName);
    void SelectFirstItem();
    void SelectItemClick(int itemPos);
    void SimulateClickCurItem();
    QString SelectedItem() const;  // the current item's text, selected or not
    void InvertSelection();
    void DeselectAll();
    void SelectAllItems();
    bool MoveSelectionUp();
    bool MoveSelectionDwn();
    void DeleteCurrentFile();

    // The small file-type pictures before the names.
    bool ShowGlyphs = true;
    // The sub-folders' pictures too, named by their paths relative to the folder.
    bool Recursive = false;
    // A folder never read, wherever it lies in the tree (the output folder
    // the pictures are written into), asked at each reading; besides "Output".
    std::function<std::string()> SkipFolder;
    bool DelDeletesFile = true;
    bool DelShowConfirm = true;
    std::function<void(TOrvelFileList*, const QString& fileName)> OnBeforeDelete;
    std::function<void(TOrvelFileList*, const QString& itemName, int itemPos)> OnDeleteItem;

    // How often a reading showed the busy cursor (a long folder does).
    int BusyReadings() const { return FBusyReadings; }

    // A tree (Recursive) is listed off the user-interface thread: the list
    // is empty until the walk ends, ListingProgress tells how far it is, and
    // a new reading calls off the walk still running.
    bool Listing() const { return FListingNow; }
    // Ends the walk running; the pictures it found so far are listed.
    void StopListing();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

signals:
    // A double click anywhere in the list, on an item or not.
    void DblClick();
    void ChangeEx(int currentItem, int previousItem);
    void Changed();
    // While a tree is listed, a few times a second: the entries read so far.
    void ListingProgress(qulonglong entriesRead);
    // The tree's listing is in the list; stopped: by StopListing.
    void ListingDone(bool stopped);

protected:
    virtual void Change();
    virtual void ReadFileNames();
    void BaseReadFileNames();
    // Every change of the current item or the selection by mouse or keyboard.
    void Click();
    void keyReleaseEvent(QKeyEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetCurrentOnly(int row);
    void FillItems(std::vector<std::string> names);
    void StartListing(const std::string& folder, const std::string& skip);
    void FinishListing(std::vector<std::string> names, bool stopped);
    void CallOffListing();
    void RemoveSelectedItems();

    QString FDirectory;
    QString FMask = "*.*";
    int FLastReported = -1;
    int FBusyReadings = 0;
    class TLatestWork* FListing = nullptr;
    QTimer* FProgress = nullptr;
    std::shared_ptr<std::atomic<bool>> FStop;  // the running walk's
    std::shared_ptr<std::atomic<unsigned long long>> FSeen;
    bool FListingNow = false;
    bool FStopAsked = false;
    QString FRemembered;  // the current item before the tree was listed again
};

// The file-type filter above the list: each entry sets the list's mask.
class TFilterComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TFilterComboBox(QWidget* parent = nullptr);
    // "description|mask|description|mask..."
    void SetFilter(const QString& filter);
    QString Mask() const;
    void SetFileList(TOrvelFileList* list);

private:
    QStringList FMasks;
    TOrvelFileList* FFileList = nullptr;
};

}  // namespace quorix
