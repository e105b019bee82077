// SPDX-License-Identifier: GPL-3.0-or-later
// Plays an exercise script in time, with start, pause and stop for the instructor.
#pragma once

#include "exchange/exercise.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

namespace exchange {

class ExercisePlayer : public QObject {
    Q_OBJECT
public:
    enum State { Idle, Running, Paused, Finished };
    // `fire` sends an event's record; it is given the event's index in the script.
    using Fire = std::function<void(int index, const ExerciseEvent& e, const VirtualStation& from)>;

    ExercisePlayer(Exercise exercise, Fire fire, QObject* parent = nullptr);

    // From the beginning when idle or finished; from where it was when paused.
    void start();
    void pause();
    // Back to the beginning; events already sent stay sent.
    void stop();

    State state() const { return m_state; }
    QString stateName() const;
    qint64 positionMs() const;   // time into the exercise
    int nextEvent() const { return m_next; }
    const Exercise& exercise() const { return m_exercise; }

signals:
    void changed();

private:
    void fireDue();
    void armTimer();

    Exercise m_exercise;
    Fire m_fire;
    State m_state = Idle;
    int m_next = 0;
    qint64 m_offsetMs = 0;   // position when last started or paused
    QElapsedTimer m_clock;   // running since the last start
    QTimer m_timer;
};

} // namespace exchange
