// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/system_ports.h"

#include <QDateTime>

QTime SystemClock::utcTimeOfDay() const
{
    return QDateTime::currentDateTimeUtc().time();
}

QtTimer::QtTimer(std::function<void()> onTick) : m_onTick(std::move(onTick))
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_onTick)
            m_onTick();
    });
}

void QtTimer::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void QtTimer::stop()
{
    m_timer.stop();
}

bool QtTimer::running() const
{
    return m_timer.isActive();
}
