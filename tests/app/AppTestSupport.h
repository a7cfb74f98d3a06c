// What the window's tests share: a window started as the program starts it,
// and an update checker that never reaches the network.
#pragma once

#include "FormMain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <memory>

namespace quorix::test {

// The start-up check of every window made afterwards fails at once.
inline void NoNetwork() {
    SetDefaultHttpTransport([](const THttpRequest&, const THttpSink&) { return THttpOutcome::Failed; });
}

// A window after the program's start-up sequence; its settings are saved when it goes.
inline std::unique_ptr<TMainForm> StartedForm() {
    SettingsSaved = false;
    auto form = std::make_unique<TMainForm>();
    form->LateInitialize();
    return form;
}

// Runs the event loop until the window's job, preview and advisor have
// delivered everything; false when that took longer than a minute.
inline bool Settle(TMainForm& form) {
    QDeadlineTimer deadline(60000);
    while (form.Busy() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
    return !form.Busy();
}

}  // namespace quorix::test
