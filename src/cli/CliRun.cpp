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
#include "UsableCpus.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
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

// The pictures the arguments name, kept small for lists of hundreds of
// thousands: each picture's path, and where its output folder comes from,
// worked out when the picture is handed in.
struct TCliPictures {
    struct TFolder {
        std::string Path, Out;  // a --recursive folder, and the output folder for its tree
    };
    std::vector<std::string> Sources;
    std::vector<uint32_t> Folder;  // per picture: 0 when named itself, else 1 + its folder's place
    std::vector<TFolder> Folders;
    std::string NamedOut;  // --out as an absolute folder, or empty
    std::vector<std::string> Problems;  // folders that could not be read, as log lines

    std::string OutPathOf(size_t i) const {
        const std::string& source = Sources[i];
        if (Folder[i] == 0) return NamedOut.empty() ? ExtractFilePath(source) + "Output" + PathDelim : NamedOut;
        const TFolder& folder = Folders[Folder[i] - 1];
        return folder.Out + ExtractFilePath(source.substr(folder.Path.size()));
    }
};

// The folders a --recursive argument names.
std::vector<std::string> RecursiveRoots(const TCliArguments& args) {
    std::vector<std::string> roots;
    if (args.Recursive)
        for (const std::string& argument : args.Files)
            if (FolderExists(AbsolutePath(argument))) roots.push_back(EnsureTrailingDelimiter(AbsolutePath(argument)));
    return roots;
}

// The last part of a folder's path ("cardA" of "/media/cardA/").
std::string FolderName(const std::string& folder) {
    const std::string path = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    const std::string name = ExtractFileName(path);
    return name.empty() || name == "." || name == ".." ? "folder" : name;
}

// With --recursive a folder stands for the pictures under it (those of a
// known format), each written at the same place under --out (under a folder
// of the root's own name when several roots would meet there) or under the
// folder's own "Output". No output folder of the run is entered, wherever it
// lies; a folder that cannot be read is named. The names are taken from
// args, not copied.
TCliPictures ExpandArguments(TCliArguments& args) {
    TCliPictures pictures;
    if (!args.OutFolder.empty())  // "." and "dir/." name the folder itself: the names written say so too
        pictures.NamedOut =
            EnsureTrailingDelimiter(std::filesystem::path(AbsolutePath(args.OutFolder)).lexically_normal().string());
    const std::vector<std::string> roots = RecursiveRoots(args);
    const bool mirrored = roots.size() > 1 && !pictures.NamedOut.empty();
    TFolderWalk walk;
    walk.Recursive = true;
    walk.SkipNames = {"Output"};
    std::pair<unsigned long long, unsigned long long> identity;
    if (!pictures.NamedOut.empty() && FolderIdentity(pictures.NamedOut, identity)) walk.SkipFolders.push_back(identity);
    for (const std::string& root : roots)
        if (FolderIdentity(root + "Output", identity)) walk.SkipFolders.push_back(identity);
    std::vector<std::string> files = std::move(args.Files);
    args.Files.clear();
    pictures.Sources.reserve(files.size());
    for (std::string& argument : files) {
        std::string path = AbsolutePath(argument);
        std::string().swap(argument);
        if (!args.Recursive || !FolderExists(path)) {
            pictures.Sources.push_back(std::move(path));
            pictures.Folder.push_back(0);
            continue;
        }
        const std::string folder = EnsureTrailingDelimiter(path);
        const std::string out = pictures.NamedOut.empty() ? folder + "Output" + PathDelim
                                : mirrored               ? pictures.NamedOut + FolderName(folder) + PathDelim
                                                         : pictures.NamedOut;
        pictures.Folders.push_back({folder, out});
        std::vector<std::string> found = FilesUnder(folder, walk, [](const std::string& name) {
            return FileFormats().Find(PictureExtension(name)) != nullptr;
        });
        std::sort(found.begin(), found.end());
        for (const std::string& relative : found) {
            pictures.Sources.push_back(folder + relative);
            pictures.Folder.push_back(static_cast<uint32_t>(pictures.Folders.size()));
        }
    }
    pictures.Problems = std::move(walk.Problems);
    return pictures;
}

// Prints each picture's lines as the runner reports them, in picture order.
// After an error, a signal or a failed write no further picture is started;
// those in flight finish (so no temporary file is left).
class TCliReport {
public:
    TCliReport(std::ostream& out, std::ostream& err, bool json) : FOut(out), FErr(err), FJson(json) {}

    // A folder the walk could not read: named, and the run fails.
    void Problem(const std::string& line) {
        if (FJson) FOut << "{\"outcome\":\"folder-unread\",\"log\":" << JsonString(line) << "}\n";
        else FOut << line << "\n";
        FOut.flush();
        FStatus = 1;
    }

    bool Print(const TBatchOutcome& outcome) {
        if (FJson)
            FOut << JsonLines(outcome) << "\n";
        else
            for (const TResizeResult& result : outcome.Results)
                for (const std::string& line : result.Log) FOut << line << "\n";
        FOut.flush();
        if (!FOut) {
            FWriteFailed = true;
            return false;
        }
        if (!outcome.Error.empty()) {
            FErr << "quorix-resize: " << outcome.Source << ": " << outcome.Error << "\n";
            FStatus = 1;  // what ran after it is not reported
            return false;
        }
        for (const TResizeResult& result : outcome.Results) Judge(outcome, result);
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
    void Judge(const TBatchOutcome& outcome, const TResizeResult& result) {
        if (result.Outcome == TResizeOutcome::SaveFailed) FErr << "quorix-resize: " << result.SaveError << "\n";
        if (result.Outcome == TResizeOutcome::CannotOpen)
            FErr << "quorix-resize: " << outcome.Source << ": " << result.Reason << "\n";
        // Kept under --no-overwrite, the output is in place: a rerun of finished work succeeds.
        if (result.Outcome != TResizeOutcome::Written && result.Outcome != TResizeOutcome::OutputExists) FStatus = 1;
    }

    std::ostream& FOut;
    std::ostream& FErr;
    bool FJson = false;
    bool FWriteFailed = false;
    int FStatus = 0;
};

// A line on a terminal's standard error that says how far the run is; it
// is cleared before each log line, so that the log reads as without it.
class TCliProgress {
public:
    TCliProgress(std::ostream& err, size_t total, bool shown) : FErr(err), FTotal(total), FShown(shown) {}
    void Show(size_t done, const std::string& source) {
        if (!FShown || FTotal < 2) return;
        std::string name = ExtractFileName(source);
        if (name.size() > 48) name = "..." + name.substr(name.size() - 45);
        FErr << "\r[" << done << "/" << FTotal << "] " << name << "\x1b[K" << std::flush;
        FVisible = true;
    }
    void Clear() {
        if (!FVisible) return;
        FErr << "\r\x1b[K" << std::flush;
        FVisible = false;
    }

private:
    std::ostream& FErr;
    size_t FTotal;
    bool FShown, FVisible = false;
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
    const int threads = args.Threads > 0 ? args.Threads : UsableCpus();
    SetResampleThreads(threads);
    // Several pictures keep the cores busy by taking one each; one picture
    // spreads over them by itself.
    const TCliPictures pictures = ExpandArguments(args);
    const int workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(threads), pictures.Sources.size()));
    if (workers > 1) SetResampleThreads(1);
    TCliReport report(out, err, args.Json);
    for (const std::string& line : pictures.Problems) report.Problem(line);
    TCliProgress progress(err, pictures.Sources.size(), !args.Quiet && &err == &std::cerr && ::isatty(2));
    TBatchEvents events;
    events.Report = [&](const TBatchOutcome& outcome) {
        progress.Clear();
        const bool go = report.Print(outcome);
        progress.Show(outcome.Index + 1, outcome.Source);
        return go;
    };
    events.Halted = [] { return CliStopSignal() != 0; };
    {
        TBatchRunner runner(std::max(1, workers), pictures.Sources, events);
        // Handed in as the workers get through them: only the pictures near
        // their turn are held with their options and outcomes.
        const size_t ahead = 4 * static_cast<size_t>(std::max(1, workers)) + 16;
        for (size_t i = 0; i < pictures.Sources.size() && !runner.Ended(); ++i) {
            runner.WaitForRoom(ahead);
            TBatchPicture picture;
            picture.Source = pictures.Sources[i];
            picture.OutPath = pictures.OutPathOf(i);
            picture.Outputs = args.Outputs;
            // A missing source gets no folder unless one was named.
            picture.MakeFolder = FileExists(picture.Source) || !args.OutFolder.empty();
            runner.Submit(std::move(picture));
        }
        runner.Wait();
    }
    progress.Clear();
    return report.Status();
}

}  // namespace quorix
