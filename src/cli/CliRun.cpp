#include "CliRun.h"

#include "CliOptions.h"
#include "OrvelTPU.h"
#include "Resample.h"
#include "ResizeImage.h"

#include <exception>
#include <filesystem>
#include <ostream>

#ifndef QUORIX_VERSION
#define QUORIX_VERSION ""
#endif

namespace quorix {

namespace {

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

std::string OutputFolderFor(const std::string& source, const TCliArguments& args) {
    if (!args.OutFolder.empty()) return EnsureTrailingDelimiter(AbsolutePath(args.OutFolder));
    return ExtractFilePath(source) + "Output" + PathDelim;
}

}  // namespace

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    TCliArguments args;
    try {
        args = ParseArguments(argv);
    } catch (const EUsageError& e) {
        err << "quorix-resize: " << e.what() << "\nTry 'quorix-resize --help' for more information.\n";
        return 2;
    }
    if (args.Help) {
        out << UsageText();
        return 0;
    }
    if (args.Version) {
        out << "quorix-resize " << QUORIX_VERSION << "\n";
        return 0;
    }
    if (args.Threads > 0) SetResampleThreads(args.Threads);
    int status = 0;
    for (const std::string& file : args.Files) {
        std::string source = AbsolutePath(file);
        std::string outPath = OutputFolderFor(source, args);
        if (FileExists(source) || !args.OutFolder.empty()) EnsureFolder(outPath);
        try {
            TResizeResult result = ResizeImage(source, outPath, args.Options);
            for (const std::string& line : result.Log) out << line << "\n";
            if (result.Outcome == TResizeOutcome::SaveFailed) err << "quorix-resize: " << result.SaveError << "\n";
            if (result.Outcome != TResizeOutcome::Written) status = 1;
        } catch (const std::exception& e) {
            out.flush();
            err << "quorix-resize: " << e.what() << "\n";
            return 1;
        }
    }
    return status;
}

}  // namespace quorix
