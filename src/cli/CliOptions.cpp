#include "CliOptions.h"

#include "Graphic.h"
#include "OptionTable.h"
#include "OptionValues.h"
#include "Recipe.h"

#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

namespace quorix {

namespace {

// The options of the run itself; the job's options are the option table's rows.
struct TRunOption {
    const char* Flag;
    char Short;
    const char* Arg;  // "" for a flag
    const char* Help;
};

const TRunOption RunOptions[] = {
    {"--output", 0, "KEYS",
     "one more output of each picture: key=value,... with the keys in\n"
     "brackets above, over the run's options (mode=fit,size=320x320,\n"
     "format=webp,name={name}-thumb); may be given more than once: each\n"
     "picture is decoded once for all of them"},
    {"--recipe", 0, "FILE", "the outputs of a recipe file: one [section] per output, key=value\nlines as --output takes them"},
    {"--out", 'o', "DIR", "write every output into DIR instead"},
    {"--files-from", 0, "FILE", "also the pictures named in FILE ('-': standard input), one a line;\nmay be given more than once"},
    {"-0", 0, "", "the names in --files-from end with a NUL byte instead"},
    {"--recursive", 'r', "",
     "folders as arguments: every picture under them, written at the\n"
     "same place under --out (under a folder of each one's name when\n"
     "there are several) or the folder's own Output; output folders are\n"
     "never read"},
    {"--json", 0, "",
     "one JSON object a line per output: source, key (of a recipe's\n"
     "output), output, outcome, log, warnings, width, height, bytes,\n"
     "milliseconds (and source_bytes, output_bytes in base64 for names\n"
     "that are not UTF-8)"},
    {"--threads", 'j', "N",
     "cores to use: one picture spreads over them, several take one\n"
     "each (default: the CPUs this process may use)"},
    {"--quiet", 0, "", "no progress line on standard error when it is a terminal"},
    {"--help", 'h', "", "this text"},
    {"--version", 0, "", "the program's version"},
};

// --flag=value split into the flag and its value (true), and a short name made long.
bool SplitOption(std::string& arg, std::string& attached) {
    bool split = false;
    if (arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
        attached = arg.substr(arg.find('=') + 1);
        arg = arg.substr(0, arg.find('='));
        split = true;
    }
    if (arg.size() == 2 && arg[0] == '-') {
        for (const TRunOption& o : RunOptions)
            if (o.Short == arg[1]) arg = o.Flag;
        if (const TOptionRow* row = FindOptionFlag(arg)) arg = row->Flag;
    }
    return split;
}

// "  -q, --quality Q    text", the text's further lines under its first.
std::string HelpLines(std::string synopsis, const std::string& help) {
    synopsis = "  " + synopsis;
    std::string text = synopsis + (synopsis.size() < 21 ? std::string(21 - synopsis.size(), ' ') : "\n" + std::string(21, ' '));
    for (const char c : help) text += c == '\n' ? std::string("\n") + std::string(21, ' ') : std::string(1, c);
    return text + "\n";
}

std::string RunSynopsis(const TRunOption& o) {
    std::string text = o.Short ? std::string("-") + o.Short + ", " + o.Flag : o.Flag;
    return *o.Arg ? text + " " + o.Arg : text;
}

}  // namespace

std::vector<TOptionHelp> OptionHelp() {
    std::vector<TOptionHelp> entries;
    for (const TOptionRow& row : OptionTable())
        entries.push_back({OptionSynopsis(row), row.Help + " [" + row.Key + (row.FlagValue.empty() ? "" : "=" + row.FlagValue) + "]", true});
    for (const TRunOption& o : RunOptions) entries.push_back({RunSynopsis(o), o.Help, false});
    return entries;
}

namespace {

// Text for roff: minus signs as such, and no line that starts like a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '-' || c == '\\') out += '\\';
        out += c == '\n' ? ' ' : c;
    }
    return !out.empty() && (out[0] == '.' || out[0] == '\'') ? "\\&" + out : out;
}

}  // namespace

std::string ManPageText(const std::string& pageTemplate) {
    std::string options;
    bool job = true;
    options += ".SS \"The job's options\"\nThe key in brackets is the option's key in \\-\\-output key lists and recipe files.\n";
    for (const TOptionHelp& entry : OptionHelp()) {
        if (job && !entry.Job) options += ".SS \"The run's options\"\n";
        job = entry.Job;
        options += ".TP\n.B " + Roff(entry.Synopsis) + "\n" + Roff(entry.Help) + "\n";
    }
    const std::string mark = "@OPTIONS@\n";
    std::string page = pageTemplate;
    const size_t at = page.find(mark);
    if (at != std::string::npos) page.replace(at, mark.size(), options);
    return page;
}

std::string UsageText() {
    std::string read;
    for (const std::string& family : PictureFamilies()) read += (read.empty() ? "" : ", ") + family;
    std::string text = "Usage: quorix-resize [options] FILE...\n"
                       "Resizes each picture (" + read + ")\n"
                       "and writes it into the folder \"Output\" beside it, printing one log line per picture\n"
                       "and output. Options take their value as the next argument or after '=' (--quality=80).\n"
                       "\nThe job's options (the keys of --output and --recipe in brackets):\n";
    bool job = true;
    for (const TOptionHelp& entry : OptionHelp()) {
        if (job && !entry.Job) text += "\nThe run's options:\n";
        job = entry.Job;
        text += HelpLines(entry.Synopsis, entry.Help);
    }
    return text +
           "\n"
           "Lines beginning \"WARNING!\" after a written picture name what was left out of it\n"
           "(a metadata block the format cannot carry or that was refused) or repaired.\n"
           "\n"
           "Exit status: 0 when every picture is in place (written, or already there under\n"
           "--no-overwrite), 1 when any failed or was refused or a folder could not be read,\n"
           "2 for a usage error, 128 + the signal's number when interrupted: the first signal\n"
           "finishes the pictures in flight, a second one ends the run at once without them.\n";
}

// The names in a list file, their bytes as they stand: one a line (a final
// line without its line feed counts; a carriage return before the line feed
// is not part of the name), or each ended by NUL. Empty names are skipped.
namespace {

struct TRunLists {
    std::vector<std::string> FilesFrom, KeyLists;
    std::string Recipe;
    bool NulSeparated = false;
};

void ReadFileList(const std::string& from, bool nulSeparated, std::vector<std::string>& files) {
    std::ifstream file;
    if (from != "-") {
        file.open(from, std::ios::binary);
        if (!file) throw EUsageError("cannot read the file list " + from + " of --files-from");
    }
    std::istream& in = from == "-" ? std::cin : file;
    std::string name;
    while (std::getline(in, name, nulSeparated ? '\0' : '\n')) {
        if (!nulSeparated && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) files.push_back(name);
    }
}

// The outputs of the run: a recipe's, then each --output's, or the options alone.
void SettleOutputs(TCliArguments& result, const std::string& recipeFile, const std::vector<std::string>& lists) {
    TRecipe recipe;
    if (!recipeFile.empty()) {
        std::ifstream file(recipeFile, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        if (!file) throw EUsageError("cannot read the recipe " + recipeFile + " of --recipe");
        recipe = ParseRecipeFile(text.str());
    }
    for (size_t i = 0; i < lists.size(); ++i) {
        recipe.Outputs.push_back(ParseOutputKeyValues(lists[i]));
        recipe.Outputs.back().Key = std::to_string(recipe.Outputs.size());
    }
    result.Outputs = recipe.Outputs.empty() ? std::vector<TPictureOutput>{{"", result.Options}}
                                            : RecipeOutputs(recipe, result.Options);
}

// A run option; false for one of the job's.
bool TakeRunOption(const std::string& arg, const std::function<std::string()>& value, TCliArguments& result,
                   TRunLists& lists) {
    if (arg == "--help") result.Help = true;
    else if (arg == "--version") result.Version = true;
    else if (arg == "--out") result.OutFolder = value();
    else if (arg == "--threads") result.Threads = ParseWholeValue(arg, value(), 1, 4096);
    else if (arg == "--files-from") lists.FilesFrom.push_back(value());
    else if (arg == "--output") lists.KeyLists.push_back(value());
    else if (arg == "--recipe") lists.Recipe = value();
    else if (arg == "-0") lists.NulSeparated = true;
    else if (arg == "--json") result.Json = true;
    else if (arg == "--quiet") result.Quiet = true;
    else if (arg == "--recursive") result.Recursive = true;
    else return false;
    return true;
}

TCliArguments ParseOptions(const std::vector<std::string>& args) {
    TCliArguments result;
    TOptionEntry entry;
    TRunLists lists;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            result.Files.push_back(arg);
            continue;
        }
        std::string attached;
        bool hasAttached = SplitOption(arg, attached);
        auto value = [&]() -> std::string {
            if (hasAttached) {
                hasAttached = false;
                return attached;
            }
            if (i + 1 >= args.size()) throw EUsageError("option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--") {
            optionsEnded = true;
        } else if (!TakeRunOption(arg, value, result, lists)) {
            const TOptionRow* row = FindOptionFlag(arg);
            if (!row) throw EUsageError("unknown option " + arg);
            row->Set(entry, row->Arg.empty() ? row->FlagValue : value(), arg);
        }
        if (hasAttached) throw EUsageError("option " + arg + " takes no value");
    }
    SettleOptions(entry);
    result.Options = entry.Options;
    SettleOutputs(result, lists.Recipe, lists.KeyLists);
    for (const std::string& list : lists.FilesFrom) ReadFileList(list, lists.NulSeparated, result.Files);
    if (result.Files.empty() && !result.Help && !result.Version) throw EUsageError("no picture files given");
    return result;
}

}  // namespace

TCliArguments ParseArguments(const std::vector<std::string>& args) {
    try {
        return ParseOptions(args);
    } catch (const EOptionError& e) {
        throw EUsageError(e.what());
    }
}

}  // namespace quorix
