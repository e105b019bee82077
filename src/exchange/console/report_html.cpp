// The evaluation report as a printable HTML page (GET /report, and the file written at the stop).
#include "exchange/console/evaluation.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QUrl>

namespace exchange {
namespace {

QString esc(const QString& s) { return s.toHtmlEscaped(); }

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
    const QString name = station.value("name").toString();
    const QString mmsi = esc(station.value("mmsi").toString());   // a station's bytes, as it sent them
    return name.isEmpty() ? mmsi : QStringLiteral("%1 <span class=mmsi>%2</span>").arg(esc(name), mmsi);
}

QString answerCell(const QJsonObject& c)
{
    if (!c.contains("responseMs"))
        return QStringLiteral("<td class=open>no answer</td><td></td>");
    QString by = esc(c.value("answeredBy").toString());
    if (c.contains("outcome"))
        by += QStringLiteral("<br><small>%1</small>").arg(esc(c.value("outcome").toString()));
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
                        esc(c.value("kind").toString()),
                        esc(showFrom ? c.value("from").toString() : c.value("to").toString()), answerCell(c));
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

} // namespace

QByteArray evaluationHtml(const QJsonObject& ev, const ReportAudio& audio)
{
    QFile style(QStringLiteral(":/console/report.css"));
    style.open(QIODevice::ReadOnly);
    QString html = QStringLiteral("<!doctype html><html lang=en><head><meta charset=utf-8>"
                                  "<meta name=viewport content=\"width=device-width,initial-scale=1\">"
                                  "<title>Kelvo evaluation report</title><style>%1</style></head><body>")
                       .arg(QString::fromUtf8(style.readAll()));
    const QDateTime started = QDateTime::fromMSecsSinceEpoch(qint64(ev.value("started").toDouble()));
    html += QStringLiteral("<header><h1>Evaluation report</h1><p>Exchange started %1; report made at %2.</p>"
                           "<button class=noprint onclick=\"window.print()\">Print</button></header>")
                .arg(started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     clock(qint64(ev.value("generated").toDouble())));

    const QJsonArray events = ev.value("exercise").toArray();
    if (!events.isEmpty()) {
        QString rows;
        for (const QJsonValue& v : events) {
            const QJsonObject e = v.toObject();
            QString answer;
            if (!e.value("expectsAnswer").toBool())
                answer = QStringLiteral("<td colspan=2 class=muted>no answer expected</td>");
            else
                answer = answerCell(e);
            rows += QStringLiteral("<tr%1><td class=num>%2</td><td>%3</td><td>%4</td>%5</tr>")
                        .arg(e.value("what").toString().startsWith(QLatin1String("distress")) ? " class=distress" : "",
                             offset(qint64(e.value("atMs").toDouble())), esc(e.value("station").toString()),
                             esc(e.value("what").toString()), answer);
        }
        html += QStringLiteral("<section><h2>Exercise events</h2><table><thead><tr><th>Time</th><th>Station</th>"
                               "<th>Event</th><th>Reacted</th><th>Response</th></tr></thead><tbody>%1</tbody>"
                               "</table></section>")
                    .arg(rows);
    }

    const QJsonArray voice = ev.value("voice").toArray();
    if (!voice.isEmpty()) {
        QString rows;
        for (const QJsonValue& v : voice) {
            const QJsonObject t = v.toObject();
            QString calls;
            for (const QJsonValue& c : t.value("calls").toArray()) {
                const QJsonObject call = c.toObject();
                calls += QStringLiteral("<div%1>%2 %3 <small>%4 → %5</small></div>")
                             .arg(call.value("kind").toString().startsWith(QLatin1String("distress")) ? " class=distress" : "",
                                  clock(qint64(call.value("at").toDouble())), esc(call.value("kind").toString()),
                                  esc(call.value("from").toString()), esc(call.value("to").toString()));
            }
            const QString file = t.value("file").toString();
            const QString url = esc(audio.prefix + QString::fromLatin1(QUrl::toPercentEncoding(file)) + audio.suffix);
            QString play = QStringLiteral("<span class=muted>not recorded</span>");
            if (!file.isEmpty() && audio.inPage)
                play = QStringLiteral("<audio controls preload=none src=\"%1\"></audio>").arg(url);
            else if (!file.isEmpty())
                play = QStringLiteral("<a class=play href=\"%1\">▶ %2</a>").arg(url, esc(file));
            rows += QStringLiteral("<tr><td class=num>%1</td><td class=num>%2</td><td>%3</td><td class=num>%4 s</td>"
                                   "<td>%5</td><td>%6</td></tr>")
                        .arg(clock(qint64(t.value("start").toDouble())))
                        .arg(t.value("channel").toInt())
                        .arg(esc(t.value("sender").toString()))
                        .arg(t.value("seconds").toDouble(), 0, 'f', 1)
                        .arg(calls.isEmpty() ? QStringLiteral("<span class=muted>none</span>") : calls, play);
        }
        html += QStringLiteral("<section><h2>Voice transmissions</h2><table class=voice><thead><tr><th>Time</th>"
                               "<th>Ch</th><th>From</th><th>Length</th><th>DSC calls of the same minutes</th>"
                               "<th>Recording</th></tr></thead><tbody>%1</tbody></table></section>")
                    .arg(rows);
    }

    const QJsonArray stations = ev.value("stations").toArray();
    html += QStringLiteral("<section><h2>Stations</h2>");
    if (stations.isEmpty())
        html += QStringLiteral("<p class=muted>No records were exchanged.</p>");
    for (const QJsonValue& v : stations) {
        const QJsonObject s = v.toObject();
        const QString address = s.value("address").toString();
        html += QStringLiteral("<article class=station><h2>%1 <span class=kind>%2</span></h2>"
                               "<p>%3 sent, %4 received%5</p>")
                    .arg(who(s), esc(s.value("kind").toString()))
                    .arg(s.value("sent").toInt())
                    .arg(s.value("received").toInt())
                    .arg(address.isEmpty() ? QString() : QStringLiteral(", from %1").arg(esc(address)));
        html += table(QStringLiteral("Calls made"), QStringLiteral("To"), callRows(s.value("calls").toArray(), false));
        html += table(QStringLiteral("Calls answered"), QStringLiteral("From"),
                      callRows(s.value("answered").toArray(), true));
        html += table(QStringLiteral("Left unanswered"), QStringLiteral("From"),
                      callRows(s.value("unanswered").toArray(), true));
        html += QStringLiteral("</article>");
    }
    html += QStringLiteral("</section>");

    html += QStringLiteral("<section><h2>Calls left unanswered</h2>");
    const QString open = callRows(ev.value("unanswered").toArray(), true);
    html += open.isEmpty() ? QStringLiteral("<p class=muted>None: every call was answered.</p>")
                           : table(QString(), QStringLiteral("From"), open);
    html += QStringLiteral("</section><section><h2>Rejected records</h2>");
    const QJsonArray rejected = ev.value("rejected").toArray();
    if (rejected.isEmpty()) {
        html += QStringLiteral("<p class=muted>None.</p>");
    } else {
        html += QStringLiteral("<table><thead><tr><th>Time</th><th>Sender</th><th>Reason</th><th>Excerpt</th></tr>"
                               "</thead><tbody>");
        for (const QJsonValue& v : rejected) {
            const QJsonObject r = v.toObject();
            html += QStringLiteral("<tr><td class=num>%1</td><td>%2</td><td>%3</td><td><code>%4</code></td></tr>")
                        .arg(clock(qint64(r.value("time").toDouble())), esc(r.value("sender").toString()),
                             esc(r.value("problem").toString()), esc(r.value("excerpt").toString()));
        }
        html += QStringLiteral("</tbody></table>");
    }
    html += QStringLiteral("</section></body></html>\n");
    return html.toUtf8();
}

} // namespace exchange
