// Modal messages to the user. Every message goes through one replaceable sink:
// the window installs one that shows a dialog, tests install one that records.
#pragma once

#include <functional>
#include <string>

namespace quorix {

enum class TMessageKind { Plain, Error, Warning, Information };

using TMessageSink = std::function<void(TMessageKind kind, const std::string& text)>;

// Installs a sink and returns the previous one. An empty sink restores the default,
// which writes the message to standard error.
TMessageSink SetMessageSink(TMessageSink sink);

// A Yes/No question; the default answer, without a window, is No.
using TQuestionSink = std::function<bool(const std::string& caption, const std::string& text)>;
TQuestionSink SetQuestionSink(TQuestionSink sink);
bool AskYesNo(const std::string& caption, const std::string& text);

// Each shows nothing for an empty text; "CRLF" tokens become line breaks.
void ShowPlainMessage(const std::string& text);
void ShowError(const std::string& text);
void ShowWarning(const std::string& text);
void ShowInfo(const std::string& text);

}  // namespace quorix
