#include "CliRun.h"

#include "CliOptions.h"
#include "MemoryGate.h"
#include "OrvelTPU.h"
#include "Resample.h"
#include "ResizeImage.h"
#include "TargetSize.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <set>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>
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

struct TFileJob {
    std::string Source, OutPath, OutputName;
    bool MakeFolder = false;  // a missing source gets no folder unless one was named
    int After = -1;           // an earlier job writing the same output, which goes first
    TResizeResult Result;
    std::string Error;  // an error that ends the run
    bool Done = false;
};

// The output folders: each made once, and rid once of what killed runs left.
struct TFolders {
    std::mutex Mutex;
    std::set<std::string> Ready;
};

void RunJob(TFileJob& job, const TResizeOptions& options, const TRunSources& sources, TFolders& folders) {
    try {
        if (job.MakeFolder) {
            std::lock_guard<std::mutex> lock(folders.Mutex);
            if (!folders.Ready.count(job.OutPath) && EnsureFolder(job.OutPath) >= 0) {
                RemoveStaleTemporaries(job.OutPath);
                folders.Ready.insert(job.OutPath);
            }
        }
        job.Result = ResizeImage(job.Source, job.OutPath, options, &sources);
    } catch (const std::exception& e) {
        job.Error = e.what();
    }
}

// The pictures in order, taken by the next free worker as long as the memory
// they need fits beside the others'. Each log line is printed as soon as its
// picture and every one before it are done. After an error, a signal or a
// failed write no further picture is started; those in flight finish (so no
// temporary file is left).
class TJobRunner {
public:
    TJobRunner(std::vector<TFileJob>& jobs, const TResizeOptions& options, std::ostream& out, std::ostream& err)
        : FJobs(jobs), FOptions(options), FOut(out), FErr(err), FGate(AvailableMemory()) {
        std::vector<std::string> paths;
        std::map<std::string, int> lastWriter;
        for (size_t i = 0; i < jobs.size(); ++i) {
            paths.push_back(jobs[i].Source);
            auto it = lastWriter.find(jobs[i].OutputName);
            if (it != lastWriter.end()) jobs[i].After = it->second;
            lastWriter[jobs[i].OutputName] = static_cast<int>(i);
        }
        FSources = TRunSources(paths);
    }

    // The exit status.
    int Run(int workers) {
        auto work = [&] {
            for (size_t i; !Stopping() && (i = FNext++) < FJobs.size();) RunOne(i, workers > 1);
        };
        std::vector<std::thread> pool;
        for (int w = 1; w < workers; ++w) pool.emplace_back(work);
        work();
        for (std::thread& t : pool) t.join();
        if (FWriteFailed) {
            FErr << "quorix-resize: cannot write the log to standard output\n";
            return 1;
        }
        if (const int signal = CliStopSignal()) return 128 + signal;
        return FStatus;
    }

private:
    bool Stopping() const { return FStop || CliStopSignal() != 0; }

    void RunOne(size_t i, bool estimate) {
        TFileJob& job = FJobs[i];
        if (job.After >= 0) {  // the same output: handled as if the earlier one was written first
            std::unique_lock<std::mutex> lock(FMutex);
            FDone.wait(lock, [&] { return FJobs[job.After].Done; });
        }
        const int64_t held = FGate.Acquire(static_cast<int64_t>(i), estimate ? PictureMemoryEstimate(job.Source, FOptions) : 0);
        RunJob(job, FOptions, FSources, FFolders);
        FGate.Release(held);
        std::lock_guard<std::mutex> lock(FMutex);
        job.Done = true;
        if (!job.Error.empty()) FStop = true;
        PrintFinished();
        FDone.notify_all();
    }

    // Called with FMutex held.
    void PrintFinished() {
        for (; FPrinted < FJobs.size() && FJobs[FPrinted].Done && !FEnded; ++FPrinted) {
            const TFileJob& job = FJobs[FPrinted];
            for (const std::string& line : job.Result.Log) FOut << line << "\n";
            FOut.flush();
            if (!FOut) {
                FWriteFailed = FStop = FEnded = true;
                return;
            }
            if (!job.Error.empty()) {
                FErr << "quorix-resize: " << job.Source << ": " << job.Error << "\n";
                FStatus = 1;
                FEnded = true;  // what ran after it is not reported
                return;
            }
            if (job.Result.Outcome == TResizeOutcome::SaveFailed) FErr << "quorix-resize: " << job.Result.SaveError << "\n";
            if (job.Result.Outcome == TResizeOutcome::CannotOpen)
                FErr << "quorix-resize: " << job.Source << ": " << job.Result.Reason << "\n";
            if (job.Result.Outcome != TResizeOutcome::Written) FStatus = 1;
        }
    }

    std::vector<TFileJob>& FJobs;
    const TResizeOptions& FOptions;
    std::ostream& FOut;
    std::ostream& FErr;
    TRunSources FSources;
    TMemoryGate FGate;
    std::mutex FMutex;
    TFolders FFolders;
    std::condition_variable FDone;
    std::atomic<size_t> FNext{0};
    std::atomic<bool> FStop{false};
    size_t FPrinted = 0;
    bool FEnded = false, FWriteFailed = false;
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
    const int workers = std::min<int>(threads, static_cast<int>(args.Files.size()));
    if (workers > 1) SetResampleThreads(1);
    std::vector<TFileJob> jobs(args.Files.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].Source = AbsolutePath(args.Files[i]);
        jobs[i].OutPath = OutputFolderFor(jobs[i].Source, args);
        jobs[i].MakeFolder = FileExists(jobs[i].Source) || !args.OutFolder.empty();
        jobs[i].OutputName = OutputFileName(jobs[i].Source, jobs[i].OutPath, args.Options);
    }
    return TJobRunner(jobs, args.Options, out, err).Run(std::max(1, workers));
}

}  // namespace quorix
