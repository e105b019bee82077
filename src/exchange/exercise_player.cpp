// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/exercise_player.h"

namespace exchange {

ExercisePlayer::ExercisePlayer(Exercise exercise, Fire fire, QObject* parent)
    : QObject(parent), m_exercise(std::move(exercise)), m_fire(std::move(fire))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ExercisePlayer::fireDue);
}

QString ExercisePlayer::stateName() const
{
    switch (m_state) {
    case Running: return QStringLiteral("running");
    case Paused: return QStringLiteral("paused");
    case Finished: return QStringLiteral("finished");
    case Idle: break;
    }
    return QStringLiteral("idle");
}

qint64 ExercisePlayer::positionMs() const
{
    return m_state == Running ? m_offsetMs + m_clock.elapsed() : m_offsetMs;
}

void ExercisePlayer::start()
{
    if (m_state == Running)
        return;
    if (m_state == Idle || m_state == Finished) {
        m_next = 0;
        m_offsetMs = 0;
    }
    m_state = Running;
    m_clock.start();
    fireDue();
    emit changed();
}

void ExercisePlayer::pause()
{
    if (m_state != Running)
        return;
    m_offsetMs += m_clock.elapsed();
    m_timer.stop();
    m_state = Paused;
    emit changed();
}

void ExercisePlayer::stop()
{
    if (m_state == Idle)
        return;
    m_timer.stop();
    m_state = Idle;
    m_next = 0;
    m_offsetMs = 0;
    emit changed();
}

void ExercisePlayer::fireDue()
{
    const qint64 now = positionMs();
    const auto& events = m_exercise.events;
    while (m_state == Running && m_next < int(events.size()) && events[size_t(m_next)].offsetMs <= now) {
        const int index = m_next++;
        const ExerciseEvent& e = events[size_t(index)];
        if (const VirtualStation* from = m_exercise.find(e.station))
            m_fire(index, e, *from);
    }
    if (m_state != Running)
        return;
    if (m_next >= int(events.size())) {
        m_offsetMs = now;
        m_state = Finished;
        emit changed();
        return;
    }
    armTimer();
}

void ExercisePlayer::armTimer()
{
    const qint64 wait = m_exercise.events[size_t(m_next)].offsetMs - positionMs();
    m_timer.start(int(std::max<qint64>(0, wait)));
}

} // namespace exchange
