// SPDX-License-Identifier: GPL-3.0-or-later
// What the instructor does from the console: send a record, add a virtual station, name a
// trainee's station, start, pause or stop the exercise.
#include "exchange/classroom.h"
#include "exchange/console/console.h"
#include "exchange/console/http_answers.h"
#include "exchange/console/request_reader.h"


#include <cstdio>

namespace exchange {
namespace {
using Status = HttpStatus;
} // namespace

QHttpServerResponse Console::send(const QByteArray& body)
{
    const auto record = read_send_body(body, m_relayAll);
    if (const auto* why = std::get_if<QString>(&record))
        return problem(*why);
    m_classroom.deliver(std::get<QByteArray>(record));
    return json(QJsonObject{{"sent", QString::fromLatin1(std::get<QByteArray>(record))}, {"seq", m_book.lastSeq()}});
}

QHttpServerResponse Console::addStation(const QByteArray& body)
{
    const auto station = read_station_body(body, m_classroom.host().stations());
    if (const auto* why = std::get_if<QString>(&station))
        return problem(*why);
    const VirtualStation& s = std::get<VirtualStation>(station);
    m_classroom.addStation(s);
    std::fprintf(stdout, "virtual %s %s %s, channel %d (added from the console)\n",
                 s.kind == VirtualStation::Coast ? "coast station" : "ship", qPrintable(s.name), s.mmsi.constData(),
                 s.workingChannel);
    std::fflush(stdout);
    changed();
    return json(QJsonObject{{"added", s.name}, {"mmsi", QString::fromLatin1(s.mmsi)}});
}

QHttpServerResponse Console::exercise(const QByteArray& body)
{
    const auto action = read_exercise_body(body);
    if (action.index() == 1)
        return problem(std::get<1>(action));
    ExercisePlayer* p = m_classroom.player();
    if (!p)
        return problem(QStringLiteral("no exercise was loaded: start the exchange with --exercise FILE"),
                       Status::Conflict);
    const QString& a = std::get<0>(action);
    if (a == QLatin1String("start"))
        p->start();
    else if (a == QLatin1String("pause"))
        p->pause();
    else
        p->stop();
    return json(QJsonObject{{"state", p->stateName()}});
}

QHttpServerResponse Console::name(const QByteArray& body)
{
    const auto named = read_name_body(body);
    if (const auto* why = std::get_if<QString>(&named))
        return problem(*why);
    const auto& [mmsi, name] = std::get<0>(named);
    if (m_classroom.host().isVirtual(mmsi))
        return problem(QStringLiteral("a virtual station keeps the name it was given"), Status::Conflict);
    m_classroom.debrief().name(mmsi, name);
    changed();
    return json(QJsonObject{{"mmsi", QString::fromLatin1(mmsi)}, {"name", name}});
}

} // namespace exchange
