// SPDX-License-Identifier: GPL-3.0-or-later
// The evaluation report as a printable HTML page (GET /report, and the file written at the stop).
// Every value from the classroom goes through html().
#include "exchange/console/evaluation.h"
#include "exchange/console/html_text.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QUrl>

namespace exchange {
namespace {

QString text(const QJsonObject& o, const char* key) { return html(o.value(QLatin1String(key)).toString()); }

QString clock(qint64 epochMs) { return QDateTime::fromMSecsSinceEpoch(epochMs).toString(QStringLiteral("HH:mm:ss")); }

QString offset(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("+%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString seconds(const QJsonValue& ms)
{
    return QStringLiteral("%1 s").arg(ms.toDouble() / 1000.0, 0, 'f', 1);
}

QString who(const QJsonObject& station)
{
    const QString name = text(station, "name");
    const QString mmsi = text(station, "mmsi");
    return name.isEmpty() ? mmsi : QStringLiteral("%1 <span class=mmsi>%2</span>").arg(name, mmsi);
}

QString answerCell(const QJsonObject& c)
{
    if (!c.contains("responseMs"))
        return QStringLiteral("<td class=open>no answer</td><td></td>");
    QString by = text(c, "answeredBy");
    if (c.contains("outcome"))
        by += QStringLiteral("<br><small>%1</small>").arg(text(c, "outcome"));
    return QStringLiteral("<td>%1</td><td class=num>%2</td>").arg(by, seconds(c.value("responseMs")));
}

QString callRows(const QJsonArray& calls, bool showFrom)
{
    QString out;
    for (const QJsonValue& v : calls) {
        const QJsonObject c = v.toObject();
        const bool distress = c.value("kind").toString().startsWith(QLatin1String("distress"));
        out += QStringLiteral("<tr%1><td class=num>%2<br><small>%3</small></td><td>%4</td><td>%5</td>%6</tr>")
                   .arg(distress ? QStringLiteral(" class=distress") : QString(),
                        clock(qint64(c.value("at").toDouble())), offset(qint64(c.value("atMs").toDouble())),
                        text(c, "kind"), showFrom ? text(c, "from") : text(c, "to"), answerCell(c));
    }
    return out;
}

QString table(const QString& title, const QString& party, const QString& rows)
{
    if (rows.isEmpty())
        return {};
    return QStringLiteral("<h3>%1</h3><table><thead><tr><th>Time</th><th>Call</th><th>%2</th><th>Answered by</th>"
                          "<th>Response</th></tr></thead><tbody>%3</tbody></table>")
        .arg(title, party, rows);
}

QString exerciseSection(const QJsonArray& events)
{
    if (events.isEmpty())
        return {};
    QString rows;
    for (const QJsonValue& v : events) {
        const QJsonObject e = v.toObject();
        const QString answer = e.value("expectsAnswer").toBool()
            ? answerCell(e) : QStringLiteral("<td colspan=2 class=muted>no answer expected</td>");
        rows += QStringLiteral("<tr%1><td class=num>%2</td><td>%3</td><td>%4</td>%5</tr>")
                    .arg(e.value("what").toString().startsWith(QLatin1String("distress")) ? " class=distress" : "",
                         offset(qint64(e.value("atMs").toDouble())), text(e, "station"), text(e, "what"), answer);
    }
    return QStringLiteral("<section><h2>Exercise events</h2><p class=note>Times from the exercise's start.</p>"
                          "<table><thead><tr><th>Time</th><th>Station</th><th>Event</th><th>Reacted</th>"
                          "<th>Response</th></tr></thead><tbody>%1</tbody></table></section>")
        .arg(rows);
}

// One row per transmission: a player on the screen, the file's name on paper.
QString voiceSection(const QJsonArray& voice, const ReportAudio& audio)
{
    if (voice.isEmpty())
        return {};
    QString rows;
    for (const QJsonValue& v : voice) {
        const QJsonObject t = v.toObject();
        const QString file = t.value("file").toString();
        const QString url = html(audio.prefix + QString::fromLatin1(QUrl::toPercentEncoding(file)) + audio.suffix);
        QString play = QStringLiteral("<span class=muted>not recorded</span>");
        if (!file.isEmpty() && audio.inPage)
            play = QStringLiteral("<audio class=noprint controls preload=none src=\"%1\"></audio>"
                                  "<span class=printonly>%2</span>").arg(url, html(file));
        else if (!file.isEmpty())
            play = QStringLiteral("<a class=play href=\"%1\">▶ %2</a>").arg(url, html(file));
        rows += QStringLiteral("<tr><td class=num>%1</td><td class=num>%2</td><td>%3</td><td class=num>%4 s</td>"
                               "<td>%5</td></tr>")
                    .arg(clock(qint64(t.value("start").toDouble())))
                    .arg(t.value("channel").toInt())
                    .arg(text(t, "sender"))
                    .arg(t.value("seconds").toDouble(), 0, 'f', 1)
                    .arg(play);
    }
    return QStringLiteral("<section><h2>Voice transmissions</h2><table class=voice><thead><tr><th>Time</th>"
                          "<th>Ch</th><th>From</th><th>Length</th><th>Recording</th></tr></thead><tbody>%1</tbody>"
                          "</table></section>")
        .arg(rows);
}

QString stationsSection(const QJsonArray& stations)
{
    QString out = QStringLiteral("<section><h2>Stations</h2>");
    if (stations.isEmpty())
        out += QStringLiteral("<p class=muted>No records were exchanged.</p>");
    for (const QJsonValue& v : stations) {
        const QJsonObject s = v.toObject();
        const QString address = text(s, "address");
        out += QStringLiteral("<article class=station><h2>%1 <span class=kind>%2</span></h2><p>%3 sent, %4 received%5</p>")
                   .arg(who(s), text(s, "kind"))
                   .arg(s.value("sent").toInt())
                   .arg(s.value("received").toInt())
                   .arg(address.isEmpty() ? QString() : QStringLiteral(", from %1").arg(address));
        out += table(QStringLiteral("Calls made"), QStringLiteral("To"), callRows(s.value("calls").toArray(), false));
        out += table(QStringLiteral("Calls answered"), QStringLiteral("From"),
                     callRows(s.value("answered").toArray(), true));
        out += table(QStringLiteral("Left unanswered"), QStringLiteral("From"),
                     callRows(s.value("unanswered").toArray(), true));
        out += QStringLiteral("</article>");
    }
    return out + QStringLiteral("</section>");
}

QString rejectedSection(const QJsonArray& rejected, qint64 total)
{
    QString out = QStringLiteral("<section><h2>Rejected records</h2>");
    if (rejected.isEmpty())
        return out + QStringLiteral("<p class=muted>None.</p></section>");
    if (total > rejected.size())
        out += QStringLiteral("<p class=note>%1 records were rejected; the last %2 are listed here, the exchange's "
                              "log holds them all.</p>").arg(total).arg(rejected.size());
    out += QStringLiteral("<table><thead><tr><th>Time</th><th>Sender</th><th>Reason</th><th>Excerpt</th></tr>"
                          "</thead><tbody>");
    for (const QJsonValue& v : rejected) {
        const QJsonObject r = v.toObject();
        out += QStringLiteral("<tr><td class=num>%1</td><td>%2</td><td>%3</td><td><code>%4</code></td></tr>")
                   .arg(clock(qint64(r.value("time").toDouble())), text(r, "sender"), text(r, "problem"),
                        text(r, "excerpt"));
    }
    return out + QStringLiteral("</tbody></table></section>");
}

// What the exchange did not follow (records of ever new MMSIs): relayed and logged, not here.
QString droppedNote(const QJsonObject& dropped)
{
    const qint64 records = qint64(dropped.value("records").toDouble());
    const qint64 calls = qint64(dropped.value("calls").toDouble());
    if (!records && !calls)
        return {};
    return QStringLiteral("<p class=warning>This report follows the first %1 stations and %2 calls. %3 records of "
                          "further stations and %4 further calls were relayed and logged, but are not in this "
                          "report: see the exchange's log.</p>")
        .arg(dropped.value("maxStations").toInt())
        .arg(qint64(dropped.value("maxCalls").toDouble()))
        .arg(records)
        .arg(calls);
}

} // namespace

QByteArray evaluationHtml(const QJsonObject& ev, const ReportAudio& audio)
{
    QFile style(QStringLiteral(":/console/report.css"));
    style.open(QIODevice::ReadOnly);
    QString page = QStringLiteral("<!doctype html><html lang=en><head><meta charset=utf-8>"
                                  "<meta name=viewport content=\"width=device-width,initial-scale=1\">"
                                  "<meta name=referrer content=no-referrer>"
                                  "<title>Kelvo evaluation report</title><style>%1</style></head><body>")
                       .arg(QString::fromUtf8(style.readAll()));
    const QDateTime started = QDateTime::fromMSecsSinceEpoch(qint64(ev.value("started").toDouble()));
    page += QStringLiteral("<header><h1>Evaluation report</h1><p>Exchange started %1; report made at %2.</p>"
                           "<button class=noprint onclick=\"window.print()\">Print</button></header>")
                .arg(started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     clock(qint64(ev.value("generated").toDouble())));
    page += droppedNote(ev.value("dropped").toObject());
    page += exerciseSection(ev.value("exercise").toArray());
    page += voiceSection(ev.value("voice").toArray(), audio);
    page += stationsSection(ev.value("stations").toArray());
    page += QStringLiteral("<section><h2>Calls left unanswered</h2>");
    const QString open = callRows(ev.value("unanswered").toArray(), true);
    page += open.isEmpty() ? QStringLiteral("<p class=muted>None: every call was answered.</p>")
                           : table(QString(), QStringLiteral("From"), open);
    page += QStringLiteral("</section>");
    page += rejectedSection(ev.value("rejected").toArray(), qint64(ev.value("rejectedTotal").toDouble()));
    page += QStringLiteral("</body></html>\n");
    return page.toUtf8();
}

} // namespace exchange
