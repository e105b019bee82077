// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/console_json.h"

#include "exchange/console/classroom_view.h"

#include <QDateTime>
#include <QJsonArray>

namespace exchange {
namespace {

QString latin(const QByteArray& b) { return QString::fromLatin1(b); }

bool isDistress(const Debrief::Call& c) { return c.answerCategory == dsc::CAT_DIST_ACK; }

QJsonObject callJson(const ClassroomView& room, const Debrief::Call& c)
{
    const Debrief& d = room.debrief;
    QJsonObject o{{"kind", c.kind}, {"from", latin(c.from)}, {"fromName", d.nameOf(c.from)},
                  {"since", room.epochMs(c.ms)}, {"distress", isDistress(c)}, {"open", c.answeredMs < 0}};
    if (!c.to.isEmpty())
        o.insert("to", latin(c.to)), o.insert("toName", d.nameOf(c.to));
    if (c.answeredMs >= 0) {
        o.insert("answeredBy", latin(c.answeredBy));
        o.insert("answeredByName", d.nameOf(c.answeredBy));
        o.insert("answeredAfterMs", c.answeredMs - c.ms);
        if (!c.outcome.isEmpty())
            o.insert("outcome", c.outcome);
    }
    return o;
}

// Who is expected to acknowledge a distress alert: the trainees, and a virtual coast station when
// the alert is not from another virtual station (those are left for the class to answer).
bool owesDistressAck(const ClassroomView& room, const QByteArray& mmsi, const QByteArray& alerting)
{
    const QString kind = room.kindOf(mmsi);
    return kind == QLatin1String("trainee") || (kind == QLatin1String("coast") && !room.isVirtual(alerting));
}

} // namespace

QByteArray recordJson(const BookEntry& e)
{
    QByteArray out = "{\"seq\":" + QByteArray::number(e.seq) + ",\"origin\":\"" + e.origin + "\",";
    out += QByteArrayView(jsonLine(e.traffic)).sliced(1);
    return out;
}

QByteArray recordsJson(const std::vector<const BookEntry*>& entries)
{
    QByteArray out = "[";
    for (const BookEntry* e : entries) {
        if (out.size() > 1)
            out += ',';
        out += recordJson(*e);
    }
    out += ']';
    return out;
}

QJsonObject metaJson()
{
    QJsonArray natures;
    for (int code = 0; code <= 12; ++code)
        natures.append(QJsonObject{{"code", code}, {"name", dsc::nature_name(code)}});
    QJsonArray calls, categories;
    for (const QByteArray* c : {&dsc::CALL_INDIVID, &dsc::CALL_GROUP, &dsc::CALL_ALLSHIPS, &dsc::CALL_DISTRESS})
        calls.append(QString::fromLatin1(*c).trimmed());
    for (const QByteArray* c : {&dsc::CAT_ROUTINE, &dsc::CAT_SAFETY, &dsc::CAT_URGENCY, &dsc::CAT_DISTRESS,
                                &dsc::CAT_DIST_ACK, &dsc::CAT_ROUT_ACK, &dsc::CAT_POS_REQ, &dsc::CAT_POS_ACK})
        categories.append(QString::fromLatin1(*c).trimmed());
    return QJsonObject{{"natures", natures}, {"calls", calls}, {"categories", categories}};
}

QJsonObject stationsJson(const ClassroomView& room)
{
    const Debrief& d = room.debrief;
    QList<QByteArray> mmsis = d.counts().keys();
    for (const VirtualStation& s : room.stations)
        if (!mmsis.contains(s.mmsi))
            mmsis.append(s.mmsi);
    mmsis.removeAll(dsc::ALL_SHIPS_MMSI);
    std::sort(mmsis.begin(), mmsis.end());

    // What each station still owes, in one pass over the open calls.
    QHash<QByteArray, QJsonArray> owes;
    QHash<QByteArray, int> owesMore;
    const auto owe = [&](const QByteArray& m, const Debrief::Call& c) {
        QJsonArray& list = owes[m];
        if (list.size() >= kMaxOwesListed) {
            ++owesMore[m];
            return;
        }
        list.append(QJsonObject{{"what", isDistress(c) ? QStringLiteral("acknowledge the %1").arg(c.kind)
                                                       : QStringLiteral("answer the %1").arg(c.kind)},
                                {"from", latin(c.from)}, {"fromName", d.nameOf(c.from)},
                                {"since", room.epochMs(c.ms)}, {"distress", isDistress(c)}});
    };
    for (const Debrief::Call& c : d.calls()) {
        if (c.answeredMs >= 0)
            continue;
        if (isDistress(c)) {
            for (const QByteArray& m : mmsis)
                if (m != c.from && owesDistressAck(room, m, c.from))
                    owe(m, c);
        } else if (!c.to.isEmpty() && c.to != c.from) {
            owe(c.to, c);
        }
    }

    QJsonArray stations;
    for (const QByteArray& m : mmsis) {
        const Debrief::Counts counts = d.counts().value(m);
        QJsonObject o{{"mmsi", latin(m)}, {"name", d.nameOf(m)}, {"kind", room.kindOf(m)},
                      {"address", room.addresses.value(m)}, {"sent", counts.sent}, {"received", counts.received},
                      {"owes", owes.value(m)}};
        if (owesMore.value(m))
            o.insert("owesMore", owesMore.value(m));
        stations.append(o);
    }

    // Distress alerts first, then the newest first; the page shows the first few.
    std::vector<const Debrief::Call*> order;
    for (const Debrief::Call& c : d.calls())
        order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](const Debrief::Call* a, const Debrief::Call* b) {
        if (isDistress(*a) != isDistress(*b))
            return isDistress(*a);
        return a->ms > b->ms;
    });
    QJsonArray calls;
    for (size_t i = 0; i < order.size() && i < kMaxCallsListed; ++i)
        calls.append(callJson(room, *order[i]));

    QJsonObject out{{"now", QDateTime::currentMSecsSinceEpoch()}, {"stations", stations}, {"calls", calls},
                    {"callsTotal", int(order.size())}};
    out.insert("exercise", exerciseJson(room.exercise));
    return out;
}

QJsonValue exerciseJson(const std::optional<ClassroomView::ExerciseState>& e)
{
    if (!e)
        return QJsonValue::Null;
    return QJsonObject{{"state", e->state}, {"positionMs", e->positionMs}, {"events", e->events}, {"sent", e->sent}};
}

} // namespace exchange
