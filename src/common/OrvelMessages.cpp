#include "OrvelMessages.h"

#include "OrvelTPU.h"

#include <iostream>
#include <utility>

namespace quorix {

namespace {

void DefaultSink(TMessageKind kind, const std::string& text) {
    static const char* const captions[] = {"", "Error: ", "Warning: ", "Information: "};
    std::cerr << captions[static_cast<int>(kind)] << text << std::endl;
}

TMessageSink& CurrentSink() {
    static TMessageSink sink = DefaultSink;
    return sink;
}

void Show(TMessageKind kind, const std::string& text) {
    if (text.empty()) return;
    CurrentSink()(kind, ExpandCrlfTokens(text));
}

}  // namespace

static TQuestionSink& CurrentQuestionSink() {
    static TQuestionSink sink;
    return sink;
}

TMessageSink SetMessageSink(TMessageSink sink) {
    TMessageSink previous = std::move(CurrentSink());
    CurrentSink() = sink ? std::move(sink) : TMessageSink(DefaultSink);
    return previous;
}

TQuestionSink SetQuestionSink(TQuestionSink sink) {
    TQuestionSink previous = std::move(CurrentQuestionSink());
    CurrentQuestionSink() = std::move(sink);
    return previous;
}

bool AskYesNo(const std::string& caption, const std::string& text) {
    return CurrentQuestionSink() ? CurrentQuestionSink()(caption, text) : false;
}

void ShowPlainMessage(const std::string& text) { Show(TMessageKind::Plain, text); }
void ShowError(const std::string& text) { Show(TMessageKind::Error, text); }
void ShowWarning(const std::string& text) { Show(TMessageKind::Warning, text); }
void ShowInfo(const std::string& text) { Show(TMessageKind::Information, text); }

}  // namespace quorix
