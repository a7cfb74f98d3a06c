// One picture from file to resized output: at most one file written and the
// log lines that say what happened.
#pragma once

#include "Graphic.h"
#include "ResizeOptions.h"
#include "RunSources.h"

#include <string>
#include <vector>

namespace quorix {

enum class TResizeOutcome {
    Written,
    SourceMissing,
    CannotOpen,
    HugeImage,
    NoMode,
    OutputExists,
    ReplacesSource,
    ResizeFailed,
    SaveFailed,
};

struct TResizeResult {
    TResizeOutcome Outcome = TResizeOutcome::Written;
    std::vector<std::string> Log;  // lines for the log, in order
    std::vector<std::string> Warnings;  // those lines of a written picture that warn, also in Log
    std::string OutputName;        // empty when no name was reached
    std::string SaveError;         // what the encoder or the file system said, on SaveFailed
    std::string Reason;            // why the picture could not be opened, on CannotOpen
    int Width = 0, Height = 0;     // the output's size, when written
};

// Decodes imageName into picture (which keeps the decoded source, as the
// preview does), resizes it as options say and writes it into outPath, a
// folder ending in PathDelim. A picture whose header or pixels cannot be
// decoded, or that runs out of memory, costs only itself (CannotOpen). Errors
// that end a job leave as exceptions: "Image is too large." and arithmetic
// errors of the size computation. Nothing is written then.
// An output that would be the source itself, or any of sources, is never
// written (ReplacesSource).
TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath,
                          const TResizeOptions& options, TPicture& picture, const TRunSources* sources = nullptr);
TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath,
                          const TResizeOptions& options, const TRunSources* sources = nullptr);

}  // namespace quorix
