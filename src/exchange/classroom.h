// What the exchange adds to relaying: virtual stations that answer, a timed exercise, and the
// debriefing of everything it saw.
#pragma once

#include "exchange/debrief.h"
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
    explicit Classroom(Relay& relay);
    // Reads the stations and the exercise; returns the problem, or an empty text.
    QString setUp(const Options& o);
    void start();
    QString report() const { return m_debrief.report(); }

private:
    Relay& m_relay;
    QtScheduler m_scheduler;
    std::unique_ptr<VirtualHost> m_host;
    std::optional<Exercise> m_exercise;
    Debrief m_debrief;
    QElapsedTimer m_clock;
};

// The virtual stations the command line names, with default names and positions.
std::vector<VirtualStation> stations_from_options(const Options& o);

} // namespace exchange
