// The account of a finished job: how many outputs were written, kept,
// renamed and failed, and the bytes read and written, in the status bar and
// the log. A click on the status bar then opens the log.
#include "FormMain.h"

#include "FormMainJob.h"
#include "OrvelTPU.h"
#include "Platform.h"

#include <QLocale>

#include <sys/stat.h>

namespace quorix {

namespace {

QString Count(size_t n, const char* what) {
    return QLocale().toString(static_cast<qlonglong>(n)) + " " + what;
}

QString Bytes(int64_t n) { return Q(FormatFileSize(n, LocaleNumberFormat())); }

}  // namespace

// The file's size, 0 when it is gone (a folder spoiled during the batch):
// counting never asks the user anything.
int64_t TMainForm::SizeOnDisk(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

namespace {

QString Seconds(uint32_t start) {
    const uint32_t elapsed = TickCount() - start;  // unsigned: right across the counter's wrap
    return Q(FormatReal(2, static_cast<long double>(elapsed) / 1000.0L));
}

// "Batch job done in 7.45 sec", or what an abort left of the batch.
QString EndText(bool single, bool aborted, size_t reported, size_t total, const QString& seconds) {
    if (single) return "Job done in " + seconds + " sec";
    if (!aborted) return "Batch job done in " + seconds + " sec";
    return "Batch job aborted after " + QLocale().toString(static_cast<qlonglong>(reported)) + " of " +
           QLocale().toString(static_cast<qlonglong>(total)) + " in " + seconds + " sec";
}

}  // namespace

void TMainForm::CountResult(TJob& job, const TResizeResult& result) {
    switch (result.Outcome) {
    case TResizeOutcome::Written:
        ++job.Written;
        if (!result.Log.empty() && result.Log.front() == WrittenLine(result.OutputName, true)) ++job.Renamed;
        job.BytesAfter += SizeOnDisk(result.OutputName);
        break;
    case TResizeOutcome::OutputExists:
        ++job.Kept;  // already there, as asked
        break;
    default:
        ++job.Failed;
    }
}

void TMainForm::ShowSummary(const TJob& job) {
    QString counts = Count(job.Written, "written");
    if (job.Kept > 0) counts += ", " + Count(job.Kept, "kept");
    if (job.Renamed > 0) counts += ", " + Count(job.Renamed, "renamed");
    if (job.Failed > 0) counts += ", " + Count(job.Failed, "failed");
    if (job.Written > 0) counts += ", " + Bytes(job.BytesBefore) + " -> " + Bytes(job.BytesAfter);
    const QString text = EndText(job.Single, job.Aborted, job.Reported, job.Names.size(), Seconds(job.Start)) + ": " + counts;
    SetStatusText(text);
    AddLog(text);
    FSummaryShown = true;
    StatBar->setCursor(Qt::PointingHandCursor);
}

void TMainForm::StatusBarClick() {
    if (FSummaryShown) SetPageNumber(PageControl->indexOf(tabLog) + 1);
}

}  // namespace quorix
