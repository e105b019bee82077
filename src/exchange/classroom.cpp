// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/classroom.h"

#include "exchange/relay.h"

#include <QDateTime>
#include <QFile>
#include <QTimer>

namespace exchange {

void QtScheduler::after(int delayMs, std::function<void()> work)
{
    QTimer::singleShot(delayMs, std::move(work));
}

QTime QtScheduler::utcTimeOfDay() const
{
    return QDateTime::currentDateTimeUtc().time();
}

std::vector<VirtualStation> stations_from_options(const Options& o)
{
    std::vector<VirtualStation> out;
    int n = 0;
    for (const QString& mmsi : o.coastStations) {
        VirtualStation s;
        s.kind = VirtualStation::Coast;
        s.name = QStringLiteral("Coast-%1").arg(++n);
        s.mmsi = mmsi.toLatin1();
        s.latDeg = "44";
        s.latMin = "24";
        s.lonDeg = "008";
        s.lonMin = "55";
        s.workingChannel = 12;
        out.push_back(s);
    }
    n = 0;
    for (const QString& mmsi : o.ships) {
        VirtualStation s;
        s.name = QStringLiteral("Ship-%1").arg(++n);
        s.mmsi = mmsi.toLatin1();
        // Ships spread a few miles apart south of the coast station.
        s.latDeg = "43";
        s.latMin = QByteArray::number(10 + 7 * n).rightJustified(2, '0');
        s.lonDeg = "009";
        s.lonMin = QByteArray::number(5 + 9 * n).rightJustified(2, '0');
        s.workingChannel = 72;
        out.push_back(s);
    }
    return out;
}

// An exercise event in the instructor's words.
static QString describe(const ExerciseEvent& e)
{
    const QString category = QString::fromLatin1(e.category).trimmed().toLower();
    switch (e.kind) {
    case ExerciseEvent::AllShips: return QStringLiteral("all-ships %1 call").arg(category);
    case ExerciseEvent::Distress:
        return QStringLiteral("distress alert (%1)").arg(dsc::nature_name(e.nature));
    case ExerciseEvent::PosReq: return QStringLiteral("position request to %1").arg(QString::fromLatin1(e.to));
    case ExerciseEvent::Call:
        return QStringLiteral("individual %1 call to %2").arg(category, QString::fromLatin1(e.to));
    case ExerciseEvent::Group: return QStringLiteral("group call to %1").arg(QString::fromLatin1(e.to));
    }
    return {};
}

Classroom::Classroom(Relay& relay) : m_relay(relay)
{
    m_clock.start();
    m_startEpochMs = QDateTime::currentMSecsSinceEpoch();
}

static std::variant<Exercise, ParseError> read_script(const QString& path, const std::vector<VirtualStation>& known,
                                                      QString& problem)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("cannot read %1").arg(path);
        return ParseError{};
    }
    return parse_exercise(QString::fromUtf8(f.readAll()), known);
}

QString Classroom::setUp(const Options& o)
{
    std::vector<VirtualStation> stations = stations_from_options(o);
    for (const QString& path : {o.stationsFile, o.exerciseFile}) {
        if (path.isEmpty())
            continue;
        QString problem;
        auto parsed = read_script(path, stations, problem);
        if (!problem.isEmpty())
            return problem;
        if (auto* e = std::get_if<ParseError>(&parsed))
            return QStringLiteral("%1, %2").arg(path, e->text());
        Exercise& ex = std::get<Exercise>(parsed);
        stations = ex.stations;
        if (path == o.exerciseFile)
            m_player = std::make_unique<ExercisePlayer>(
                ex, [this](int index, const ExerciseEvent& e, const VirtualStation& from) {
                    const QByteArray record = event_record(e, from, m_scheduler.utcTimeOfDay());
                    const Traffic t = m_relay.deliver(record, from.name);
                    Fired f{index, m_clock.elapsed(), m_player->positionMs(), from.name, {}, -1};
                    f.call = m_debrief.observe(f.ms, t.fields);
                    f.what = describe(e);
                    m_fired.push_back(f);
                });
        else if (!ex.events.empty())
            return QStringLiteral("%1: a station list holds no 'at' lines").arg(path);
    }
    for (const VirtualStation& s : stations)
        m_debrief.name(s.mmsi, s.name);
    m_host = std::make_unique<VirtualHost>(stations, o.replyDelayMs, m_scheduler,
                                           [this](const QByteArray& record, const QString& from) {
                                               m_debrief.observe(m_clock.elapsed(),
                                                                 m_relay.deliver(record, from).fields);
                                               if (m_partnerAnswer)
                                                   m_partnerAnswer(record, from);
                                           });
    QObject::connect(&m_relay, &Relay::recordAccepted, [this](const Traffic& t) {
        m_debrief.observe(m_clock.elapsed(), t.fields);
        m_host->onRecord(t.fields);
    });
    return {};
}

void Classroom::deliver(const QByteArray& record)
{
    const Traffic t = m_relay.deliver(record);
    m_debrief.observe(m_clock.elapsed(), t.fields);
    m_host->onRecord(t.fields);
}

void Classroom::addStation(const VirtualStation& s)
{
    m_host->addStation(s);
    m_debrief.name(s.mmsi, s.name);
}

void Classroom::start(bool playExercise)
{
    m_clock.start();
    m_startEpochMs = QDateTime::currentMSecsSinceEpoch();
    for (const VirtualStation& s : m_host->stations())
        std::fprintf(stdout, "virtual %s %s %s, channel %d\n",
                     s.kind == VirtualStation::Coast ? "coast station" : "ship", qPrintable(s.name),
                     s.mmsi.constData(), s.workingChannel);
    if (m_player) {
        std::fprintf(stdout, "exercise: %zu events%s\n", m_player->exercise().events.size(),
                     playExercise ? "" : ", started from the console");
        if (playExercise)
            m_player->start();
    }
    std::fflush(stdout);
}

} // namespace exchange
