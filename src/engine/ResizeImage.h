// One picture from file to resized output: at most one file written and the
// log lines that say what happened.
#pragma once

#include "Graphic.h"
#include "ResizeOptions.h"
#include "RunNames.h"
#include "RunSources.h"
#include "TargetSize.h"

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
    std::string Key;               // the output's name in its recipe
    int Quality = 0;               // the quality a lossy output was written at (a size limit's choice)
};

// Decodes imageName into picture (which keeps the decoded source, as the
// preview does), resizes it as options say and writes it into outPath, a
// folder ending in PathDelim. A picture whose header or pixels cannot be
// decoded, or that runs out of memory, costs only itself (CannotOpen). Errors
// that end a job leave as exceptions: "Image is too large." and arithmetic
// errors of the size computation. Nothing is written then.
// An output that would be the source itself, or any of sources, is never
// written (ReplacesSource).
// A picture of a run takes the name the run gives it (Names, at its Index;
// its second output at Index + 1, and so on): a name an earlier output of
// the run has is not written again.
struct TRunPlace {
    TRunNames* Names = nullptr;
    size_t Index = 0;
};

// The same for every output of a picture, which is decoded once (again only
// for outputs that need it decoded another way): one result per output, in
// order; where the picture cannot be read as outputs need it, one result
// says so in place of those outputs.
std::vector<TResizeResult> ResizePicture(const std::string& imageName, const std::string& outPath,
                                         const std::vector<TPictureOutput>& outputs, TPicture& picture,
                                         const TRunSources* sources = nullptr, const TRunPlace* place = nullptr);
TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                          TPicture& picture, const TRunSources* sources = nullptr, const TRunPlace* place = nullptr);
TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath, const TResizeOptions& options,
                          const TRunSources* sources = nullptr, const TRunPlace* place = nullptr);

// What the output's name is made of, as far as the header and the metadata
// tell before decoding: the date taken for {date}, the output's size for
// {width} and {height} (0 where the header cannot say).
TNameFacts PlannedNameFacts(const std::string& imageName, const TResizeOptions& options);

// The line of a written picture: its name, and that it was renamed.
std::string WrittenLine(const std::string& outputName, bool renamed);

}  // namespace quorix
