// Runs quorix-resize: the pipeline over each file, log lines to out.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorix {

// Returns the exit status: 0 all written, 1 any skipped or failed, 2 usage error.
// A signal's number is 128 less than the status then.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Asks a running RunCli to start no further picture (safe in a signal
// handler); the first signal asked for is kept.
void StopCli(int signal);
int CliStopSignal();

}  // namespace quorix
