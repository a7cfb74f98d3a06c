// What the window's tests share: a window started as the program starts it,
// and an update checker that never reaches the network.
#pragma once

#include "FormMain.h"

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

}  // namespace quorix::test
