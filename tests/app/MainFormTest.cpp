#include "AppTestSupport.h"
#include "FormMain.h"
#include "OptionTable.h"
#include "OrvelDecSpin.h"
#include "OrvelFileListBox.h"
#include "OrvelIniFile.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QtTestSupport.h"
#include "Resample.h"
#include "TestPictures.h"

#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QMessageBox>
#include <QAbstractItemView>
#include <QLocale>
#include <QGuiApplication>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include <memory>

namespace quorix {

class MainFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;

    QString IniPath() const { return FHome->Path(".config/Quorix Image Resizer/Quorix Image Resizer.ini"); }
    void WriteIni(const QString& text) {
        QDir().mkpath(FHome->Path(".config/Quorix Image Resizer"));
        QFile f(IniPath());
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
    }
    QString Pictures(int count) {
        const QString dir = FHome->Path("pics");
        QDir().mkpath(dir);
        for (int i = 1; i <= count; ++i)
            test::WriteJpeg(S(dir + QString("/p%1.jpg").arg(i)), test::MakeGradient(40, 30));
        return dir + "/";
    }
    std::unique_ptr<TMainForm> Form() { return test::StartedForm(); }

private slots:
    void init() {
        // The start-up update check never reaches the network here.
        test::NoNetwork();
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        SetTickSource({});
    }
    void cleanup() {
        FMessages.reset();
        FHome.reset();
    }

    void FirstRunDefaults() {
        auto form = Form();
        QVERIFY(FirstRun);
        QCOMPARE(form->windowTitle(), QString("Quorix Image Resizer"));
        QCOMPARE(form->PageNumber(), 1);
        QVERIFY(form->radXDecrease->isChecked());
        QCOMPARE(form->spnDecFactor->Value(), 2.0);
        QCOMPARE(form->spnIncFactor->Value(), 1.5);
        QCOMPARE(form->trkQuality->value(), 70);
        QCOMPARE(form->cmbResampleQ->currentText(), QString("Lanczos3"));
        QCOMPARE(form->cmbResampleQ->count(), 7);
        QCOMPARE(form->edtPath->text(), Q(AppFolder()));
        QCOMPARE(form->LogText(), Greeting());
        // The first start checks for updates at once; here the check cannot connect, quietly.
        QVERIFY2(!form->StatusText().contains("update"), qPrintable(form->StatusText()));
        QVERIFY(form->actStart->isEnabled());
        QVERIFY(!form->actAbort->isEnabled());
        QCOMPARE(form->actStart->shortcut(), QKeySequence(Qt::Key_F9));
        QCOMPARE(form->actAbort->shortcut(), QKeySequence(Qt::Key_F11));
        QCOMPARE(form->actRefresh->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(form->actSellAll->shortcut(), QKeySequence(Qt::Key_F4));
        QVERIFY(!form->PageControl->isTabVisible(1));
        QVERIFY(form->chkSkins->isHidden());
        QVERIFY(form->chkPreview->isHidden());
        QCOMPARE(form->btnAbort->toolTip(), QString("Stop the batch resize process"));
        QCOMPARE(form->btnStart->toolTip().count("\r\n"), 3);
        QCOMPARE(form->lblVersion->text(), QString("Version 1.0.0.0"));
        QVERIFY(form->minimumSize().width() >= 775 && form->minimumSize().height() >= 600);
        QVERIFY(QDir(FHome->Path(".config/Quorix Image Resizer")).exists());
        form.reset();  // closing writes the file once
        QVERIFY(QFile::exists(IniPath()));
        SettingsSaved = false;
        TMainForm second;
        QVERIFY(!FirstRun);
    }

    void BatchJobWritesOutputsAndLog() {
        auto form = Form();
        const QString dir = Pictures(3);
        form->edtPath->setText(dir);
        QCOMPARE(form->FileList->count(), 3);
        form->actSellAllExecute();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        for (int i = 1; i <= 3; ++i) QVERIFY(QFile::exists(dir + QString("Output/p%1.jpg").arg(i)));
        const QString log = form->LogText();
        QVERIFY(!log.contains("Please visit our web site"));
        QVERIFY(log.contains(" NEW BATCH JOB STARTED"));
        QCOMPARE(log.count("File resized and saved as: "), 3);
        QVERIFY(log.contains("File resized and saved as: " + dir + "Output/p2.jpg"));
        QVERIFY(form->StatusText().startsWith("Batch job done in "));
        QVERIFY(form->actStart->isEnabled() && !form->actAbort->isEnabled());
        form->actStartExecute();  // the second job appends below the first
        QVERIFY(test::Settle(*form));
        QCOMPARE(form->LogText().count(" NEW BATCH JOB STARTED"), 2);
        QCOMPARE(form->LogText().count("File resized and saved as: "), 6);
    }

    // Closing the window during a batch stops it once the pictures in flight
    // are done, like Abort; then the settings are saved and the window closes.
    void ClosingDuringABatchStopsItFirst() {
        auto form = Form();
        const QString dir = Pictures(4);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->BatchWorkers = 1;
        form->show();
        form->actStartExecute();
        QVERIFY(form->JobRunning());
        form->close();
        QVERIFY(form->isVisible());  // not while a picture is being made
        QVERIFY(test::Settle(*form));
        QVERIFY(form->LogText().contains("Process aborted."));
        QCOMPARE(form->LogText().count("File resized and saved as: "), 1);
        QVERIFY(!QFile::exists(dir + "Output/p2.jpg"));
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(QFile::exists(IniPath()));
    }

    // A name that is not UTF-8 is resized under its own bytes.
    void BatchOfANameThatIsNotUtf8() {
        auto form = Form();
        const QString dir = Pictures(0);
        const std::string latin1 = S(dir) + "caf\xE9.jpg", output = S(dir) + "Output/caf\xE9.jpg";
        test::WriteJpeg(latin1, test::MakeGradient(40, 30));
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(FileExists(output));
        QVERIFY(form->LogText().contains("File resized and saved as: "));
        std::remove(output.c_str());  // Qt's temporary folder cannot name them
        std::remove(latin1.c_str());
    }

    // Every failed save gets its log line, but one job shows one box.
    void FailedSavesShowOneBoxABatch() {
        auto form = Form();
        const QString dir = Pictures(3);
        QFile blocker(dir + "Output");  // a file where the folder should be: nothing can be saved
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QCOMPARE(form->LogText().count("Cannot save file as: "), 3);
        QCOMPARE(FMessages->Messages.size(), size_t(1));
        QCOMPARE(FMessages->Messages[0].second, S("Cannot save file as: " + dir + "Output/p1.jpg"));
        form->actStartExecute();  // the next job shows its own
        QVERIFY(test::Settle(*form));
        QCOMPARE(FMessages->Messages.size(), size_t(2));
    }

    void WarningsOnAnEmptyListOrSelection() {
        auto form = Form();
        form->SetStatusText("Ready...");
        form->edtPath->setText(FHome->Path());
        const QString log = form->LogText();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        form->FileListDblClick();
        QVERIFY(test::Settle(*form));
        Pictures(2);
        form->edtPath->setText(FHome->Path("pics/"));
        form->FileList->DeselectAll();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QCOMPARE(FMessages->Messages.size(), size_t(3));
        QCOMPARE(FMessages->Messages[0].second, std::string("No pictures to process"));
        QCOMPARE(FMessages->Messages[2].second, std::string("Please select the file(s) you want to resize!"));
        QCOMPARE(form->LogText(), log);
        QCOMPARE(form->StatusText(), QString("Ready..."));
    }

    void AbortBetweenPicturesAndTheSound() {
        auto form = Form();
        const QString dir = Pictures(3);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->chkSounds->setChecked(true);
        // Abort pressed while the first picture is processed.
        connect(form->Memo, &QPlainTextEdit::textChanged, form.get(), [&] {
            if (form->LogText().contains("File resized")) form->actAbortExecute();
        });
        const int beeps = BeepCount();
        form->BatchWorkers = 1;
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QCOMPARE(form->LogText().count("File resized and saved as: "), 1);
        QVERIFY(form->LogText().contains("Process aborted."));
        QVERIFY2(form->StatusText().startsWith("Batch job aborted after 1 of "), qPrintable(form->StatusText()));
        QCOMPARE(BeepCount(), beeps + 1);
        form->FileListDblClick();
        QVERIFY(test::Settle(*form));
        QCOMPARE(BeepCount(), beeps + 1);  // no sound after one picture
    }

    void ElapsedTimeAcrossTheTickWrap_data() {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<QString>("status");
        QTest::newRow("wrap") << 0xFFFFF000u << 0x00000A28u << "Batch job done in 6.69 sec";
        QTest::newRow("2.5 s") << 1000u << 3500u << "Batch job done in 2.5 sec";
        QTest::newRow("1234 ms") << 0u << 1234u << "Batch job done in 1.23 sec";
    }
    void ElapsedTimeAcrossTheTickWrap() {
        QFETCH(uint, start);
        QFETCH(uint, end);
        QFETCH(QString, status);
        auto form = Form();
        form->edtPath->setText(Pictures(1));
        form->actSellAllExecute();
        int calls = 0;
        SetTickSource([&] { return calls++ == 0 ? start : end; });
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY2(form->StatusText().startsWith(status + ": 1 written, "), qPrintable(form->StatusText()));
    }

    void SingleJobAndAnUnselectedCurrentItem() {
        auto form = Form();
        const QString dir = Pictures(2);
        form->edtPath->setText(dir);
        form->FileList->SelectItem(1);
        form->FileListDblClick();
        QVERIFY(test::Settle(*form));
        QVERIFY(QFile::exists(dir + "Output/p2.jpg"));
        QVERIFY(form->LogText().contains(" RESIZING SINGLE IMAGE"));
        QVERIFY(form->StatusText().startsWith("Job done in "));
        form->FileList->item(0)->setSelected(true);
        form->FileList->item(1)->setSelected(false);  // current but not selected
        form->FileListDblClick();
        QVERIFY(test::Settle(*form));
        QVERIFY(form->LogText().contains("File does not exist \nJob done in "));
        QVERIFY2(form->StatusText().endsWith(" sec: 0 written, 1 failed"), qPrintable(form->StatusText()));
    }

    void SettingsRoundTrip() {
        {
            auto form = Form();
            form->radSameWidth->setChecked(true);
            form->spnWH->setValue(20000);
            form->trkQuality->setValue(88);
            form->spnDecFactor->SetValue(3.5);
            form->spnIncFactor->SetValue(2.5);
            form->LastUpdateCheck = Now().date().startOfDay();
            form->cmbResampleQ->setCurrentIndex(4);
            form->chkOverwrite->setChecked(false);
            form->spnAutoUpdate->setValue(9);
            form->edtPath->setText(FHome->Path());
            form->SetPageNumber(5);
            form->close();
        }
        TOrvelIniFile ini(S(IniPath()));
        for (const char* key : {"trkQuality", "spnHideHint", "spnOpacity", "spnWidth", "spnHeight", "cmbResampleQ", "spnWH",
                                "spnIncFactor", "spnDecFactor", "chkAddFltName", "chkPreview", "chkTrayIcon", "chkSkins",
                                "chkSounds", "radHintsOff", "radHintsTooltips", "radHintsStatBar", "chkAutoStartUp",
                                "chkProtect", "chkOverwrite", "LastPath"})
            QVERIFY2(ini.ValueExists("Settings", key), key);
        for (const char* key : {"Left", "Top", "Width", "Height", "Maximized", "Last_used_tab"})
            QVERIFY2(ini.ValueExists("WindowState", key), key);
        QVERIFY(ini.ValueExists("Updates", "LastCheck"));
        auto form = Form();
        QVERIFY(form->radSameWidth->isChecked());
        QVERIFY(!form->spnWH->isHidden());
        QCOMPARE(form->spnWH->value(), 20000);
        QCOMPARE(form->trkQuality->value(), 88);
        // Under every locale the test command runs in (comma decimals, two-digit short years).
        QCOMPARE(form->spnDecFactor->Value(), 3.5);
        QCOMPARE(form->spnIncFactor->Value(), 2.5);
        QCOMPARE(form->LastUpdateCheck.date(), Now().date());
        QVERIFY(ini.ReadString("Updates", "LastCheck", "").find(std::to_string(Now().date().year())) != std::string::npos);
        QCOMPARE(form->cmbResampleQ->currentIndex(), 4);
        QVERIFY(!form->chkOverwrite->isChecked());
        QCOMPARE(form->spnAutoUpdate->value(), 9);
        QCOMPARE(form->PageNumber(), 5);
    }

    // A file written with a two-digit year means the year nearest today.
    void TwoDigitYearsAreTheNearest() {
        const QDate today = Now().date();
        QString shortFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
        if (shortFormat.contains("yyyy")) QSKIP("this locale writes four-digit years already");
        WriteIni("[Updates]\nspnAutoUpdate=30\nLastCheck=" + QLocale::system().toString(today, shortFormat) + "\n");
        auto form = Form();
        QCOMPARE(form->LastUpdateCheck.date(), today);
    }

    void StoredValuesAreParsedAndClamped_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("page");
        QTest::newRow("150") << "[Settings]\ntrkQuality=150\n" << 99 << 1;
        QTest::newRow("hex") << "[Settings]\ntrkQuality=0x50\n" << 80 << 1;
        QTest::newRow("text") << "[Settings]\ntrkQuality=abc\n" << 70 << 1;
        QTest::newRow("log page") << "[WindowState]\nLast_used_tab=5\n" << 70 << 5;
        QTest::newRow("no page") << "[WindowState]\nLast_used_tab=9\n" << 70 << -1;
    }
    void StoredValuesAreParsedAndClamped() {
        QFETCH(QString, ini);
        QFETCH(int, quality);
        QFETCH(int, page);
        WriteIni(ini);
        auto form = Form();
        QCOMPARE(form->trkQuality->value(), quality);
        QCOMPARE(form->PageNumber(), page);
    }

    // The output format: a stored index beyond the list means JPEG; the one
    // chosen names the batch's files and is stored.
    void OutputFormatIsStoredAndUsedByTheBatch() {
        WriteIni("[Settings]\ncmbOutFormat=9\n");
        auto form = Form();
        QCOMPARE(form->cmbOutFormat->currentIndex(), 0);
        QCOMPARE(form->cmbOutFormat->count(), 6);
        form->cmbOutFormat->setCurrentIndex(5);
        QCOMPARE(form->cmbOutFormat->currentText(), QString("TIFF"));
        const QString dir = Pictures(1);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(form->LogText().contains("File resized and saved as: " + dir + "Output/p1.tif"));
        QCOMPARE(test::LoadAs24(S(dir + "Output/p1.tif")).Width(), 20);
        form.reset();
        TOrvelIniFile ini(S(IniPath()));
        QCOMPARE(ini.ReadInteger("Settings", "cmbOutFormat", -1), 5);
    }

    // The photo-information settings: their defaults, the location box that
    // only counts with the information kept, and what is stored.
    void MetadataSettings() {
        auto form = Form();
        QVERIFY(form->chkKeepProfile->isChecked() && form->chkKeepMetadata->isChecked() && form->chkRemoveGps->isChecked());
        QVERIFY(!form->chkConvertSrgb->isChecked() && !form->chkKeepDate->isChecked());
        form->chkKeepMetadata->setChecked(false);
        QVERIFY(!form->chkRemoveGps->isEnabled());
        form->chkConvertSrgb->setChecked(true);
        const TResizeOptions o = form->CurrentOptions();
        QVERIFY(!o.KeepMetadata && o.ConvertSrgb && o.KeepProfile && !o.KeepDate);
        form.reset();
        TOrvelIniFile ini(S(IniPath()));
        QVERIFY(!ini.ReadBool("Settings", "chkKeepMetadata", true));
        QVERIFY(ini.ReadBool("Settings", "chkConvertSrgb", false));
        form = Form();
        QVERIFY(!form->chkKeepMetadata->isChecked() && !form->chkRemoveGps->isEnabled() && form->chkConvertSrgb->isChecked());
    }

    // Fit within shows the box's size but no distortion warning, and is stored
    // and read after the fixed size; never enlarge is stored beside it.
    void FitWithinAndNeverEnlarge() {
        auto form = Form();
        form->radFitWithin->setChecked(true);
        QVERIFY(!form->grpOutRatio->isHidden() && form->lblAspect->isHidden());
        form->chkOnlyShrink->setChecked(true);
        QCOMPARE(int(form->CurrentOptions().Mode), int(TResizeMode::FitWithin));
        QVERIFY(form->CurrentOptions().OnlyShrink);
        form.reset();
        WriteIni("[Resize]\nradXDecrease=0\nradSameSize=1\nradFitWithin=1\nchkOnlyShrink=1\n");
        form = Form();
        QVERIFY(form->radFitWithin->isChecked() && !form->radSameSize->isChecked() && form->chkOnlyShrink->isChecked());
    }

    // A file name template that would leave the output folder stops the batch before it starts.
    void NameTemplateLeavingTheFolderIsRefused() {
        auto form = Form();
        const QString dir = Pictures(1);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->edtNameTemplate->setText("../{name}");
        form->actStartExecute();
        QVERIFY(!form->JobRunning());
        QVERIFY(FMessages->Messages.back().second.find("may not contain") != std::string::npos);
        form->edtNameTemplate->setText("{name}-{width}");
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(QFile::exists(dir + "Output/p1-20.jpg"));
    }

    // Files on the command line or dropped: their folder opens and just they
    // are selected; a folder opens as it is; names are bytes throughout.
    void CommandLineAndDroppedPictures() {
        auto form = Form();
        const QString dir = Pictures(3);
        const std::string latin1 = S(dir) + "caf\xE9.jpg";
        test::WriteJpeg(latin1, test::MakeGradient(20, 20));
        form->OpenPaths({S(dir) + "p1.jpg", S(dir) + "p3.jpg"});
        QCOMPARE(form->edtPath->text(), dir);
        auto selected = [&] {
            std::vector<std::string> names;
            for (int i = 0; i < form->FileList->count(); ++i)
                if (form->FileList->Selected(i)) names.push_back(form->FileList->ItemName(i));
            return names;
        };
        QVERIFY(selected() == (std::vector<std::string>{"p1.jpg", "p3.jpg"}));
        form->OpenPaths({FHome->Path().toStdString()});  // a folder
        QCOMPARE(form->edtPath->text(), FHome->Path());
        auto* data = new QMimeData;
        // A Latin-1 name's URL carries its own byte: %E9.
        data->setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(S(dir)).toPercentEncoding("/") + "caf%E9.jpg"),
                       QUrl::fromLocalFile(dir + "p2.jpg")});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &drop);
        QCOMPARE(form->edtPath->text(), dir);
        QVERIFY(selected() == (std::vector<std::string>{"caf\xE9.jpg", "p2.jpg"}));
        // A dropped folder opens as it is.
        data->setUrls({QUrl::fromLocalFile(FHome->Path("pics/2024"))});
        QDir().mkpath(FHome->Path("pics/2024"));
        QDragEnterEvent folderEnter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &folderEnter);
        QDropEvent folderDrop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &folderDrop);
        QCOMPARE(form->edtPath->text(), FHome->Path("pics/2024/"));
        delete data;
        std::remove(latin1.c_str());
    }

    // "Save into" a chosen folder: the batch writes there, "Show result"
    // opens it, and the choice is stored.
    void OutputsIntoAChosenFolder() {
        auto form = Form();
        const QString dir = Pictures(2);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->edtOutFolder->setText(FHome->Path("chosen"));
        form->radOutFolder->setChecked(true);
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(QFile::exists(FHome->Path("chosen/p1.jpg")) && QFile::exists(FHome->Path("chosen/p2.jpg")));
        QVERIFY(!QDir(dir + "Output").exists());
        std::string opened;
        SetShellOpenHandler([&](const std::string& target) { opened = target; return true; });
        form->btnResult->click();
        SetShellOpenHandler({});
        QCOMPARE(Q(opened), FHome->Path("chosen/"));
        form.reset();
        form = Form();
        QVERIFY(form->radOutFolder->isChecked());
        QCOMPARE(form->edtOutFolder->text(), FHome->Path("chosen"));
    }

    // "this folder:" left empty is refused with a message; nothing is written.
    void AnEmptyChosenFolderIsRefused() {
        auto form = Form();
        const QString dir = Pictures(1);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->radOutFolder->setChecked(true);
        form->edtOutFolder->setText("  ");
        const size_t before = FMessages->Messages.size();
        form->actStartExecute();
        QVERIFY(!form->JobRunning());
        QCOMPARE(FMessages->Messages.size(), before + 1);
        QVERIFY(FMessages->Messages.back().second.find("this folder:") != std::string::npos);
        QVERIFY(!QDir(dir + "Output").exists());
    }

    // The layout: the explorer's header gives each control its height, the
    // mode group stays where it is whatever the mode, the preview grows with
    // the window.
    void TheLayoutHoldsItsPlaces() {
        auto form = Form();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (QWidget* w : {static_cast<QWidget*>(form->edtPath), static_cast<QWidget*>(form->btnBrowse),
                           static_cast<QWidget*>(form->FilterCombo), static_cast<QWidget*>(form->chkRecurse)})
            QVERIFY2(w->height() >= w->sizeHint().height(), qPrintable(w->objectName()));
        const QPoint place = form->grpImgSize->mapTo(form.get(), QPoint());
        for (QRadioButton* mode : {form->radFitWithin, form->radSameWidth, form->radSameSize, form->radXIncrease}) {
            mode->setChecked(true);
            QCoreApplication::processEvents();
            QCOMPARE(form->grpImgSize->mapTo(form.get(), QPoint()), place);
        }
        const int preview = form->pnlPreviewAll->height();
        form->resize(form->width(), form->height() + 200);
        QCoreApplication::processEvents();
        QVERIFY2(form->pnlPreviewAll->height() >= preview + 150, qPrintable(QString::number(form->pnlPreviewAll->height())));
    }

    // Include sub-folders: the list names the tree's pictures by their paths,
    // not those of Output, and the batch mirrors the tree under Output.
    void SubFoldersAreListedAndMirrored() {
        auto form = Form();
        const QString dir = Pictures(1);
        QDir().mkpath(dir + "2024/May");
        QDir().mkpath(dir + "Output");
        test::WriteJpeg(S(dir + "2024/May/c.jpg"), test::MakeGradient(20, 20));
        test::WriteJpeg(S(dir + "Output/old.jpg"), test::MakeGradient(20, 20));
        form->edtPath->setText(dir);
        QCOMPARE(form->FileList->count(), 1);
        form->chkRecurse->setChecked(true);
        QVERIFY(test::Settle(*form));  // a tree is listed off the user-interface thread
        QCOMPARE(form->FileList->count(), 2);
        QCOMPARE(form->FileList->ItemName(0), std::string("2024/May/c.jpg"));
        form->actSellAllExecute();
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(QFile::exists(dir + "Output/2024/May/c.jpg") && QFile::exists(dir + "Output/p1.jpg"));
        QVERIFY(!QFile::exists(dir + "Output/Output/old.jpg"));
    }

    // Typing "/" with sub-folders included walks the disk off the
    // user-interface thread: the event loop keeps turning (each gap far below
    // the walk's own time, and under 100 ms), the walk is called off when the
    // path changes, and only the new folder's pictures are listed.
    void TypingARootFolderNeverFreezesTheWindow() {
        auto form = Form();
        const QString dir = Pictures(2);
        form->show();
        form->chkRecurse->setChecked(true);
        QVERIFY(test::Settle(*form));
        form->edtPath->setFocus();
        QElapsedTimer clock;
        clock.start();
        form->edtPath->setText("/");
        QVERIFY(form->FListDelay->isActive());  // typed: nothing is walked yet
        qint64 last = clock.elapsed(), longest = 0;
        qulonglong read = 0;
        connect(form->FileList, &TOrvelFileList::ListingProgress, form.get(), [&](qulonglong n) { read = n; });
        // Until the walk of "/" has read a good many entries (or ended on a small disk).
        for (bool started = false; !started || (form->FileList->Listing() && read < 20000);) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
            started = started || form->FileList->Listing() || !form->Busy();
        }
        const qint64 walking = clock.elapsed();
        form->edtPath->setText(dir);  // called off: the new folder is listed instead
        form->FileList->setFocus();
        form->ListTypedFolder();
        QVERIFY(test::Settle(*form));
        QVERIFY2(longest < 100 && (read < 20000 || longest * 4 < walking),
                 qPrintable(QString("longest gap %1 ms of %2 ms, %3 entries read").arg(longest).arg(walking).arg(read)));
        QCOMPARE(form->FileList->Directory() + "/", dir);
        QCOMPARE(form->FileList->count(), 2);
        QVERIFY(form->StatusText().contains("Current image: ") || form->StatusText().endsWith("2 pictures listed"));
    }

    // Esc ends a long walk; what it found so far is listed, and said so.
    void EscapeStopsReadingATree() {
        auto form = Form();
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->chkRecurse->setChecked(true);
        QVERIFY(test::Settle(*form));
        form->FileList->setFocus();
        form->edtPath->setText("/");  // not typed: walked at once
        QVERIFY(form->FileList->Listing() || !form->Busy());
        if (!form->FileList->Listing()) QSKIP("the disk was read before the test could stop it");
        QTest::keyClick(form->FileList, Qt::Key_Escape);
        QVERIFY(test::Settle(*form));
        QVERIFY2(form->StatusText().startsWith("Reading stopped: ") || form->StatusText().startsWith("Current image: "),
                 qPrintable(form->StatusText()));
        QVERIFY(!form->FileList->Listing());
    }

    void ModesOfTheSettingsFile() {
        WriteIni("[Resize]\nradXDecrease=0\nradXIncrease=1\nradSameSize=1\n[Settings]\nspnWidth=5\ncmbResampleQ=9\n");
        auto form = Form();
        QVERIFY(form->radSameSize->isChecked());
        QVERIFY(!form->radXIncrease->isChecked());
        QCOMPARE(form->spnWidth->value(), 10);
        QCOMPARE(form->cmbResampleQ->currentIndex(), DefaultResampleFilter);  // the filter used: Lanczos3
        form.reset();
        WriteIni("[Resize]\nradXDecrease=0\n");
        form = Form();
        for (QRadioButton* r : {form->radXDecrease, form->radXIncrease, form->radSameSize, form->radSameWidth, form->radSameHeight})
            QVERIFY(!r->isChecked());
        QVERIFY(form->grpOutRatio->isHidden() && form->spnWH->isHidden() && form->lblAspect->isHidden());
    }

    void MaximizedExitKeepsThePlacement() {
        WriteIni("[WindowState]\nLeft=10\nTop=20\nWidth=900\nHeight=700\n");
        auto form = Form();
        form->showMaximized();
        QTRY_VERIFY(form->isMaximized());
        form->close();
        TOrvelIniFile ini(S(IniPath()));
        QVERIFY(ini.ReadBool("WindowState", "Maximized", false));
        QCOMPARE(ini.ReadInteger("WindowState", "Left", 0), 10);
        QCOMPARE(ini.ReadInteger("WindowState", "Width", 0), 900);
    }

    // A damaged size is cut to the screen and not saved back as it was.
    // The advisor runs once at start-up even when the stored quality is the
    // slider's own position, so its number and hint show.
    void TheAdvisorRunsAtStartUp() {
        WriteIni("[Updates]\nspnAutoUpdate=0\n[Settings]\ntrkQuality=70\nLastPath=" + FHome->Path() + "\n");
        auto form = Form();
        QCOMPARE(form->lblQuality2->text(), QString("70"));
        QCOMPARE(form->StatusText(), QString("Please select an image then drag the trackbar."));
    }

    // Enter that a focused control does not take runs the default button's command.
    void EnterStartsTheBatch() {
        auto form = Form();
        const QString dir = Pictures(2);
        form->edtPath->setText(dir);
        form->actSellAllExecute();
        form->show();
        form->chkOverwrite->setFocus();
        QTest::keyClick(form->chkOverwrite, Qt::Key_Return);
        QVERIFY(test::Settle(*form));
        QCOMPARE(form->LogText().count("File resized and saved as: "), 2);
    }

    // A relative folder lists its pictures; a double click on an empty list
    // says there is nothing; another folder never keeps the last one's picture.
    void FoldersAsTypedAndWhatTheyShow() {
        auto form = Form();
        Pictures(2);
        QDir::setCurrent(FHome->Path());
        form->edtPath->setText("pics");
        QCOMPARE(form->FileList->count(), 2);
        QCOMPARE(form->edtPath->text(), FHome->Path("pics/"));
        form->FileList->SelectItem(0);
        form->FileListChangeEx(0, -1);
        QVERIFY(test::Settle(*form));
        QVERIFY(form->MainPreview().Graphic());
        QDir().mkpath(FHome->Path("empty"));
        form->edtPath->setText(FHome->Path("empty/"));
        QCOMPARE(form->FileList->count(), 0);
        QVERIFY(!form->MainPreview().Graphic());
        QVERIFY(form->lblImageSize->text().isEmpty());
        emit form->FileList->DblClick();
        QCOMPARE(FMessages->Messages.back().second, std::string("No pictures to process"));
    }

    // A letter drops the filter list instead of silently picking a filter;
    // lists and dialog titles are not cut off.
    void NothingIsPickedOrCutSilently() {
        auto form = Form();
        form->show();
        form->cmbResampleQ->setFocus();
        QTest::keyClick(form->cmbResampleQ, Qt::Key_B);
        QCOMPARE(form->cmbResampleQ->currentIndex(), 6);
        QTRY_VERIFY(form->cmbResampleQ->view()->isVisible());
        form->cmbResampleQ->hidePopup();
        QAbstractItemView* types = form->FilterCombo->view();
        QVERIFY(types->minimumWidth() >= types->sizeHintForColumn(0));
        QMessageBox box(QMessageBox::Warning, "Warning", "x");
        FitTitle(box);
        QVERIFY(box.sizeHint().width() >= box.fontMetrics().horizontalAdvance("Warning — Quorix Image Resizer"));
    }

    // The size read back is the size saved: three starts, one size.
    void TheWindowKeepsItsSizeOverRestarts() {
        WriteIni("[WindowState]\nLeft=10\nTop=20\nWidth=700\nHeight=620\n");
        for (int start = 0; start < 3; ++start) {
            auto form = Form();
            QCOMPARE(form->size(), QSize(std::max(700, form->minimumWidth()), std::max(620, form->minimumHeight())));
            form->close();
            SettingsSaved = false;
        }
    }

    void AStoredSizeBeyondTheScreenIsCut() {
        WriteIni("[WindowState]\nLeft=10\nTop=20\nWidth=100000\nHeight=100000\n");
        auto form = Form();
        const QSize screen = QGuiApplication::primaryScreen()->virtualSize();
        QVERIFY(form->width() <= std::max(screen.width(), form->minimumWidth()));
        QVERIFY(form->height() <= std::max(screen.height(), form->minimumHeight()));
        form->close();
        QVERIFY(TOrvelIniFile(S(IniPath())).ReadInteger("WindowState", "Width", 0) < 100000);
    }

    void SettingsAreSavedOnce() {
        auto form = Form();
        form->close();
        QVERIFY(SettingsSaved);
        QFile::remove(IniPath());
        form->SaveBeforeExit();
        form->close();
        QVERIFY(!QFile::exists(IniPath()));
    }

    void FailedSaveKeepsTheWindowOpenOnce() {
        auto form = Form();
        form->show();
        QDir().mkpath(IniPath() + "/blocked");  // a folder where the file belongs
        form->close();
        QVERIFY(form->isVisible());
        QCOMPARE(FMessages->Messages.back().second, "Unable to write to " + S(IniPath()));
        form->close();
        QVERIFY(!form->isVisible());
    }

    // Every row of the option table that the pages show: options shown in
    // the controls read back as they were, in two different sets of values.
    void EveryOptionRowShowsAndReadsBack() {
        auto form = Form();
        TResizeOptions changed = ParseOutputKeys(
            "mode=fill,factor=3.5,size=1024x640,side=777,only-shrink=yes,filter=Mitchell,quality=88,"
            "max-size=250,format=png,png-compression=fast,name={name}-{width},counter-start=41,add-filter-name=yes,fast=yes,keep-metadata=no,"
            "keep-profile=no,remove-gps=no,srgb=yes,keep-date=yes,overwrite=no,protect=no,focus=attention,linear=yes,"
            "sharpen=0.7,1.5,depth=16", TResizeOptions());
        changed.IncFactor = 7.5;
        for (const TResizeOptions& options : {changed, TResizeOptions()}) {
            form->ShowOptions(options);
            const TResizeOptions read = form->CurrentOptions();
            for (const TOptionRow& row : OptionTable()) {
                if (row.Derived()) continue;
                QVERIFY2(!row.Controls.empty(), row.Key.c_str());
                for (const std::string& control : row.Controls) QVERIFY2(form->OptionControl(control), control.c_str());
                QCOMPARE(row.Get(read), row.Get(options));
            }
            QCOMPARE(read.IncFactor, options.IncFactor);
            QCOMPARE(read.DecFactor, options.DecFactor);
        }
        QCOMPARE(form->chkKeepProfile->text(), QString("Keep colour profile"));  // captions from the table
    }

    void OptionsPanel() {
        auto form = Form();
        form->show();
        form->radSameSize->setChecked(true);
        QVERIFY(form->grpOutRatio->isVisible() && form->lblAspect->isVisible() && !form->spnWH->isVisible());
        form->radSameHeight->setChecked(true);
        QVERIFY(!form->grpOutRatio->isVisible() && !form->lblAspect->isVisible() && form->spnWH->isVisible());
        const int heightRow = form->spnWH->y();
        form->radSameWidth->setChecked(true);
        QApplication::processEvents();
        QVERIFY(form->spnWH->y() < heightRow || form->spnWH->geometry().center().y() < form->radSameHeight->geometry().top());
        form->radXIncrease->setChecked(true);
        QVERIFY(!form->spnWH->isVisible());
        const struct { int width; int h169; int h43; } sizes[] = {{10, 10, 10}, {56, 31, 42}, {22, 12, 17}, {24, 13, 18},
                                                                  {14, 10, 11}, {1920, 1080, 1440}, {1024, 576, 768}};
        for (const auto& s : sizes) {
            form->spnWidth->setValue(s.width);
            form->btn169Click();
            QCOMPARE(form->spnHeight->value(), s.h169);
            form->btn43Click();
            QCOMPARE(form->spnHeight->value(), s.h43);
        }
        for (const char* text : {"0.5", "abc"}) {
            form->spnDecFactor->EdtBox()->setText(text);
            form->spnDecFactorClick();
            QCOMPARE(form->spnDecFactor->EdtBox()->text(), QString("1"));
        }
        form->spnDecFactor->EdtBox()->setText("3");
        form->spnDecFactorClick();
        QCOMPARE(form->spnDecFactor->EdtBox()->text(), QString("3"));
        std::string opened;
        SetShellOpenHandler([&](const std::string& target) { opened = target; return true; });
        form->lblAspectClick();
        SetShellOpenHandler({});
        QVERIFY(opened.rfind("https://quorix.example/", 0) == 0);
    }

    void AdvisorPicturesFollowTheWindow() {
        auto form = Form();
        const int frame = form->Panel2->height() - form->Panel2->contentsRect().height();
        form->Panel2->setFixedHeight(301 + frame);
        form->FormResize();
        QCOMPARE(form->imgQualInput->height(), 148);
        QCOMPARE(form->imgCompressed->height(), 148);
        QCOMPARE(form->imgCompressed->y(), form->imgQualInput->y() + 148 + 2);
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::MainFormTest)
#include "MainFormTest.moc"
