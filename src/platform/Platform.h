// The desktop services the window uses, in one place: message boxes, the busy
// cursor, sounds, the tick counter, the trash, opening addresses and the
// program's version. Tests replace the parts that would reach the desktop.
#pragma once

#include "OrvelTPU.h"

#include <QColor>
#include <QIcon>
#include <QDateTime>
#include <QString>

class QMessageBox;

#include <cstdint>
#include <functional>
#include <string>

namespace quorix {

// Message and question boxes shown with QMessageBox (installs the sinks of OrvelMessages).
void InstallDialogSinks();
// Widens a message box to show its whole title beside the title bar's buttons.
void FitTitle(QMessageBox& box);

void ShowBusyCursor();
void RestoreCursor();  // one call ends any number of ShowBusyCursor

// The tone after a job, and the refusal sound of an edit. Counted, for tests.
void BeepDone();
void MessageBeepExclamation();
int BeepCount();

// Milliseconds of a monotonic clock cut to 32 bits; tests install their own clock.
uint32_t TickCount();
// The local date and time, injectable in tests.
QDateTime Now();
void SetNowSource(std::function<QDateTime()> source);  // empty: the real clock
// Days since 30 December 1899, the time of day as the fraction; 0 for no date.
double DateTimeValue(const QDateTime& moment);
void SetTickSource(std::function<uint32_t()> source);  // empty: the real clock

// 0 when the file went to the trash (or was removed without undo) or the user
// declined; otherwise a non-zero code.
int RecycleFile(bool allowUndo, bool askFirst, const std::string& path);

// Opens an address, folder or document with the desktop; true on success.
bool ShellOpen(const std::string& target);
using TShellOpenHandler = std::function<bool(const std::string&)>;
void SetShellOpenHandler(TShellOpenHandler handler);  // empty: the desktop
// Runs a program with its parameters, or opens a document with its application.
bool ShellExecuteFile(const std::string& file, const std::string& parameters);

std::string GetAppVersion();

// The user's number separators, for the helpers that format numbers.
TNumberFormat LocaleNumberFormat();
char LocaleDecimalSeparator();

// Colours are stored as 0x00BBGGRR values, red in the low byte.
inline QColor ColorFromValue(uint32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}
inline uint32_t ValueOfColor(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 | static_cast<uint32_t>(c.blue()) << 16;
}

// The program's own icon: window, tray and shortcut.
QIcon AppIcon();

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

}  // namespace quorix
