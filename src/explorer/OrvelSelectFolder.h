// The program's own folder dialog: a volume box and a folder tree on the left,
// the files of the shown folder on the right, quick jumps, a typed path and
// folder creation.
#pragma once

#include "QuorixError.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QTreeView>

#include <functional>
#include <string>

class QFileSystemModel;

namespace quorix {

class TOrvelFileList;

// A folder or volume that cannot be entered.
class EInOutError : public EQuorixError {
public:
    using EQuorixError::EQuorixError;
};

// The mounted volumes, which stand in for drives.
class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);
    QString Drive() const;  // the root of the shown volume
    void SetDrive(const QString& root);
    void SetVolumes(const QStringList& roots);
    // The volume that holds a folder: the longest root that begins it.
    QString VolumeOf(const QString& folder) const;
};

// The folder tree of one volume; its folder is the process's current folder.
class TDirectoryTree : public QTreeView {
    Q_OBJECT
public:
    explicit TDirectoryTree(QWidget* parent = nullptr);

    QString Directory() const { return FDirectory; }
    void SetDirectory(const QString& folder);  // EInOutError when it cannot be entered
    QString Drive() const { return FDrive; }
    void SetDrive(const QString& root);  // that volume's last folder; EInOutError when unreadable
    void Update();
    TOrvelFileList* FileList = nullptr;
    std::function<QString(const QString&)> VolumeOf;  // the volume root of a folder

signals:
    void Changed();

private:
    void ShowVolume(const QString& root);
    QFileSystemModel* FModel;
    QString FDirectory;
    QString FDrive;
    QMap<QString, QString> FLastFolders;
};

class TOrvelSelectDir : public QDialog {
    Q_OBJECT
public:
    explicit TOrvelSelectDir(QWidget* parent = nullptr);

    std::string Directory() const;
    void SetDirectory(const std::string& folder);
    bool AllowCreate() const { return FAllowCreate; }
    void SetAllowCreate(bool allow);
    bool Prompt = false;

    void DirListChange();
    void edtDirectoryChange();
    void CatchError_21();
    void BitBtn1Click();
    void BitBtn2Click();
    void btnCreateClick();
    void OKButtonClick();
    void btnNetworkClick() {}  // no network-connection dialog on this platform

    TDriveComboBox* DriveList;
    QPushButton* BitBtn1;
    QLabel* Label1;
    QPushButton* BitBtn2;
    TDirectoryTree* DirList;
    TOrvelFileList* FileList;
    QWidget* pnlTop;
    QLabel* lblCurFolder;
    QLineEdit* edtDirectory;
    QWidget* pnlBottom;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QPushButton* btnNetwork;
    QPushButton* btnCreate;
    QLineEdit* edtNewFolder;

private:
    void FormCreate();
    QWidget* CreateTopRow();
    QWidget* CreatePathPanel();
    QWidget* CreateButtonPanel();
    void ConnectHandlers();
    void JumpTo(int csidl);
    void ShowFolder(const QString& folder);

    bool FAllowCreate = true;
};

enum TBrowseOption { boAllowCreate = 1, boCreateAfterOK = 2, boPrompt = 4 };

// Shows the dialog modally; an empty option set means all three. The path
// gets its trailing delimiter even when the dialog is cancelled.
bool BrowseForFolder(const std::string& caption, std::string& path, int options);

// How the dialog is shown; tests replace it to act on the dialog and answer.
using TDialogRunner = std::function<int(TOrvelSelectDir&)>;
TDialogRunner SetDialogRunner(TDialogRunner runner);  // empty: modal exec

}  // namespace quorix
