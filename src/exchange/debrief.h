// The debriefing: what the exchange saw during an exercise, per station — calls sent and received,
// the acknowledgements and how long each took, the calls left unanswered.
#pragma once

#include "dsc/record.h"

#include <QMap>
#include <QString>
#include <vector>

namespace exchange {

class Debrief {
public:
    // A record that went through the exchange at `ms` (milliseconds since the exchange started).
    void observe(qint64 ms, const dsc::DscRecord& r);
    // Names for MMSIs (the virtual stations).
    void name(const QByteArray& mmsi, const QString& name) { m_names[mmsi] = name; }
    QString report() const;

private:
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
    QString who(const QByteArray& mmsi) const;
    Counts& counts(const QByteArray& mmsi);

    std::vector<Call> m_calls;
    QMap<QByteArray, Counts> m_counts;
    QMap<QByteArray, QString> m_names;
};

} // namespace exchange
