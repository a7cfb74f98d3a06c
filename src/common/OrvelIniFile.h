// The settings file: sections of key=value lines, names matched without regard
// to case, every value read from the file and every write rewriting it whole
// (a temporary file renamed over it), so a crash never leaves half a file.
#pragma once

#include "OrvelTPU.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorix {

struct TFontInfo {
    std::string Name = "MS Sans Serif";
    int CharSet = 0;
    int Color = 0;
    int Size = 8;
    int Style = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
};

class TOrvelIniFile {
public:
    // The file IniFilePath(appName); a name with a path delimiter is a programming error.
    static TOrvelIniFile CreateEx(const std::string& appName);
    explicit TOrvelIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

    const std::string& FileName() const { return FFileName; }
    // The decimal separator of floats (the user's locale; "." unless set).
    void SetDecimalSeparator(char separator) { FDecimal = separator; }

    bool ValueExists(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    double ReadFloat(const std::string& section, const std::string& key, double def) const;

    // Between these, writes collect in memory and EndUpdate rewrites the file
    // once: a save is one atomic change, never a mix of old and new values.
    // EndUpdate raises like a write.
    void BeginUpdate();
    void EndUpdate();

    // Each raises EFileError "Unable to write to <file>" when the file cannot be
    // written. A file that is a symbolic link is written through the link.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteFloat(const std::string& section, const std::string& key, double value);

    uint32_t ReadColor(const std::string& section, const std::string& key, uint32_t def) const;
    void WriteColor(const std::string& section, const std::string& key, uint32_t value);
    // True when key + "Name" exists; only then is font filled in.
    bool ReadFont(const std::string& section, const std::string& key, const std::string& defaultName,
                  TFontInfo& font) const;
    void WriteFont(const std::string& section, const std::string& key, const TFontInfo& font);

private:
    std::vector<std::string> ReadLines() const;
    void WriteLines(const std::vector<std::string>& lines);

    std::string FFileName;
    char FDecimal = '.';
    bool FUpdating = false;
    std::vector<std::string> FPending;  // the lines while updating
};

// Text to integer as the settings file reads it: decimal, or hexadecimal after
// "0x", "0X" or "$"; false when the text is not a number of 32 bits.
bool ParseIniInteger(const std::string& text, int32_t& value);
// A colour's name ("clBlack", "clBtnFace") or "$" and eight hexadecimal digits.
std::string ColorToText(uint32_t color);
bool TextToColor(const std::string& text, uint32_t& color);
// A real in the general format: at most 15 significant digits, no trailing zeros.
std::string FormatGeneral(double value, char decimalSeparator);

}  // namespace quorix
