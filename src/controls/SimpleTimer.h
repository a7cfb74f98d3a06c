// A timer without a window: an interval, an event, and an optional stop after
// the first tick.
#pragma once

#include <QTimer>

#include <functional>

namespace quorix {

class TSimpleTimer {
public:
    TSimpleTimer();                                               // 1000 ms, disabled, no event
    TSimpleTimer(unsigned interval, std::function<void()> onTimer);  // disabled, as CreateEx
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return FInterval; }
    void SetInterval(unsigned interval);
    bool AutoDisable = false;
    int Tag = 0;
    const std::function<void()>& OnTimer() const { return FOnTimer; }
    void SetOnTimer(std::function<void()> onTimer);
    bool Running() const { return FTimer.isActive(); }

private:
    void Tick();
    void Restart();

    QTimer FTimer;
    bool FEnabled = false;
    unsigned FInterval = 1000;
    std::function<void()> FOnTimer;
};

}  // namespace quorix
