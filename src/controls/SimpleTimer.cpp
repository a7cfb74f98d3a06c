#include "SimpleTimer.h"

namespace quorix {

TSimpleTimer::TSimpleTimer() { QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); }); }

TSimpleTimer::TSimpleTimer(unsigned interval, std::function<void()> onTimer) : TSimpleTimer() {
    FInterval = interval;
    FOnTimer = std::move(onTimer);
}

void TSimpleTimer::SetEnabled(bool enabled) {
    if (!enabled) {
        FTimer.stop();
        FEnabled = false;
        return;
    }
    if (FInterval == 0) return;  // an interval of 0 leaves the timer disabled
    FEnabled = true;
    Restart();
}

void TSimpleTimer::SetInterval(unsigned interval) {
    FInterval = interval;
    if (!FEnabled) return;
    if (interval == 0) SetEnabled(false);
    else Restart();
}

void TSimpleTimer::SetOnTimer(std::function<void()> onTimer) {
    FOnTimer = std::move(onTimer);
    if (!FOnTimer) FTimer.stop();
}

void TSimpleTimer::Restart() { FTimer.start(static_cast<int>(FInterval)); }

void TSimpleTimer::Tick() {
    if (AutoDisable) SetEnabled(false);
    if (FOnTimer) FOnTimer();
}

}  // namespace quorix
