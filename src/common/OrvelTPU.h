// Stateless helpers for paths, folders, files and number formatting.
// Plain C++: the imaging core, the engine and the command-line tool use them too.
// Paths are UTF-8; folder paths end in PathDelim wherever the program builds one.
#pragma once

#include <cstdint>
#include <string>

namespace quorix {

constexpr char PathDelim = '/';

// Shell folder codes, kept under their familiar names.
constexpr int CSIDL_PERSONAL = 0x05;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
constexpr int CSIDL_APPDATA = 0x1A;

// --- text and path parts ---
std::string EnsureTrailingDelimiter(const std::string& path);
bool FolderExists(const std::string& path);
bool FileExists(const std::string& path);
std::string NameWithoutExtension(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path);
// 1-based character positions; characters are Unicode code points.
std::string CopyRange(const std::string& text, int from, int to);
int LastPos(const std::string& sub, const std::string& text);
std::string ReverseText(const std::string& text);

// --- folders of the user and of the program ---
std::string SpecialFolderPath(int csidl);
std::string AppDataSubfolderPath(const std::string& name);
std::string EnsureAppDataSubfolder(const std::string& name);
std::string IniFilePath(const std::string& appName);
std::string AppFolder();

// --- creating folders, copying files ---
bool ForceFolders(const std::string& folder);
int EnsureFolder(const std::string& folder);  // 0 existed, 1 created, -1 failed
bool CopyFileInto(const std::string& sourceFile, const std::string& destFolder, bool overwrite);

// --- numbers and sizes ---
// Separators of the user's regional settings; the window passes the locale's.
struct TNumberFormat {
    char32_t ThousandSeparator = U',';
    char32_t DecimalSeparator = U'.';
};

std::string IntToText(int32_t value);
std::string FormatReal(int digits, long double value);
std::string FormatFileSize(int64_t size, const TNumberFormat& format = TNumberFormat());
long double PercentOf(int64_t part, int64_t total);
std::string ExpandCrlfTokens(const std::string& text);

// --- files, with a message to the user where the description names one ---
bool CheckFileExists(const std::string& path);
int64_t FileSizeOf(const std::string& path);
// EnsureFolder, with an error message when the folder cannot be made.
int EnsureFolderWithMessage(const std::string& folder);

}  // namespace quorix
