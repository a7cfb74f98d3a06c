#include "QtTestSupport.h"

#include <QDir>

#include <cstdlib>

namespace quorix::test {

TTempHome::TTempHome() {
    const QByteArray home = FDir.path().toLocal8Bit();
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    QDir().mkpath(FDir.path() + "/.config");
}

TMessageLog::TMessageLog() {
    FPreviousSink = SetMessageSink([this](TMessageKind kind, const std::string& text) { Messages.emplace_back(kind, text); });
    FPreviousQuestion = SetQuestionSink([this](const std::string&, const std::string& text) {
        Questions.push_back(text);
        return Answer;
    });
}

TMessageLog::~TMessageLog() {
    SetMessageSink(FPreviousSink);
    SetQuestionSink(FPreviousQuestion);
}

int RunQtTests(int argc, char** argv, QObject& tests) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    TTempHome home;  // nothing a test does reaches the user's own settings
    QApplication application(argc, argv);
    application.setApplicationName("Quorix Image Resizer");
    return QTest::qExec(&tests, argc, argv);
}

}  // namespace quorix::test
