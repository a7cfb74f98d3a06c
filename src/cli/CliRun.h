// Runs quorix-resize: the pipeline over each file, log lines to out.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorix {

// Returns the exit status: 0 all written, 1 any skipped or failed, 2 usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quorix
