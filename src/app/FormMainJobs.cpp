// The batch job, the one-picture job, Abort, and the pipeline call per picture.
#include "FormMain.h"

#include "OrvelDecSpin.h"
#include "OrvelFileListBox.h"
#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "ResizeImage.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace quorix {

// Puts the commands, the cursor and the sound back however a job ends, and
// closes the window when that was asked for during the job.
class TJobCleanup {
public:
    TJobCleanup(TMainForm* form, bool sound) : FForm(form), FSound(sound) {
        FForm->FJobRunning = true;
        FForm->FSaveErrorShown = false;
    }
    ~TJobCleanup() {
        RestoreCursor();
        if (FSound && FForm->chkSounds->isChecked()) BeepDone();
        FForm->actStart->setEnabled(true);
        FForm->actAbort->setEnabled(false);
        FForm->FJobRunning = false;
        if (FForm->FCloseAfterJob) {
            FForm->FCloseAfterJob = false;
            QMetaObject::invokeMethod(FForm, "close", Qt::QueuedConnection);
        }
    }
    TJobCleanup(const TJobCleanup&) = delete;
    TJobCleanup& operator=(const TJobCleanup&) = delete;

private:
    TMainForm* FForm;
    bool FSound;
};

namespace {

// The locale's short date, a blank and its long time (without the time zone).
QString NowText() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove('t');
    return locale.toString(now.date(), QLocale::ShortFormat) + " " + now.time().toString(time.trimmed());
}

QString Seconds(uint32_t start) {
    const uint32_t elapsed = TickCount() - start;  // unsigned: right across the counter's wrap
    return Q(FormatReal(2, static_cast<long double>(elapsed) / 1000.0L));
}

}  // namespace

std::string TMainForm::MakeSurePathExists() {
    edtPath->setText(Q(EnsureTrailingDelimiter(S(edtPath->text()))));
    const std::string output = EnsureTrailingDelimiter(S(edtPath->text())) + "Output" + PathDelim;
    if (EnsureFolder(output) >= 0) RemoveStaleTemporaries(output);  // what a killed run left
    return output;
}

void TMainForm::WriteLogHeader(const char* kind) {
    if (Memo->toPlainText() == Greeting()) Memo->clear();
    AddLog("\n");  // two blank lines between jobs
    AddLog(NowText() + kind);
    AddLog("");
}

void TMainForm::actStartExecute() {
    if (FileList->count() == 0) return ShowWarning("No pictures to process");
    if (FileList->SelCount() == 0) return ShowWarning("Please select the file(s) you want to resize!");
    actStart->setEnabled(false);
    actAbort->setEnabled(true);
    JobAbortFlag = false;
    SetStatusText("Working...");
    ShowBusyCursor();
    TJobCleanup cleanup(this, true);
    const std::string output = MakeSurePathExists();
    WriteLogHeader(" NEW BATCH JOB STARTED");
    std::vector<std::string> snapshot;  // the names' own bytes
    for (int i = 0; i < FileList->count(); ++i)
        if (FileList->Selected(i)) snapshot.push_back(FileList->ItemName(i));
    const uint32_t start = TickCount();
    for (const std::string& name : snapshot) {
        const std::string shown = EnsureTrailingDelimiter(S(FileList->Directory()));
        if (FileExists(shown + name)) FileList->SetCurrentName(name);
        QCoreApplication::processEvents();
        if (JobAbortFlag) {
            SetStatusText("Process aborted.");
            AddLog("Process aborted.");
            break;
        }
        ResizeImage(S(edtPath->text()) + name, output);
    }
    SetStatusText("Batch job done in " + Seconds(start) + " sec");
}

void TMainForm::FileListDblClick() {
    if (FileList->count() == 0) return ShowWarning("No pictures to process");
    if (FileList->SelCount() == 0) return ShowWarning("Please select the file(s) you want to resize!");
    ShowBusyCursor();
    TJobCleanup cleanup(this, false);
    const std::string output = MakeSurePathExists();
    WriteLogHeader(" RESIZING SINGLE IMAGE");
    const uint32_t start = TickCount();
    ResizeImage(FileList->FilePath(), output);
    SetStatusText("Job done in " + Seconds(start) + " sec");
}

void TMainForm::actAbortExecute() { JobAbortFlag = true; }

TResizeOptions TMainForm::CurrentOptions() const {
    TResizeOptions o;
    o.Mode = radXIncrease->isChecked()    ? TResizeMode::XIncrease
           : radXDecrease->isChecked()    ? TResizeMode::XDecrease
           : radSameSize->isChecked()     ? TResizeMode::SameSize
           : radSameWidth->isChecked()    ? TResizeMode::SameWidth
           : radSameHeight->isChecked()   ? TResizeMode::SameHeight
                                          : TResizeMode::None;
    o.IncFactor = spnIncFactor->Value();
    o.DecFactor = spnDecFactor->Value();
    o.Width = spnWidth->value();
    o.Height = spnHeight->value();
    o.WH = spnWH->value();
    o.FilterIndex = cmbResampleQ->currentIndex();
    o.Quality = trkQuality->value();
    o.Protect = chkProtect->isChecked();
    o.AddFilterName = chkAddFltName->isChecked();
    o.Overwrite = chkOverwrite->isChecked();
    return o;
}

void TMainForm::ResizeImage(const std::string& imageName, const std::string& outPath) {
    TResizeResult result = quorix::ResizeImage(imageName, outPath, CurrentOptions(), MainPreview());
    // One box a job: an output folder that turns read-only in a batch of 500
    // pictures must not mean 500 boxes; every failure still gets its log line.
    if (result.Outcome == TResizeOutcome::SaveFailed && !FSaveErrorShown) {
        FSaveErrorShown = true;
        ShowError("Cannot save file as: " + result.OutputName);
    }
    for (const std::string& line : result.Log) AddLog(Q(line));
}

}  // namespace quorix
