// The application's top-level error handler: every error that leaves an event
// handler shows its text, and the program goes on.
#pragma once

#include "ErrorGuard.h"

#include <QApplication>

namespace quorix {

class TQuorixApplication : public QApplication {
public:
    TQuorixApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quorix
