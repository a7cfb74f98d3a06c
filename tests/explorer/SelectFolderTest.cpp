#include "OrvelFileListBox.h"
#include "OrvelSelectFolder.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QtTestSupport.h"

#include <QFile>

namespace quorix {

class SelectFolderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;

    QString Photos() const { return FHome->Path("Photos"); }

    // Shows the dialog through BrowseForFolder; the step acts on it and answers.
    static bool Browse(std::string& path, int options, std::function<int(TOrvelSelectDir&)> step) {
        SetDialogRunner(std::move(step));
        const bool result = BrowseForFolder("Browse for images", path, options);
        SetDialogRunner({});
        return result;
    }
    static int PressOK(TOrvelSelectDir& dialog) {
        dialog.OKButton->click();
        return dialog.result();
    }

private slots:
    void init() {
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        QDir().mkpath(Photos());
        QFile(Photos() + "/a.jpg").open(QIODevice::WriteOnly);
    }
    void cleanup() {
        FMessages.reset();
        FHome.reset();
    }

    void PathGetsItsDelimiterOnOkAndCancel_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }
    void PathGetsItsDelimiterOnOkAndCancel() {
        QFETCH(bool, ok);
        std::string path = S(Photos());
        QString shown;
        const bool result = Browse(path, boAllowCreate, [&](TOrvelSelectDir& dialog) {
            shown = Q(dialog.Directory());
            if (ok) return PressOK(dialog);
            dialog.CancelButton->click();
            return dialog.result();
        });
        QCOMPARE(result, ok);
        QCOMPARE(Q(path), Photos() + "/");
        QCOMPARE(shown, Photos() + "/");
        QVERIFY(FMessages->Questions.empty());  // the Browse button's options ask nothing
    }

    void MissingStartFolderOpensAtTheCurrentFolder() {
        const QString current = FHome->Path("current");
        QDir().mkpath(current);
        QDir::setCurrent(current);
        std::string path = S(FHome->Path("missing"));
        QString shown;
        Browse(path, boAllowCreate, [&](TOrvelSelectDir& dialog) {
            shown = Q(dialog.Directory());
            return int(QDialog::Rejected);
        });
        QCOMPARE(shown, current + "/");
    }

    void DialogShowsItsFolder() {
        TOrvelSelectDir dialog;
        dialog.SetDirectory(S(Photos()));
        QCOMPARE(dialog.edtDirectory->text(), Photos() + "/");
        QCOMPARE(dialog.edtDirectory->selectedText(), dialog.edtDirectory->text());
        QCOMPARE(dialog.FileList->count(), 1);
        QCOMPARE(dialog.FileList->item(0)->text(), QString("a.jpg"));
        QCOMPARE(QDir::currentPath(), Photos());
        QVERIFY(dialog.btnNetwork->isHidden());
        QVERIFY(dialog.pnlTop->isHidden() && dialog.btnCreate->isHidden() && dialog.edtNewFolder->isHidden());
        QCOMPARE(dialog.lblCurFolder->buddy(), static_cast<QWidget*>(dialog.edtDirectory));
        QVERIFY(dialog.OKButton->isDefault());
    }

    void PastingAPathMovesTheTree() {
        TOrvelSelectDir dialog;
        dialog.SetDirectory(S(FHome->Path("")));
        dialog.edtDirectory->setText(Photos());
        QCOMPARE(Q(dialog.Directory()), Photos() + "/");
        QCOMPARE(dialog.edtDirectory->text(), Photos() + "/");
        QCOMPARE(dialog.edtDirectory->selectedText(), Photos() + "/");
        dialog.edtDirectory->setText(FHome->Path("nowhere"));
        QCOMPARE(Q(dialog.Directory()), Photos() + "/");
        QCOMPARE(dialog.edtDirectory->text(), FHome->Path("nowhere"));
    }

    void CreateFolderTwiceNests() {
        TOrvelSelectDir dialog;
        dialog.SetAllowCreate(true);
        dialog.SetDirectory(S(Photos()));
        dialog.btnCreate->click();
        dialog.btnCreate->click();
        const QString nested = Photos() + "/My new folder/My new folder/";
        QVERIFY(QDir(nested).exists());
        QCOMPARE(Q(dialog.Directory()), nested);
        QVERIFY(FMessages->Messages.empty());
    }

    void PromptForAMissingFolder_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("Yes closes") << true;
        QTest::newRow("No stays") << false;
    }
    void PromptForAMissingFolder() {
        QFETCH(bool, answer);
        const QString gone = FHome->Path("gone");
        QDir().mkpath(gone);
        std::string path = S(gone);
        FMessages->Answer = answer;
        int closedWith = -1;
        Browse(path, boAllowCreate | boPrompt, [&](TOrvelSelectDir& dialog) {
            QDir(gone).removeRecursively();  // the folder goes while the dialog is open
            dialog.OKButton->click();
            closedWith = dialog.result();
            return closedWith;
        });
        QCOMPARE(FMessages->Questions, std::vector<std::string>{"The specified directory does not exist. Create it?"});
        QCOMPARE(closedWith, answer ? int(QDialog::Accepted) : int(QDialog::Rejected));
    }

    void CreateAfterOk() {
        const QString gone = FHome->Path("again");
        QDir().mkpath(gone);
        std::string path = S(gone);
        const bool ok = Browse(path, 0, [&](TOrvelSelectDir& dialog) {
            QDir(gone).removeRecursively();
            FMessages->Answer = true;
            return PressOK(dialog);
        });
        QVERIFY(ok);
        QVERIFY(QDir(gone).exists());  // the empty set means all three options
    }

    void UnreadableVolumeGoesBack() {
        TOrvelSelectDir dialog;
        dialog.DriveList->SetVolumes({"/", FHome->Path("novolume")});
        dialog.SetDirectory(S(Photos()));
        dialog.DriveList->setCurrentIndex(1);
        QCOMPARE(FMessages->Messages.size(), size_t(1));
        QCOMPARE(FMessages->Messages[0].second, std::string("Error: Could not access drive."));
        QCOMPARE(dialog.DriveList->Drive(), QString("/"));
        QCOMPARE(Q(dialog.Directory()), Photos() + "/");
    }

    void VolumesRememberTheirFolder() {
        const QString volume = FHome->Path("volume");
        QDir().mkpath(volume + "/deep");
        TOrvelSelectDir dialog;
        dialog.DriveList->SetVolumes({"/", volume});
        dialog.SetDirectory(S(volume + "/deep"));
        QCOMPARE(dialog.DriveList->Drive(), volume);
        dialog.DriveList->setCurrentIndex(0);
        dialog.SetDirectory(S(Photos()));
        dialog.DriveList->setCurrentIndex(1);
        QCOMPARE(Q(dialog.Directory()), volume + "/deep/");
    }

    void QuickJumps() {
        QDir().mkpath(FHome->Path("Desktop"));
        QDir().mkpath(FHome->Path("Documents"));
        TOrvelSelectDir dialog;
        dialog.BitBtn1->click();
        QCOMPARE(Q(dialog.Directory()), FHome->Path("Desktop/"));
        dialog.BitBtn2->click();
        QCOMPARE(Q(dialog.Directory()), FHome->Path("Documents/"));
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::SelectFolderTest)
#include "SelectFolderTest.moc"
