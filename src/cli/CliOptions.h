// The command line of quorix-resize.
#pragma once

#include "ResizeOptions.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quorix {

struct TCliArguments {
    TResizeOptions Options;  // the run's options
    std::vector<TPictureOutput> Outputs;  // what is made of each picture: one output with Options, or a recipe's
    std::string OutFolder;  // empty: each source's folder + "Output/"
    std::vector<std::string> Files;
    int Threads = 0;  // 0: every core
    bool Json = false;       // one JSON object a line per picture instead of the log
    bool Recursive = false;  // folders stand for the pictures under them
    bool Quiet = false;      // no progress line on a terminal
    bool Help = false;
    bool Version = false;
};

class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises EUsageError with a message for the user.
TCliArguments ParseArguments(const std::vector<std::string>& args);
std::string UsageText();

// Each option's synopsis ("-q, --quality Q") and help, the job's (the
// option table's rows) before the run's: what --help and the man page say.
struct TOptionHelp {
    std::string Synopsis, Help;
    bool Job = true;
};
std::vector<TOptionHelp> OptionHelp();
// The man page: its template with "@OPTIONS@" made the options' list.
std::string ManPageText(const std::string& pageTemplate);

}  // namespace quorix
