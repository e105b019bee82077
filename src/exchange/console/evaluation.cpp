// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/evaluation.h"

#include "exchange/console/classroom_view.h"
#include "exchange/record_check.h"

#include <QDateTime>
#include <QJsonArray>

namespace exchange {
namespace {

QString latin(const QByteArray& b) { return QString::fromLatin1(b); }

QJsonObject callEntry(const ClassroomView& room, const Debrief::Call& c)
{
    const Debrief& d = room.debrief;
    QJsonObject o{{"kind", c.kind}, {"from", d.who(c.from)}, {"atMs", c.ms}, {"at", room.epochMs(c.ms)}};
    o.insert("to", c.to.isEmpty() ? QStringLiteral("all ships") : d.who(c.to));
    if (c.answeredMs >= 0) {
        o.insert("answeredBy", d.who(c.answeredBy));
        o.insert("responseMs", c.answeredMs - c.ms);
        if (!c.outcome.isEmpty())
            o.insert("outcome", c.outcome);
    }
    return o;
}

} // namespace

QJsonObject evaluationJson(const ClassroomView& room)
{
    const Debrief& d = room.debrief;
    // Per station, in one pass over the calls.
    struct Lists {
        QJsonArray made, answered, unanswered;
    };
    QHash<QByteArray, Lists> per;
    QJsonArray open;
    for (const Debrief::Call& c : d.calls()) {
        const QJsonObject entry = callEntry(room, c);
        per[c.from].made.append(entry);
        if (c.answeredMs >= 0)
            per[c.answeredBy].answered.append(entry);
        else if (!c.to.isEmpty())
            per[c.to].unanswered.append(entry);
        if (c.answeredMs < 0)
            open.append(entry);
    }
    QJsonArray stations;
    for (auto it = d.counts().begin(); it != d.counts().end(); ++it) {
        const QByteArray& m = it.key();
        if (m == dsc::ALL_SHIPS_MMSI)
            continue;
        const Lists lists = per.value(m);
        stations.append(QJsonObject{{"mmsi", latin(m)}, {"name", d.nameOf(m)}, {"kind", room.kindOf(m)},
                                    {"address", room.addresses.value(m)}, {"sent", it->sent},
                                    {"received", it->received}, {"calls", lists.made}, {"answered", lists.answered},
                                    {"unanswered", lists.unanswered}});
    }
    QJsonArray rejected;
    for (const BookEntry& e : room.rejected)
        rejected.append(QJsonObject{{"seq", e.seq}, {"time", e.traffic.time.toMSecsSinceEpoch()},
                                    {"sender", e.traffic.sender}, {"problem", e.traffic.problem},
                                    {"relayed", e.traffic.relayed}, {"excerpt", excerpt(e.traffic.bytes)}});
    QJsonArray events;
    for (const Classroom::Fired& f : room.fired) {
        QJsonObject o{{"index", f.index}, {"atMs", f.exerciseMs}, {"at", room.epochMs(f.ms)}, {"station", f.station},
                      {"what", f.what}, {"expectsAnswer", f.call >= 0}};
        if (f.call >= 0 && size_t(f.call) < d.calls().size()) {
            const Debrief::Call& c = d.calls()[size_t(f.call)];
            if (c.answeredMs >= 0) {
                o.insert("answeredBy", d.who(c.answeredBy));
                o.insert("responseMs", c.answeredMs - c.ms);
            }
        }
        events.append(o);
    }
    QJsonArray talk;
    for (const VoiceTransmission& t : room.voice) {
        QJsonObject o{{"start", double(t.start.toMSecsSinceEpoch())}, {"end", double(t.end.toMSecsSinceEpoch())},
                      {"channel", t.channel}, {"sender", t.sender}, {"seconds", t.seconds},
                      {"payloads", t.payloads}, {"lost", t.lost}};
        o.insert("file", t.file.isEmpty() ? QJsonValue() : QJsonValue(t.file));
        talk.append(o);
    }
    return QJsonObject{{"started", room.epochMs(0)}, {"generated", QDateTime::currentMSecsSinceEpoch()},
                       {"stations", stations}, {"unanswered", open}, {"rejected", rejected},
                       {"rejectedTotal", room.rejectedTotal}, {"exercise", events}, {"voice", talk},
                       {"dropped", QJsonObject{{"records", d.dropped().records}, {"calls", d.dropped().calls},
                                               {"maxStations", Debrief::kMaxStations},
                                               {"maxCalls", qint64(Debrief::kMaxCalls)}}}};
}

} // namespace exchange
