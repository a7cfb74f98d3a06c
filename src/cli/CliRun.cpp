#include "CliRun.h"

#include "CliOptions.h"
#include "BatchRunner.h"
#include "FolderTree.h"
#include "Graphic.h"
#include "JsonLine.h"
#include "OrvelTPU.h"
#include "Resample.h"
#include "ResizeImage.h"
#include "TargetSize.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <filesystem>
#include <ostream>

#ifndef QUORIX_VERSION
#define QUORIX_VERSION ""
#endif

namespace quorix {

namespace {

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

std::string OutputFolderFor(const std::string& source, const TCliArguments& args) {
    if (!args.OutFolder.empty()) {
        // "." and "dir/." name the folder itself: the names written say so too.
        std::string folder = std::filesystem::path(AbsolutePath(args.OutFolder)).lexically_normal().string();
        return EnsureTrailingDelimiter(folder);
    }
    return ExtractFilePath(source) + "Output" + PathDelim;
}

struct TCliPicture {
    std::string Source, OutPath;
};

// The pictures the arguments name. With --recursive a folder stands for the
// pictures under it (those of a known format), each written at the same
// place under --out or under the folder's own "Output", which is not entered.
std::vector<TCliPicture> ExpandArguments(const TCliArguments& args) {
    std::vector<TCliPicture> pictures;
    for (const std::string& argument : args.Files) {
        const std::string path = AbsolutePath(argument);
        if (!args.Recursive || !FolderExists(path)) {
            pictures.push_back({path, OutputFolderFor(path, args)});
            continue;
        }
        const std::string folder = EnsureTrailingDelimiter(path);
        const std::string out = args.OutFolder.empty() ? folder + "Output" + PathDelim : OutputFolderFor(folder, args);
        std::vector<std::string> found = FilesUnder(folder, true, {"Output"}, [](const std::string& name) {
            return FileFormats().Find(PictureExtension(name)) != nullptr;
        });
        std::sort(found.begin(), found.end());
        for (const std::string& relative : found) pictures.push_back({folder + relative, out + ExtractFilePath(relative)});
    }
    return pictures;
}

// Prints each picture's lines as the runner reports them, in picture order.
// After an error, a signal or a failed write no further picture is started;
// those in flight finish (so no temporary file is left).
class TCliReport {
public:
    TCliReport(std::ostream& out, std::ostream& err, bool json) : FOut(out), FErr(err), FJson(json) {}

    bool Print(const TBatchOutcome& outcome) {
        if (FJson)
            FOut << JsonLine(outcome) << "\n";
        else
            for (const std::string& line : outcome.Result.Log) FOut << line << "\n";
        FOut.flush();
        if (!FOut) {
            FWriteFailed = true;
            return false;
        }
        const TResizeResult& result = outcome.Result;
        if (!outcome.Error.empty()) {
            FErr << "quorix-resize: " << outcome.Source << ": " << outcome.Error << "\n";
            FStatus = 1;  // what ran after it is not reported
            return false;
        }
        if (result.Outcome == TResizeOutcome::SaveFailed) FErr << "quorix-resize: " << result.SaveError << "\n";
        if (result.Outcome == TResizeOutcome::CannotOpen)
            FErr << "quorix-resize: " << outcome.Source << ": " << result.Reason << "\n";
        if (result.Outcome != TResizeOutcome::Written) FStatus = 1;
        return true;
    }

    // The exit status.
    int Status() const {
        if (FWriteFailed) {
            FErr << "quorix-resize: cannot write the log to standard output\n";
            return 1;
        }
        if (const int signal = CliStopSignal()) return 128 + signal;
        return FStatus;
    }

private:
    std::ostream& FOut;
    std::ostream& FErr;
    bool FJson = false;
    bool FWriteFailed = false;
    int FStatus = 0;
};

std::atomic<int> StopSignal{0};

}  // namespace

void StopCli(int signal) {
    int expected = 0;
    StopSignal.compare_exchange_strong(expected, signal);
}

int CliStopSignal() {
    return StopSignal.load();
}

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    TCliArguments args;
    try {
        args = ParseArguments(argv);
    } catch (const EUsageError& e) {
        err << "quorix-resize: " << e.what() << "\nTry 'quorix-resize --help' for more information.\n";
        return 2;
    }
    if (args.Help) {
        out << UsageText();
        return 0;
    }
    if (args.Version) {
        out << "quorix-resize " << QUORIX_VERSION << "\n";
        return 0;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads = args.Threads > 0 ? args.Threads : static_cast<int>(cores);
    SetResampleThreads(threads);
    // Several pictures keep the cores busy by taking one each; one picture
    // spreads over them by itself.
    const std::vector<TCliPicture> pictures = ExpandArguments(args);
    const int workers = std::min<int>(threads, static_cast<int>(pictures.size()));
    if (workers > 1) SetResampleThreads(1);
    std::vector<std::string> sources;
    for (const TCliPicture& p : pictures) sources.push_back(p.Source);
    TCliReport report(out, err, args.Json);
    TBatchEvents events;
    events.Report = [&](const TBatchOutcome& outcome) { return report.Print(outcome); };
    events.Halted = [] { return CliStopSignal() != 0; };
    {
        TBatchRunner runner(std::max(1, workers), sources, events);
        for (const TCliPicture& p : pictures) {
            TBatchPicture picture;
            picture.Source = p.Source;
            picture.OutPath = p.OutPath;
            picture.Options = args.Options;
            // A missing source gets no folder unless one was named.
            picture.MakeFolder = FileExists(p.Source) || !args.OutFolder.empty();
            runner.Submit(std::move(picture));
        }
        runner.Wait();
    }
    return report.Status();
}

}  // namespace quorix
