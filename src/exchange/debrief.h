// SPDX-License-Identifier: GPL-3.0-or-later
// The debriefing: what the exchange saw during an exercise, per station — calls sent and received,
// the acknowledgements and how long each took, the calls left unanswered.
#pragma once

#include "wire/record.h"

#include <QMap>
#include <QString>
#include <vector>

namespace exchange {

class Debrief {
public:
    struct Call {
        qint64 ms = 0;
        QByteArray from, to;   // to: called station; for a distress alert, empty (all ships)
        QString kind;          // "individual ROUTINE call", "position request", "distress alert"
        QByteArray answerCategory;   // the category that answers it
        qint64 answeredMs = -1;
        QByteArray answeredBy;
        QString outcome;
    };
    struct Counts {
        int sent = 0, received = 0;
    };
    // A class has a few dozen stations: beyond these bounds the records are junk (a program
    // sending from ever new MMSIs). They are relayed and logged, but not followed here.
    static constexpr int kMaxStations = 256;
    static constexpr size_t kMaxCalls = 5000;
    struct Dropped {
        qint64 records = 0;   // records of stations beyond the first kMaxStations
        qint64 calls = 0;     // calls beyond the first kMaxCalls
    };

    // A record that went through the exchange at `ms` (milliseconds since the exchange started).
    // Returns the index in calls() of the call it opens, or -1 when it opens none.
    int observe(qint64 ms, const dsc::DscRecord& r);
    // Names for MMSIs (the virtual stations, and stations the instructor named).
    void name(const QByteArray& mmsi, const QString& name)
    {
        m_names[mmsi] = name;
        ++m_version;
    }
    QString report() const;

    // "Name (MMSI)", or the MMSI alone.
    QString who(const QByteArray& mmsi) const;
    QString nameOf(const QByteArray& mmsi) const { return m_names.value(mmsi); }
    const std::vector<Call>& calls() const { return m_calls; }
    const QMap<QByteArray, Counts>& counts() const { return m_counts; }
    const Dropped& dropped() const { return m_dropped; }
    // Grows with every change of what the debriefing holds (not with the records it leaves out).
    quint64 version() const { return m_version; }

private:
    bool follows(const QByteArray& mmsi);   // true for a known station, or a new one while there is room

    std::vector<Call> m_calls;
    QMap<QByteArray, Counts> m_counts;
    QMap<QByteArray, QString> m_names;
    Dropped m_dropped;
    quint64 m_version = 0;
};

} // namespace exchange
