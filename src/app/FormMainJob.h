// The state of the window's running job, shared by the files that start and end it.
#pragma once

#include "BatchRunner.h"
#include "FormMain.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix {

// A running job: its pictures and how far they are.
struct TMainForm::TJob {
    bool Single = false;
    std::string Folder;              // the pictures' folder, as the path box read when the job started
    std::string Output;              // the output folder, settled when the job started
    std::vector<std::string> Names;  // the batch's names, or the one picture's path
    std::string Within;              // the one picture's sub-folder, as listed
    std::vector<TPictureOutput> Outputs;  // as the controls and the recipe were when the job started
    // What became of the outputs so far, for the summary at the end.
    size_t Written = 0, Kept = 0, Failed = 0;
    size_t Renamed = 0;              // outputs whose name an earlier one of the job had
    int64_t BytesBefore = 0, BytesAfter = 0;  // the sources read and the outputs written
    std::unique_ptr<TBatchRunner> Runner;
    size_t Next = 0, InFlight = 0, Reported = 0;
    bool Aborted = false;  // abort came while pictures were still to start
    std::string Error;     // an error that ended the job
    uint32_t Start = 0;
    std::chrono::steady_clock::time_point Began = std::chrono::steady_clock::now();
};

}  // namespace quorix
