// SPDX-License-Identifier: GPL-3.0-or-later
// The clock and the timer of the running station.
#pragma once

#include "station/ports.h"

#include <QTimer>
#include <functional>

class SystemClock : public ClockPort {
public:
    QTime utcTimeOfDay() const override;
};

// A repeating QTimer that calls `onTick` on every tick, on the thread that owns it.
class QtTimer : public TimerPort {
public:
    explicit QtTimer(std::function<void()> onTick);
    void start(int intervalMs) override;
    void stop() override;
    bool running() const override;

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};
