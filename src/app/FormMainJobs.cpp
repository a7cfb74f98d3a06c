// The batch job, the one-picture job and Abort. The pictures are made on the
// batch runner's workers; this thread only hands them out, with the options
// the controls show at that moment, and writes what comes back.
#include "FormMain.h"

#include "ErrorGuard.h"
#include "FormMainJob.h"
#include "QuorixError.h"
#include "OrvelDecSpin.h"
#include "OrvelFileListBox.h"
#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "Resample.h"
#include "TargetSize.h"
#include "UsableCpus.h"

#include <QAction>
#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <thread>

namespace quorix {

namespace {

// The locale's short date with all four digits of the year, a blank and its
// long time (without the time zone).
QString NowText() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove('t');
    QString date = locale.dateFormat(QLocale::ShortFormat);
    if (!date.contains("yyyy")) date.replace("yy", "yyyy");
    return locale.toString(now.date(), date) + " " + now.time().toString(time.trimmed());
}

int Cores() { return UsableCpus(); }

}  // namespace

std::string TMainForm::OutputFolder() const {
    const std::string pictures = EnsureTrailingDelimiter(S(edtPath->text()));
    const std::string chosen = S(edtOutFolder->text());
    if (!radOutFolder->isChecked() || chosen.empty()) return pictures + "Output" + PathDelim;
    // A relative folder is taken from the pictures' folder.
    return EnsureTrailingDelimiter(chosen[0] == '/' ? chosen : pictures + chosen);
}

std::string TMainForm::MakeSurePathExists() {
    edtPath->setText(Q(EnsureTrailingDelimiter(S(edtPath->text()))));
    const std::string output = OutputFolder();
    if (EnsureFolder(output) >= 0) RemoveStaleTemporaries(output);  // what a killed run left
    return output;
}

void TMainForm::WriteLogHeader(const char* kind) {
    if (Memo->toPlainText() == Greeting()) Memo->clear();
    AddLog("\n");  // two blank lines between jobs
    AddLog(NowText() + kind);
    AddLog("");
}

// Why the job cannot start as the pages are set; empty when it can.
std::string TMainForm::StartProblem() const {
    if (FileList->count() == 0) return "No pictures to process";
    if (FileList->SelCount() == 0) return "Please select the file(s) you want to resize!";
    // A name that would leave the output folder is refused before anything is written.
    if (const std::string problem = NameTemplateProblem(S(edtNameTemplate->text())); !problem.empty()) return problem;
    // "this folder:" chosen and left empty would quietly write into Output/.
    if (radOutFolder->isChecked() && edtOutFolder->text().trimmed().isEmpty())
        return "Please type the folder for the resized pictures after \"this folder:\" (Settings page)";
    return "";
}

void TMainForm::actStartExecute() {
    if (FJob) return;  // one job at a time
    if (const std::string problem = StartProblem(); !problem.empty()) return ShowWarning(problem);
    std::vector<std::string> snapshot;  // the names' own bytes
    for (int i = 0; i < FileList->count(); ++i)
        if (FileList->Selected(i)) snapshot.push_back(FileList->ItemName(i));
    JobAbortFlag = false;
    SetStatusText("Working...");
    StartJob(std::move(snapshot), false);
}

void TMainForm::FileListDblClick() {
    if (FJob) return;
    if (const std::string problem = StartProblem(); !problem.empty()) return ShowWarning(problem);
    const std::string within = FileList->ItemIndex() >= 0 ? ExtractFilePath(FileList->ItemName(FileList->ItemIndex())) : "";
    StartJob({FileList->FilePath()}, true, within);
}

void TMainForm::actAbortExecute() {
    JobAbortFlag = true;
    if (FJob && !FJob->Single) {  // the pictures in flight still finish: said at once
        SetStatusText("Stopping...");
        proJob->setFormat("Stopping...");
    }
    if (FJob && FJob->Runner) DispatchPictures();  // nothing in flight: the batch ends now
}

bool TMainForm::JobRunning() const { return FJob != nullptr; }

void TMainForm::StartJob(std::vector<std::string> names, bool single, const std::string& within) {
    actStart->setEnabled(false);
    actAbort->setEnabled(!single);
    ShowBusyCursor();
    FSaveErrorShown = false;
    FJob = std::make_unique<TJob>();
    FJob->Single = single;
    FJob->Names = std::move(names);
    FJob->Within = within;
    try {
        FJob->Output = MakeSurePathExists();
        // What the user browses to or changes during the batch changes only
        // what they see: the folder and the options are copied now.
        FJob->Folder = single ? std::string() : S(edtPath->text());
        FJob->Outputs = CurrentOutputs();
        WriteLogHeader(single ? " RESIZING SINGLE IMAGE" : " NEW BATCH JOB STARTED");
    } catch (...) {
        EndJob();
        throw;
    }
    // Several pictures keep the cores busy by taking one each; one picture
    // spreads over them by itself.
    const int cores = BatchWorkers > 0 ? BatchWorkers : Cores();
    const int workers = std::max(1, std::min<int>(cores, static_cast<int>(FJob->Names.size())));
    SetResampleThreads(workers > 1 ? 1 : Cores());
    std::vector<std::string> sources;
    for (const std::string& name : FJob->Names) sources.push_back(FJob->Folder + name);
    TBatchEvents events;
    events.Report = [this](const TBatchOutcome& outcome) {
        QMetaObject::invokeMethod(this, [this, outcome] { GuardedCall([&] { PictureReported(outcome); }); }, Qt::QueuedConnection);
        return true;
    };
    events.Freed = [this] { QMetaObject::invokeMethod(this, [this] { GuardedCall([this] { PictureFreed(); }); }, Qt::QueuedConnection); };
    FJob->Runner = std::make_unique<TBatchRunner>(workers, sources, std::move(events));
    if (!single) ShowProgress(0, FJob->Names.size());
    FJob->Start = TickCount();
    DispatchPictures();
}

// Hands each free worker the next picture, with the job's options.
void TMainForm::DispatchPictures() {
    TJob& job = *FJob;
    while (job.Error.empty() && !job.Aborted && !job.Runner->Ended() && job.Next < job.Names.size() &&
           job.InFlight < static_cast<size_t>(job.Runner->Workers())) {
        if (!job.Single && JobAbortFlag) {
            job.Aborted = true;
            break;
        }
        TBatchPicture picture;
        picture.Source = job.Single ? job.Names[0] : job.Folder + job.Names[job.Next];
        // A picture of a sub-folder goes to the same place under the output folder.
        const std::string within = job.Single ? job.Within : ExtractFilePath(job.Names[job.Next]);
        picture.OutPath = job.Output + within;
        picture.Outputs = job.Outputs;
        picture.MakeFolder = !within.empty();  // the output folder itself was settled when the job started
        job.Runner->Submit(std::move(picture));
        ++job.Next;
        ++job.InFlight;
    }
    if (job.InFlight == 0) EndJob();
}

void TMainForm::PictureFreed() {
    if (!FJob) return;
    --FJob->InFlight;
    DispatchPictures();
}

void TMainForm::PictureReported(const TBatchOutcome& outcome) {
    if (!FJob) return;
    TJob& job = *FJob;
    ++job.Reported;
    if (!outcome.Error.empty()) {
        job.Error = outcome.Error;  // it ends the job; what is in flight finishes unreported
        return;
    }
    for (const TResizeResult& result : outcome.Results) {
        for (const std::string& line : result.Log) AddLog(Q(line));
        CountResult(job, result);
    }
    // Before and after compares the sources of what was written with what was written.
    const auto written = [](const TResizeResult& r) { return r.Outcome == TResizeOutcome::Written; };
    if (std::any_of(outcome.Results.begin(), outcome.Results.end(), written))
        job.BytesBefore += SizeOnDisk(outcome.Source);
    if (!job.Single) {
        // The list's current item follows the picture whose lines were written last.
        const std::string& name = job.Names[outcome.Index];
        if (EnsureTrailingDelimiter(S(FileList->Directory())) == job.Folder && FileExists(job.Folder + name))
            FileList->SetCurrentName(name);
        ShowProgress(job.Reported, job.Names.size());
    }
    // One box a job: an output folder that turns read-only in a batch of 500
    // pictures must not mean 500 boxes; every failure still gets its log line.
    // The box waits for this handler to return: the batch goes on meanwhile.
    for (const TResizeResult& result : outcome.Results)
        if (result.Outcome == TResizeOutcome::SaveFailed && !FSaveErrorShown) {
            FSaveErrorShown = true;
            const std::string text = "Cannot save file as: " + result.OutputName;
            QMetaObject::invokeMethod(this, [text] { ShowError(text); }, Qt::QueuedConnection);
        }
}

// Pictures done of the batch, and the time left at the pace so far.
void TMainForm::ShowProgress(size_t done, size_t total) {
    proJob->setRange(0, static_cast<int>(total));
    proJob->setValue(static_cast<int>(done));
    const QLocale locale;
    QString text = locale.toString(static_cast<qlonglong>(done)) + " of " + locale.toString(static_cast<qlonglong>(total));
    if (done > 0 && done < total) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - FJob->Began).count();
        const long long left = std::llround(elapsed / static_cast<double>(done) * static_cast<double>(total - done));
        text += QString(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QChar('0'));
    }
    proJob->setFormat(text);
    proJob->setVisible(true);
}

// Every picture handed out has come back: the job's result, then rest.
void TMainForm::EndJob() {
    std::unique_ptr<TJob> job = std::move(FJob);
    if (job->Aborted) AddLog("Process aborted.");
    if (job->Runner && job->Error.empty()) ShowSummary(*job);
    job->Runner.reset();  // the workers are idle: they end at once
    proJob->setVisible(false);
    if (FPreviewDelay->isActive()) {  // the last picture shows at once
        FPreviewDelay->stop();
        ShowCurrentPicture(true);
    }
    RestoreCursor();
    if (!job->Single && chkSounds->isChecked()) BeepDone();
    actStart->setEnabled(true);
    actAbort->setEnabled(false);
    if (FCloseAfterJob) {
        FCloseAfterJob = false;
        QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection);
    }
    // Reported as every error that leaves an event handler is.
    if (!job->Error.empty()) ShowError(job->Error);
}

std::string TMainForm::OutputFormatKey() const {
    const std::string key = S(cmbOutFormat->currentData().toString());
    return key.empty() ? "jpg" : key;
}

std::vector<TPictureOutput> TMainForm::CurrentOutputs() const {
    const int chosen = cmbOutputs->currentIndex();
    if (chosen <= 0 || chosen > static_cast<int>(FRecipes.size())) return {{"", CurrentOptions()}};
    try {
        return RecipeOutputs(FRecipes[static_cast<size_t>(chosen - 1)], CurrentOptions());
    } catch (const EOptionError& e) {
        throw EConvertError("Recipe \"" + FRecipes[static_cast<size_t>(chosen - 1)].Name + "\": " + e.what());
    }
}

}  // namespace quorix
