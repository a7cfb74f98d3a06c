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
std::string JsonLine(const TBatchOutcome& outcome);

}  // namespace quorix
