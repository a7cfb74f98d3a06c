#include "CliRun.h"

#include "CliOptions.h"
#include "MemoryGate.h"
#include "OrvelTPU.h"
#include "Resample.h"
#include "ResizeImage.h"

#include <algorithm>
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
    if (!args.OutFolder.empty()) return EnsureTrailingDelimiter(AbsolutePath(args.OutFolder));
    return ExtractFilePath(source) + "Output" + PathDelim;
}

struct TFileJob {
    std::string Source, OutPath;
    bool MakeFolder = false;  // a missing source gets no folder unless one was named
    TResizeResult Result;
    std::string Error;  // an error that ends the run
    bool Done = false;
};

void RunJob(TFileJob& job, const TResizeOptions& options, std::mutex& folders) {
    try {
        if (job.MakeFolder) {
            std::lock_guard<std::mutex> lock(folders);  // two pictures, one folder: created once
            EnsureFolder(job.OutPath);
        }
        job.Result = ResizeImage(job.Source, job.OutPath, options);
    } catch (const std::exception& e) {
        job.Error = e.what();
    }
}

// The pictures in order, taken by the next free worker as long as the memory
// they need fits beside the others'; after an error no further picture is started.
void RunJobs(std::vector<TFileJob>& jobs, const TResizeOptions& options, int workers) {
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex folders;
    TMemoryGate gate(AvailableMemory());
    auto work = [&] {
        for (size_t i; !stop && (i = next++) < jobs.size();) {
            TFileJob& job = jobs[i];
            const int64_t need = workers > 1 ? PictureMemoryEstimate(job.Source, options) : 0;
            const int64_t held = gate.Acquire(static_cast<int64_t>(i), need);
            RunJob(job, options, folders);
            gate.Release(held);
            job.Done = true;
            if (!job.Error.empty()) stop = true;
        }
    };
    std::vector<std::thread> pool;
    for (int w = 1; w < workers; ++w) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
}

}  // namespace

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
    }
    RunJobs(jobs, args.Options, std::max(1, workers));
    int status = 0;
    for (const TFileJob& job : jobs) {
        if (!job.Done) break;  // not started: an earlier picture ended the run
        for (const std::string& line : job.Result.Log) out << line << "\n";
        if (!job.Error.empty()) {
            out.flush();
            err << "quorix-resize: " << job.Source << ": " << job.Error << "\n";
            return 1;
        }
        if (job.Result.Outcome == TResizeOutcome::SaveFailed) err << "quorix-resize: " << job.Result.SaveError << "\n";
        if (job.Result.Outcome == TResizeOutcome::CannotOpen)
            err << "quorix-resize: " << job.Source << ": " << job.Result.Reason << "\n";
        if (job.Result.Outcome != TResizeOutcome::Written) status = 1;
    }
    return status;
}

}  // namespace quorix
