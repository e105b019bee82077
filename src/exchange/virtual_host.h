// SPDX-License-Identifier: GPL-3.0-or-later
// Hosts the virtual stations: answers the records the exchange relays, after an operator's delay,
// and plays an exercise script. Everything it sends goes out through `send`, the same delivery
// (and the same log) as relayed records.
#pragma once

#include "exchange/exercise.h"

#include <QTime>
#include <functional>

namespace exchange {

// Time and delayed work, so that tests run without waiting.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual void after(int delayMs, std::function<void()> work) = 0;
    virtual QTime utcTimeOfDay() const = 0;
};

class VirtualHost {
public:
    using Send = std::function<void(const QByteArray& record, const QString& from)>;

    VirtualHost(std::vector<VirtualStation> stations, int replyDelayMs, Scheduler& scheduler, Send send);

    // A record the exchange accepted from the network.
    void onRecord(const dsc::DscRecord& rx);

    // Schedules every event of the script at its offset from now.
    void play(const Exercise& exercise);

    // A station added while the exchange runs (from the instructor's console).
    void addStation(const VirtualStation& s) { m_stations.push_back(s); }

    const std::vector<VirtualStation>& stations() const { return m_stations; }
    bool isVirtual(const QByteArray& mmsi) const;

private:
    std::vector<VirtualStation> m_stations;
    int m_delayMs;
    Scheduler& m_scheduler;
    Send m_send;
};

} // namespace exchange
