// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/virtual_host.h"

namespace exchange {

VirtualHost::VirtualHost(std::vector<VirtualStation> stations, int replyDelayMs, Scheduler& scheduler, Send send)
    : m_stations(std::move(stations)), m_delayMs(replyDelayMs), m_scheduler(scheduler), m_send(std::move(send))
{
}

bool VirtualHost::isVirtual(const QByteArray& mmsi) const
{
    for (const VirtualStation& s : m_stations)
        if (s.mmsi == mmsi)
            return true;
    return false;
}

void VirtualHost::onRecord(const dsc::DscRecord& rx)
{
    // Virtual stations leave each other's calls to the trainees: an exercise's distress alert is
    // for the class to acknowledge.
    if (isVirtual(rx.TXMMSI))
        return;
    for (const VirtualStation& s : m_stations) {
        const auto reply = answer(s, rx, m_scheduler.utcTimeOfDay());
        if (!reply)
            continue;
        const QByteArray record = *reply;
        const QString name = s.name;
        m_scheduler.after(m_delayMs, [this, record, name] { m_send(record, name); });
    }
}

void VirtualHost::play(const Exercise& exercise)
{
    for (const ExerciseEvent& e : exercise.events) {
        const VirtualStation* from = exercise.find(e.station);
        if (!from)
            continue;
        const VirtualStation station = *from;
        m_scheduler.after(e.offsetMs, [this, e, station] {
            m_send(event_record(e, station, m_scheduler.utcTimeOfDay()), station.name);
        });
    }
}

} // namespace exchange
