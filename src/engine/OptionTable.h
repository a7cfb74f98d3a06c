// Every option of a job, declared once: its key in output key lists and recipe
// files, its command-line flag, its place in the settings file, its range,
// help text and the window's caption and controls. The command line, --help,
// the man page, the settings file, recipes and the window's controls all
// read and write options through these rows.
#pragma once

#include "OrvelIniFile.h"
#include "ResizeOptions.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorix {

class EOptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the rows set while a list of options is read: the options, and what
// can only be settled once they are all known.
struct TOptionEntry {
    TResizeOptions Options;
    std::string Factor, FactorNamed;  // the factor of the mode, whichever it turns out to be, and who gave it
    std::string NameNamed;  // who gave the name template
    bool Sized = false, Moded = false;
};

struct TOptionRow {
    std::string Key;        // key=value in output key lists and recipe files
    std::string Flag;       // --flag on the command line
    char Short = 0;         // -q, or none
    std::string Arg;        // the value's name in --help; empty for a flag that takes none
    std::string FlagValue;  // what a flag without a value sets its key to ("yes", "no")
    std::string Help;       // --help and the man page; "\n" starts a new line
    std::string Caption;    // the window's caption for it
    std::vector<std::string> Controls;  // the window's controls that show it, by object name
    std::vector<std::string> Choices;   // the values it takes, where they are few
    std::string Section, Setting;       // its place in the settings file
    // Sets the option from text as the command line and key lists give it; raises
    // EOptionError naming the flag or key.
    std::function<void(TOptionEntry&, const std::string& value, const std::string& named)> Set;
    // The option's value as text that Set reads back; empty for a row that
    // is only another way of writing others (--resize).
    std::function<std::string(const TResizeOptions&)> Get;
    std::function<void(const TOrvelIniFile&, const std::string& section, TResizeOptions&)> Load;
    std::function<void(TOrvelIniFile&, const std::string& section, const TResizeOptions&)> Save;
    bool Derived() const { return !Get; }
};

const std::vector<TOptionRow>& OptionTable();
const TOptionRow* FindOptionKey(const std::string& key);
const TOptionRow* FindOptionFlag(const std::string& flag);  // "--quality" or "-q"

// A size alone means the box to fit within; a factor belongs to the mode.
// Raises EOptionError for a name template that cannot be used.
void SettleOptions(TOptionEntry& entry);


// The options as the settings file keeps them, in each row's place; section
// "" reads and writes each row's own section, another name puts every row
// in that section (a recipe's output).
TResizeOptions LoadOptions(const TOrvelIniFile& ini, const std::string& section = "");
void SaveOptions(TOrvelIniFile& ini, const TResizeOptions& options, const std::string& section = "");

// What the options' help looks like for a row: "  -q, --quality Q".
std::string OptionSynopsis(const TOptionRow& row);

}  // namespace quorix
