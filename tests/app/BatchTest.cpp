// The window's batches on several workers: the same result as one at a time,
// options taken as each picture starts, a window that keeps answering.
#include "AppTestSupport.h"
#include "Cancel.h"
#include "FormMain.h"
#include "Jpeg.h"
#include "LatestWork.h"
#include "OrvelDecSpin.h"
#include "OrvelFileListBox.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "Png.h"
#include "ResizeImage.h"
#include "QtTestSupport.h"
#include "TestPictures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <map>
#include <memory>

namespace quorix {

class BatchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;

    QString Pics() const { return FHome->Path("pics/"); }

    // Pictures of several sizes and formats, a damaged one, and two sources
    // that write the same output.
    void MakePictures() {
        QDir().mkpath(Pics());
        for (int i = 0; i < 10; ++i)
            test::WriteJpeg(S(Pics() + QString("p%1.jpg").arg(i)), test::MakeNoise(60 + 37 * i, 40 + 23 * i, i));
        TPngImage png;
        png.Assign(test::MakeGradient(90, 70));
        png.SaveToFile(S(Pics() + "p3.png"));  // p3.jpg's output too: written after it
        test::WriteFileBytes(S(Pics() + "p5a.jpg"), {0xFF, 0xD8, 0xFF});
    }

    // The log after the job's header line, and every output's bytes.
    struct TRun {
        QStringList Lines;
        std::map<QString, std::vector<uint8_t>> Files;
    };
    TRun Run(int workers) {
        QDir(Pics() + "Output").removeRecursively();
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->FileList->SetMask("*.*");
        form->actSellAllExecute();
        form->BatchWorkers = workers;
        form->actStartExecute();
        test::Settle(*form);
        TRun run;
        const QString log = form->LogText();
        run.Lines = log.mid(log.lastIndexOf("NEW BATCH JOB STARTED")).split('\n');
        run.Lines.last().replace(QRegularExpression(" in [0-9.]+ sec:"), ":");  // the summary, but for the time
        for (const QString& name : QDir(Pics() + "Output").entryList(QDir::Files | QDir::Hidden))
            run.Files[name] = test::ReadFileBytes(S(Pics() + "Output/" + name));
        return run;
    }

    // The sizes of the outputs p0.jpg .. p9.jpg in list order.
    std::vector<int> OutputWidths() {
        std::vector<int> widths;
        for (int i = 0; i < 10; ++i) {
            const std::string path = S(Pics() + QString("Output/p%1.jpg").arg(i));
            widths.push_back(FileExists(path) ? test::LoadAs24(path).Width() : -1);
        }
        return widths;
    }

private slots:
    void init() {
        test::NoNetwork();
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        MakePictures();
    }
    void cleanup() {
        FMessages.reset();
        FHome.reset();
    }

    void SameLogFilesAndOrderOnAnyNumberOfWorkers_data() {
        QTest::addColumn<int>("workers");
        QTest::newRow("2") << 2;
        QTest::newRow("4") << 4;
    }
    void SameLogFilesAndOrderOnAnyNumberOfWorkers() {
        QFETCH(int, workers);
        const TRun one = Run(1), many = Run(workers);
        QCOMPARE(one.Lines.count("File resized and saved as: " + Pics() + "Output/p3.jpg"), 1);
        // The PNG, later in the list, wants the same name: it gets a number, and its line says so.
        QCOMPARE(one.Lines.count("WARNING! Output name already used in this run, saved as: " + Pics() + "Output/p3 (2).jpg"), 1);
        QVERIFY(one.Lines.contains("ERROR! Cannot open picture: " + Pics() + "p5a.jpg"));
        QCOMPARE(many.Lines, one.Lines);
        QCOMPARE(many.Files.size(), one.Files.size());
        QVERIFY(many.Files == one.Files);
        QCOMPARE(test::LoadAs24(S(Pics() + "Output/p3 (2).jpg")).Width(), 45);
        QCOMPARE(test::LoadAs24(S(Pics() + "Output/p3.jpg")).Width(), 86);
        QCOMPARE(int(FMessages->Messages.size()), 0);
    }

    // A recipe chosen in "Outputs:" makes each of its outputs over the
    // pages' options, the files a job of each alone makes; the choice is kept.
    void ARecipeChosenInTheWindowMakesEachOutput() {
        QDir(Pics()).removeRecursively();
        QDir().mkpath(Pics());
        for (int i = 0; i < 3; ++i) test::WriteJpeg(S(Pics() + QString("r%1.jpg").arg(i)), test::MakeNoise(70 + 9 * i, 50, i));
        TRecipe recipe{"Three", {{"big", {{"mode", "fit"}, {"size", "48x48"}, {"quality", "82"}, {"name", "{name}-big"}}},
                                 {"web", {{"resize", "50%"}, {"format", "webp"}, {"name", "{name}-web"}}},
                                 {"flat", {{"mode", "same-height"}, {"side", "20"}, {"format", "png"}, {"name", "{name}-flat"}}}}};
        std::vector<TPictureOutput> outputs;
        {
            auto form = test::StartedForm();
            form->FRecipes = {recipe};
            form->ShowRecipeChoice("Three");
            form->chkKeepMetadata->setChecked(false);  // a page's option every output takes
            form->edtPath->setText(Pics());
            form->actSellAllExecute();
            form->BatchWorkers = 2;
            outputs = form->CurrentOutputs();
            form->actStartExecute();
            QVERIFY(test::Settle(*form));
            QCOMPARE(form->LogText().count("File resized and saved as: "), 9);
            form->close();
        }
        QCOMPARE(int(outputs.size()), 3);
        QDir().mkpath(FHome->Path("alone"));
        for (const TPictureOutput& output : outputs) {
            QVERIFY(!output.Options.KeepMetadata);
            for (int i = 0; i < 3; ++i) {
                const std::string source = S(Pics() + QString("r%1.jpg").arg(i));
                const TResizeResult alone = ResizeImage(source, S(FHome->Path("alone/")), output.Options);
                QCOMPARE(int(alone.Outcome), int(TResizeOutcome::Written));
                const std::string name = ExtractFileName(alone.OutputName);
                QVERIFY2(test::ReadFileBytes(S(Pics()) + "Output/" + name) == test::ReadFileBytes(alone.OutputName), name.c_str());
            }
        }
        auto again = test::StartedForm();
        QCOMPARE(again->cmbOutputs->currentText(), QString("Three (3 outputs)"));
    }

    // The end of a batch counts what became of every picture: written, kept
    // (already there), renamed and failed, with the bytes before and after;
    // a click on the status bar then opens the log.
    void TheEndOfABatchCountsItsPictures() {
        QDir().mkpath(Pics() + "Output");
        test::WriteFileBytes(S(Pics() + "Output/p0.jpg"), {'o', 'l', 'd'});
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->FileList->SetMask("*.*");
        form->actSellAllExecute();
        form->chkOverwrite->setChecked(false);
        form->BatchWorkers = 2;
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        int64_t before = 0, after = 0;
        for (const QString& name : QDir(Pics() + "Output").entryList(QDir::Files))
            if (name != "p0.jpg") after += QFileInfo(Pics() + "Output/" + name).size();
        for (const QString& name : QDir(Pics()).entryList(QDir::Files))
            if (name != "p0.jpg" && name != "p5a.jpg") before += QFileInfo(Pics() + name).size();
        const QString counts = "10 written, 1 kept, 1 renamed, 1 failed, " + Q(FormatFileSize(before, LocaleNumberFormat())) +
                               " -> " + Q(FormatFileSize(after, LocaleNumberFormat()));
        QVERIFY2(form->StatusText().endsWith(" sec: " + counts), qPrintable(form->StatusText() + " / " + counts));
        QVERIFY(form->LogText().endsWith(form->StatusText()));
        form->SetPageNumber(1);
        QTest::mouseClick(form->StatBar, Qt::LeftButton);
        QCOMPARE(form->PageControl->currentWidget(), form->tabLog);
    }

    // A name without a token: every picture keeps its own output, numbered in
    // list order, each renamed one said in the log, and the end counts them.
    void PicturesWantingOneNameKeepTheirOwn() {
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->FileList->SetMask("*.*");
        form->actSellAllExecute();
        form->BatchWorkers = 2;
        form->edtNameTemplate->setText("web");
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        const QStringList outputs = QDir(Pics() + "Output").entryList(QDir::Files);
        QCOMPARE(outputs.size(), 11);  // eleven good pictures, one damaged: it holds no number
        QVERIFY(outputs.contains("web.jpg") && outputs.contains("web (11).jpg") && !outputs.contains("web (12).jpg"));
        QCOMPARE(form->LogText().count("WARNING! Output name already used in this run, saved as: "), 10);
        QVERIFY2(form->StatusText().contains(" sec: 11 written, 10 renamed, 1 failed, "), qPrintable(form->StatusText()));
    }

    // With sub-folders, a chosen output folder inside the tree is not listed.
    void AChosenOutputFolderInsideTheTreeIsNotListed() {
        QDir().mkpath(Pics() + "small");
        test::WriteJpeg(S(Pics() + "small/old-output.jpg"), test::MakeGradient(20, 20));
        auto form = test::StartedForm();
        form->radOutFolder->setChecked(true);
        form->edtOutFolder->setText("small");
        form->chkRecurse->setChecked(true);
        form->edtPath->setText(Pics());
        form->FileList->Update();
        QVERIFY(test::Settle(*form));  // a tree is listed off the user-interface thread
        QVERIFY(form->FileList->count() > 0);
        for (int i = 0; i < form->FileList->count(); ++i)
            QVERIFY2(form->FileList->ItemName(i).rfind("small/", 0) != 0, form->FileList->ItemName(i).c_str());
    }

    // The options are copied when the batch starts: a change during the batch
    // waits for the next one, so that every name is planned before the first is written.
    void AnOptionChangedDuringABatchWaitsForTheNext() {
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->actSellAllExecute();
        form->BatchWorkers = 2;
        form->radSameSize->setChecked(true);
        form->spnWidth->setValue(30);
        form->spnHeight->setValue(20);
        bool changed = false;
        connect(form->Memo, &QPlainTextEdit::textChanged, form.get(), [&] {
            if (changed || !form->LogText().contains("File resized")) return;
            changed = true;
            form->spnWidth->setValue(50);
        });
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(changed);
        for (const int width : OutputWidths()) QVERIFY(width == 30 || width == -1);
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QCOMPARE(OutputWidths()[9], 50);
    }

    // The batch keeps the folder it started in: browsing to another folder
    // holding the same names changes only what the list shows.
    void AFolderChangedDuringABatchIsNotRead() {
        const QString other = FHome->Path("other/");
        QDir().mkpath(other);
        for (int i = 0; i < 10; ++i)  // the same names, another size: an output from here would show
            test::WriteJpeg(S(other + QString("p%1.jpg").arg(i)), test::MakeNoise(300, 300, 50 + i));
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->FileList->SetMask("*.jpg");
        form->actSellAllExecute();
        form->BatchWorkers = 1;
        bool changed = false;
        connect(form->Memo, &QPlainTextEdit::textChanged, form.get(), [&] {
            if (changed || !form->LogText().contains("File resized")) return;
            changed = true;
            form->edtPath->setText(other);
        });
        form->actStartExecute();
        QVERIFY(test::Settle(*form));
        QVERIFY(changed);
        QVERIFY(form->FileList->Directory().startsWith(other.chopped(1)));  // the user sees where they went
        for (int i = 0; i < 10; ++i) {
            const auto source = test::LoadAs24(S(Pics() + QString("p%1.jpg").arg(i)));
            const int width = test::LoadAs24(S(Pics() + QString("Output/p%1.jpg").arg(i))).Width();
            QVERIFY2(std::abs(2 * width - source.Width()) <= 1, qPrintable(QString("p%1: %2 wide").arg(i).arg(width)));
        }
        QVERIFY(!QDir(other + "Output").exists());
        QCOMPARE(form->LogText().count("File resized and saved as: " + Pics() + "Output/"), 10);
    }

    // A long picture does not stop the event loop: a timer keeps firing while
    // it is made, and the window could repaint and take commands meanwhile.
    void TheEventLoopRunsDuringALongPicture() {
        test::WriteJpeg(S(Pics() + "big.jpg"), test::MakeNoise(3000, 2000, 7));
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->FileList->SetCurrentName("big.jpg");
        form->FileList->SelectItem(form->FileList->ItemIndex());
        form->radXIncrease->setChecked(true);
        form->spnIncFactor->SetValue(2.0);
        int ticks = 0;
        qint64 longest = 0, total = -1;
        QElapsedTimer gap;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (form->LogText().contains("File resized")) return;  // counts while the picture is made
            ++ticks;
            longest = std::max(longest, gap.restart());
        });
        QElapsedTimer job;
        connect(form->Memo, &QPlainTextEdit::textChanged, form.get(), [&] {
            if (form->LogText().contains("File resized") && job.isValid() && total < 0) total = job.elapsed();
        });
        gap.start();
        job.start();
        timer.start(1);
        form->FileListDblClick();
        QVERIFY(form->JobRunning());
        QVERIFY(test::Settle(*form));
        QVERIFY(form->LogText().contains("File resized and saved as: " + Pics() + "Output/big.jpg"));
        // A loop frozen while the picture is made would show one gap of most
        // of the picture's time, however long that took on this machine.
        QVERIFY2(ticks >= 3 && longest * 2 < total,
                 qPrintable(QString("%1 ticks, longest gap %2 ms of %3 ms").arg(ticks).arg(longest).arg(total)));
    }

    // Abort starts no further picture; those in flight finish and are logged.
    void AbortStartsNoFurtherPicture() {
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->actSellAllExecute();
        form->BatchWorkers = 2;
        form->actStartExecute();
        QVERIFY(form->actAbort->isEnabled() && !form->actStart->isEnabled());
        form->actAbort->trigger();
        QCOMPARE(form->StatusText(), QString("Stopping..."));  // at once, while the pictures in flight finish
        QCOMPARE(form->proJob->format(), QString("Stopping..."));
        QVERIFY(test::Settle(*form));
        QCOMPARE(form->LogText().count("File resized and saved as: "), 2);
        QVERIFY(form->LogText().contains("Process aborted.\nBatch job aborted after 2 of 12 in "));
        QVERIFY2(form->StatusText().startsWith("Batch job aborted after 2 of 12 in "), qPrintable(form->StatusText()));
        QVERIFY(!form->proJob->isVisible() && form->actStart->isEnabled() && !form->actAbort->isEnabled());
        const QStringList left = QDir(Pics() + "Output").entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList({"p0.jpg", "p1.jpg"}));  // no temporary file either
    }

    // The window going calls off the work running off its thread: the task
    // stops at its next look at the flag, and the wait for it ends with it.
    void GoingCallsOffTheRunningTask() {
        std::mutex mutex;
        std::condition_variable changed;
        bool started = false;
        std::atomic<bool> calledOff{false};
        auto work = std::make_unique<TLatestWork>();
        work->Post([&]() -> TLatestWork::TApply {
            {
                std::lock_guard<std::mutex> lock(mutex);
                started = true;
            }
            changed.notify_all();
            try {
                for (int64_t i = 0; i < (int64_t(1) << 42); ++i) CheckCancelled();  // hours, unless called off
            } catch (const ECancelled&) {
                calledOff = true;
            }
            return nullptr;
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return started; });
        }
        work.reset();
        QVERIFY(calledOff);
    }

    // The advisor merges slider steps that come while it compresses; what
    // shows is the newest position's result.
    void SliderStepsAreMergedAndTheNewestShows() {
        test::WriteJpeg(S(Pics() + "big.jpg"), test::MakeNoise(1500, 1000, 3));
        auto form = test::StartedForm();
        form->edtPath->setText(Pics());
        form->FileList->SetCurrentName("big.jpg");
        form->FileList->SelectItem(form->FileList->ItemIndex());
        form->PageControl->setCurrentWidget(form->tabQuality);
        QVERIFY(test::Settle(*form));
        for (int quality = 10; quality <= 90; quality += 10) form->trkQuality->setValue(quality);
        QCOMPARE(form->lblQuality2->text(), QString("90"));  // at once
        QVERIFY(test::Settle(*form));
        // The file the batch writes at quality 90, byte for byte.
        QDir().mkpath(FHome->Path("alone"));
        const TResizeResult alone = ResizeImage(S(Pics() + "big.jpg"), S(FHome->Path("alone/")), form->CurrentOptions());
        const std::vector<uint8_t> expected = test::ReadFileBytes(alone.OutputName);
        QCOMPARE(alone.Quality, 90);
        QCOMPARE(form->lblFileSizeOut->text(),
                 "Resulted file size: " + Q(FormatFileSize(static_cast<int64_t>(expected.size()), LocaleNumberFormat())));
        auto* shown = dynamic_cast<TJPEGImage*>(form->imgCompressed->Picture().Graphic());
        QVERIFY(shown && shown->Data() == expected);
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::BatchTest)
#include "BatchTest.moc"
