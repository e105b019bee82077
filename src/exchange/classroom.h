// SPDX-License-Identifier: GPL-3.0-or-later
// What the exchange adds to relaying: virtual stations that answer, a timed exercise, and the
// debriefing of everything it saw.
#pragma once

#include "exchange/debrief.h"
#include "exchange/exercise_player.h"
#include "exchange/options.h"
#include "exchange/virtual_host.h"

#include <QElapsedTimer>
#include <memory>

namespace exchange {

class Relay;

// The real clock and Qt's timers.
class QtScheduler : public Scheduler {
public:
    void after(int delayMs, std::function<void()> work) override;
    QTime utcTimeOfDay() const override;
};

class Classroom {
public:
    // An exercise event as it was sent, and the call it opened (index in the debriefing's calls).
    struct Fired {
        int index = 0;
        qint64 ms = 0;            // since the exchange started, as the debriefing counts
        qint64 exerciseMs = 0;    // into the exercise, from its Start
        QString station, what;
        int call = -1;
    };

    explicit Classroom(Relay& relay);
    // Reads the stations and the exercise; returns the problem, or an empty text.
    QString setUp(const Options& o);
    // Starts the clock, and the exercise unless `playExercise` is false (the console starts it).
    void start(bool playExercise = true);
    QString report() const { return m_debrief.report(); }

    // A record of the instructor's: delivered, debriefed and answered like a station's.
    void deliver(const QByteArray& record);
    void addStation(const VirtualStation& s);
    // Told of every answer a virtual station sends (the record and the station's name).
    void onPartnerAnswer(std::function<void(const QByteArray&, const QString&)> f) { m_partnerAnswer = std::move(f); }

    const Debrief& debrief() const { return m_debrief; }
    Debrief& debrief() { return m_debrief; }
    const VirtualHost& host() const { return *m_host; }
    ExercisePlayer* player() { return m_player.get(); }
    const ExercisePlayer* player() const { return m_player.get(); }
    const std::vector<Fired>& fired() const { return m_fired; }
    // Wall-clock time (ms since the epoch) of a debriefing time.
    qint64 epochMs(qint64 ms) const { return m_startEpochMs + ms; }

private:
    Relay& m_relay;
    QtScheduler m_scheduler;
    std::unique_ptr<VirtualHost> m_host;
    std::unique_ptr<ExercisePlayer> m_player;
    std::vector<Fired> m_fired;
    std::function<void(const QByteArray&, const QString&)> m_partnerAnswer;
    Debrief m_debrief;
    QElapsedTimer m_clock;
    qint64 m_startEpochMs = 0;
};

// The virtual stations the command line names, with default names and positions.
std::vector<VirtualStation> stations_from_options(const Options& o);

} // namespace exchange
