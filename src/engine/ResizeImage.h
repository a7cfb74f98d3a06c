// One picture from file to resized output: at most one file written and the
// log lines that say what happened.
#pragma once

#include "Graphic.h"
#include "ResizeOptions.h"

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
    ResizeFailed,
    SaveFailed,
};

struct TResizeResult {
    TResizeOutcome Outcome = TResizeOutcome::Written;
    std::vector<std::string> Log;  // lines for the log, in order
    std::string OutputName;        // empty when no name was reached
    std::string SaveError;         // what the encoder or the file system said, on SaveFailed
};

// Picture sides above which the guard skips a picture (both must exceed it).
constexpr int HugeImageSide = 10000;

// Decodes imageName into picture (which keeps the decoded source, as the
// preview does), resizes it as options say and writes it into outPath, a
// folder ending in PathDelim. Errors the caller must see leave as exceptions:
// "Image is too large.", arithmetic errors of the size computation, and a
// picture that loaded but cannot be converted for resampling. Nothing is
// written then.
TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath,
                          const TResizeOptions& options, TPicture& picture);
TResizeResult ResizeImage(const std::string& imageName, const std::string& outPath,
                          const TResizeOptions& options);

}  // namespace quorix
