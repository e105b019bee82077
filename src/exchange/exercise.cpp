// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/exercise.h"

#include <QRegularExpression>
#include <algorithm>

namespace exchange {
namespace {

bool is_mmsi(const QString& s)
{
    static const QRegularExpression nine(QStringLiteral("^[0-9]{9}$"));
    return nine.match(s).hasMatch();
}

std::optional<int> offset_ms(const QString& s)
{
    static const QRegularExpression re(QStringLiteral("^(?:([0-9]+):)?([0-9]+)$"));
    const auto m = re.match(s);
    if (!m.hasMatch())
        return std::nullopt;
    const int minutes = m.captured(1).isEmpty() ? 0 : m.captured(1).toInt();
    const int seconds = m.captured(2).toInt();
    if (!m.captured(1).isEmpty() && seconds > 59)
        return std::nullopt;
    if (minutes > 24 * 60 || seconds > 24 * 3600)
        return std::nullopt;
    return (minutes * 60 + seconds) * 1000;
}

std::optional<QByteArray> category(const QString& word)
{
    const QString w = word.toUpper();
    if (w == QLatin1String("ROUTINE")) return dsc::CAT_ROUTINE;
    if (w == QLatin1String("SAFETY")) return dsc::CAT_SAFETY;
    if (w == QLatin1String("URGENCY")) return dsc::CAT_URGENCY;
    if (w == QLatin1String("DISTRESS")) return dsc::CAT_DISTRESS;
    return std::nullopt;
}

struct Words {
    QStringList w;
    int i = 0;
    bool more() const { return i < w.size(); }
    QString next() { return i < w.size() ? w[i++] : QString(); }
};

// Optional trailing "pos LAT LATMIN NS LON LONMIN EW", "channel N", "group MMSI" of a station line.
std::optional<QString> station_options(Words& in, VirtualStation& s)
{
    while (in.more()) {
        const QString key = in.next().toLower();
        if (key == QLatin1String("pos")) {
            const QString latD = in.next(), latM = in.next(), ns = in.next().toUpper();
            const QString lonD = in.next(), lonM = in.next(), ew = in.next().toUpper();
            bool ok[4];
            const int a = latD.toInt(&ok[0]), b = latM.toInt(&ok[1]), c = lonD.toInt(&ok[2]),
                      d = lonM.toInt(&ok[3]);
            if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || a < 0 || a > 89 || b < 0 || b > 59 || c < 0 || c > 179
                || d < 0 || d > 59 || (ns != QLatin1String("N") && ns != QLatin1String("S"))
                || (ew != QLatin1String("E") && ew != QLatin1String("W")))
                return QStringLiteral("a position reads: pos 43 28 N 009 15 E");
            s.latDeg = QByteArray::number(a).rightJustified(2, '0');
            s.latMin = QByteArray::number(b).rightJustified(2, '0');
            s.ns = ns.toLatin1();
            s.lonDeg = QByteArray::number(c).rightJustified(3, '0');
            s.lonMin = QByteArray::number(d).rightJustified(2, '0');
            s.ew = ew.toLatin1();
        } else if (key == QLatin1String("channel")) {
            bool ok = false;
            const int ch = in.next().toInt(&ok);
            if (!ok || !allowed_working_channel(ch))
                return QStringLiteral("channel must be a working channel (1-28, 60-88, not 70)");
            s.workingChannel = ch;
        } else if (key == QLatin1String("group")) {
            const QString g = in.next();
            if (!is_mmsi(g) || !g.startsWith(QLatin1Char('0')))
                return QStringLiteral("a group MMSI has nine digits and starts with 0");
            s.group = g.toLatin1();
        } else {
            return QStringLiteral("unknown station option '%1'").arg(key);
        }
    }
    return std::nullopt;
}

std::optional<int> channel_option(Words& in, int fallback, QString& error)
{
    if (!in.more())
        return fallback;
    if (in.next().toLower() != QLatin1String("channel")) {
        error = QStringLiteral("expected 'channel N'");
        return std::nullopt;
    }
    bool ok = false;
    const int ch = in.next().toInt(&ok);
    if (!ok || ch < 0 || ch > 99) {
        error = QStringLiteral("channel must be a number from 0 to 99");
        return std::nullopt;
    }
    if (in.more()) {
        error = QStringLiteral("unexpected '%1'").arg(in.next());
        return std::nullopt;
    }
    return ch;
}

// One "at" line; returns an error text or nothing.
std::optional<QString> parse_event(Words& in, ExerciseEvent& e, const Exercise& ex)
{
    const auto off = offset_ms(in.next());
    if (!off)
        return QStringLiteral("expected an offset such as 90 or 1:30 after 'at'");
    e.offsetMs = *off;
    e.station = in.next();
    if (e.station.isEmpty() || !ex.find(e.station))
        return QStringLiteral("unknown station '%1' (declare it with a coast or ship line first)").arg(e.station);
    const QString what = in.next().toLower();
    QString error;
    if (what == QLatin1String("allships")) {
        e.kind = ExerciseEvent::AllShips;
        const auto cat = category(in.next());
        if (!cat)
            return QStringLiteral("allships needs a category: ROUTINE, SAFETY, URGENCY or DISTRESS");
        e.category = *cat;
        const auto ch = channel_option(in, *cat == dsc::CAT_ROUTINE ? 77 : 16, error);
        if (!ch)
            return error;
        e.channel = *ch;
    } else if (what == QLatin1String("distress")) {
        e.kind = ExerciseEvent::Distress;
        bool ok = false;
        e.nature = in.next().toInt(&ok);
        if (!ok || e.nature < 1 || e.nature > 13)
            return QStringLiteral("distress needs a nature from 1 to 13");
        if (in.more())
            return QStringLiteral("unexpected '%1'").arg(in.next());
    } else if (what == QLatin1String("posreq")) {
        e.kind = ExerciseEvent::PosReq;
        const QString to = in.next();
        if (!is_mmsi(to))
            return QStringLiteral("posreq needs the nine-digit MMSI of the requested station");
        e.to = to.toLatin1();
        if (in.more())
            return QStringLiteral("unexpected '%1'").arg(in.next());
    } else if (what == QLatin1String("call")) {
        e.kind = ExerciseEvent::Call;
        const QString to = in.next();
        if (!is_mmsi(to))
            return QStringLiteral("call needs the nine-digit MMSI of the called station");
        e.to = to.toLatin1();
        const auto cat = category(in.next());
        if (!cat)
            return QStringLiteral("call needs a category: ROUTINE, SAFETY, URGENCY or DISTRESS");
        e.category = *cat;
        const auto ch = channel_option(in, 16, error);
        if (!ch)
            return error;
        e.channel = *ch;
    } else if (what == QLatin1String("group")) {
        e.kind = ExerciseEvent::Group;
        const QString to = in.next();
        if (!is_mmsi(to) || !to.startsWith(QLatin1Char('0')))
            return QStringLiteral("group needs a nine-digit group MMSI starting with 0");
        e.to = to.toLatin1();
        const auto ch = channel_option(in, 16, error);
        if (!ch)
            return error;
        e.channel = *ch;
    } else {
        return QStringLiteral("unknown event '%1' (allships, distress, posreq, call or group)").arg(what);
    }
    return std::nullopt;
}

} // namespace

const VirtualStation* Exercise::find(const QString& nameOrMmsi) const
{
    for (const VirtualStation& s : stations)
        if (s.name.compare(nameOrMmsi, Qt::CaseInsensitive) == 0 || QString::fromLatin1(s.mmsi) == nameOrMmsi)
            return &s;
    return nullptr;
}

std::variant<Exercise, ParseError> parse_exercise(const QString& text, const std::vector<VirtualStation>& known)
{
    Exercise ex;
    ex.stations = known;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        Words in{line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)};
        if (!in.more())
            continue;
        const QString head = in.next().toLower();
        const int lineNo = n + 1;
        if (head == QLatin1String("coast") || head == QLatin1String("ship")) {
            VirtualStation s;
            s.kind = head == QLatin1String("coast") ? VirtualStation::Coast : VirtualStation::Ship;
            s.name = in.next();
            const QString mmsi = in.next();
            if (s.name.isEmpty() || !is_mmsi(mmsi))
                return ParseError{lineNo, QStringLiteral("a station reads: %1 NAME MMSI [pos ...] [channel N] [group MMSI]").arg(head)};
            s.mmsi = mmsi.toLatin1();
            if (ex.find(s.name) || ex.find(mmsi))
                return ParseError{lineNo, QStringLiteral("station '%1' is declared twice").arg(s.name)};
            if (const auto err = station_options(in, s))
                return ParseError{lineNo, *err};
            ex.stations.push_back(s);
        } else if (head == QLatin1String("at")) {
            ExerciseEvent e;
            e.line = lineNo;
            if (const auto err = parse_event(in, e, ex))
                return ParseError{lineNo, *err};
            ex.events.push_back(e);
        } else {
            return ParseError{lineNo, QStringLiteral("a line starts with coast, ship or at, not '%1'").arg(head)};
        }
    }
    std::stable_sort(ex.events.begin(), ex.events.end(),
                     [](const ExerciseEvent& a, const ExerciseEvent& b) { return a.offsetMs < b.offsetMs; });
    return ex;
}

QByteArray event_record(const ExerciseEvent& e, const VirtualStation& from, QTime utc)
{
    switch (e.kind) {
    case ExerciseEvent::AllShips: return all_ships_call(from, e.category, e.channel);
    case ExerciseEvent::Distress: return distress_alert(from, e.nature, utc);
    case ExerciseEvent::PosReq: return position_request(from, e.to);
    case ExerciseEvent::Call: return individual_call(from, e.to, e.category, e.channel);
    case ExerciseEvent::Group: return group_call(from, e.to, e.channel);
    }
    return {};
}

} // namespace exchange
