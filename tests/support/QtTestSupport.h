// What every Qt test needs: the offscreen platform, a home and XDG folders of
// its own, and message boxes that answer by themselves.
#pragma once

#include "OrvelMessages.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <utility>
#include <vector>

namespace quorix::test {

// A fresh HOME with its own XDG folders, for one test.
class TTempHome {
public:
    TTempHome();
    QString Path(const QString& relative = QString()) const { return FDir.path() + "/" + relative; }

private:
    QTemporaryDir FDir;
};

// Records every message box; questions get the answer set here.
class TMessageLog {
public:
    TMessageLog();
    ~TMessageLog();
    std::vector<std::pair<TMessageKind, std::string>> Messages;
    std::vector<std::string> Questions;
    bool Answer = false;

private:
    TMessageSink FPreviousSink;
    TQuestionSink FPreviousQuestion;
};

// Sets up the environment, creates the application and runs the test object.
int RunQtTests(int argc, char** argv, QObject& tests);

}  // namespace quorix::test

#define QUORIX_QT_TEST_MAIN(TestClass)                      \
    int main(int argc, char** argv) {                       \
        TestClass tests;                                    \
        return quorix::test::RunQtTests(argc, argv, tests); \
    }
