#include "exchange/console/evaluation.h"

#include "exchange/classroom.h"
#include "exchange/console/console_json.h"
#include "exchange/record_check.h"

#include <QDateTime>
#include <QJsonArray>

namespace exchange {
namespace {

QString latin(const QByteArray& b) { return QString::fromLatin1(b); }

QJsonObject callEntry(const Classroom& room, const Debrief::Call& c)
{
    const Debrief& d = room.debrief();
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

QJsonObject evaluationJson(const Classroom& room, const RecordBook& book, const std::vector<VoiceTransmission>* voice)
{
    const Debrief& d = room.debrief();
    QList<QByteArray> mmsis = d.counts().keys();
    mmsis.removeAll(dsc::ALL_SHIPS_MMSI);
    QJsonArray stations;
    for (const QByteArray& m : mmsis) {
        QJsonArray made, answered, unanswered;
        for (const Debrief::Call& c : d.calls()) {
            if (c.from == m)
                made.append(callEntry(room, c));
            if (c.answeredMs >= 0 && c.answeredBy == m)
                answered.append(callEntry(room, c));
            else if (c.answeredMs < 0 && c.to == m)
                unanswered.append(callEntry(room, c));
        }
        const Debrief::Counts counts = d.counts().value(m);
        stations.append(QJsonObject{{"mmsi", latin(m)}, {"name", d.nameOf(m)}, {"kind", stationKind(room, m)},
                                    {"address", book.addressOf(m)}, {"sent", counts.sent},
                                    {"received", counts.received}, {"calls", made}, {"answered", answered},
                                    {"unanswered", unanswered}});
    }
    QJsonArray open;
    for (const Debrief::Call& c : d.calls())
        if (c.answeredMs < 0)
            open.append(callEntry(room, c));
    QJsonArray rejected;
    for (const BookEntry& e : book.entries())
        if (!e.traffic.problem.isEmpty())
            rejected.append(QJsonObject{{"seq", e.seq}, {"time", e.traffic.time.toMSecsSinceEpoch()},
                                        {"sender", e.traffic.sender}, {"problem", e.traffic.problem},
                                        {"relayed", e.traffic.relayed}, {"excerpt", excerpt(e.traffic.bytes)}});
    QJsonArray events;
    for (const Classroom::Fired& f : room.fired()) {
        QJsonObject o{{"index", f.index}, {"atMs", f.ms}, {"at", room.epochMs(f.ms)}, {"station", f.station},
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
    // Each transmission with the DSC calls of the same minutes: from the minute before it began to
    // the minute after it ended.
    QJsonArray talk;
    for (const VoiceTransmission& t : voice ? *voice : std::vector<VoiceTransmission>{}) {
        const qint64 from = t.start.toMSecsSinceEpoch() / 60000 * 60000 - 60000;
        const qint64 to = t.end.toMSecsSinceEpoch() / 60000 * 60000 + 120000;
        QJsonArray around;
        for (const Debrief::Call& c : d.calls())
            if (const qint64 at = room.epochMs(c.ms); at >= from && at < to)
                around.append(callEntry(room, c));
        QJsonObject o{{"start", double(t.start.toMSecsSinceEpoch())}, {"end", double(t.end.toMSecsSinceEpoch())},
                      {"channel", t.channel}, {"sender", t.sender}, {"seconds", t.seconds},
                      {"payloads", t.payloads}, {"lost", t.lost}, {"calls", around}};
        o.insert("file", t.file.isEmpty() ? QJsonValue() : QJsonValue(t.file));
        talk.append(o);
    }
    return QJsonObject{{"started", room.epochMs(0)}, {"generated", QDateTime::currentMSecsSinceEpoch()},
                       {"stations", stations}, {"unanswered", open}, {"rejected", rejected},
                       {"exercise", events}, {"voice", talk}};
}

} // namespace exchange
