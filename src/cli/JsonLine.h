// One picture's outcome as a line of JSON, for scripts that run quorix-resize.
#pragma once

#include "BatchRunner.h"

#include <string>

namespace quorix {

// A JSON string of bytes: valid UTF-8 as it stands, control characters,
// quotes and backslashes escaped, and each byte that is not UTF-8 as \u00XX
// (its Latin-1 reading), so that any file name gives valid JSON.
std::string JsonString(const std::string& bytes);

// {"source":…,"output":…,"outcome":…,"log":…,"width":…,"height":…,"bytes":…,"milliseconds":…}
// ,"key":… after the source for an output of a recipe.
std::string JsonLine(const TBatchOutcome& outcome, const TResizeResult& result);
// One line per output of the picture (without the last line feed); one
// line for an outcome that ended the job before any output.
std::string JsonLines(const TBatchOutcome& outcome);

}  // namespace quorix
