#include "exchange/console/console_http.h"

#include "exchange/console/console.h"
#include "exchange/console/console_json.h"
#include "exchange/console/http_answers.h"
#include "exchange/console/request_reader.h"
#include "exchange/gsm_wav.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QHttpServerRequest>
#include <QUrlQuery>
#include <QWebSocket>

namespace exchange {
namespace {

using Status = HttpStatus;

QHttpServerResponse asset(const char* name, const QByteArray& mime)
{
    QFile f(QStringLiteral(":/console/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return QHttpServerResponse(Status::NotFound);
    QHttpServerResponse r(mime, f.readAll());
    r.setHeader("Cache-Control", "no-cache");
    return r;
}

// Compares without stopping at the first difference.
bool sameText(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    int diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= a[i].unicode() ^ b[i].unicode();
    return diff == 0;
}

// A POST must say it carries JSON: a page of another site cannot send that without asking first,
// so it cannot make the instructor's browser send records.
bool carriesJson(const QHttpServerRequest& r)
{
    return r.value("content-type").toLower().startsWith("application/json");
}

} // namespace

ConsoleHttp::ConsoleHttp(Console& console, QString token)
    : m_console(console), m_token(std::move(token)), m_listen(console.recorder())
{
    addRoutes();
    connect(&m_http, &QAbstractHttpServer::newWebSocketConnection, this, &ConsoleHttp::acceptWebSockets);
}

bool ConsoleHttp::listen(const QHostAddress& address, quint16 port, QString& error, quint16& bound)
{
    auto* tcp = new GuardedTcpServer(&m_http);
    if (!tcp->listen(address, port)) {
        error = tcp->errorString();
        delete tcp;
        return false;
    }
    m_http.bind(tcp);
    bound = tcp->serverPort();
    return true;
}

// Without a token the console is reached only as 127.0.0.1 or localhost: a site whose name was
// made to point at this PC's loopback would otherwise be the console's own origin in a browser.
static bool loopbackHost(const QString& hostHeader)
{
    const QString host = hostHeader.section(QLatin1Char(':'), 0, 0).toLower();
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost");
}

bool ConsoleHttp::allowed(const QHttpServerRequest& r) const
{
    if (m_token.isEmpty())
        return loopbackHost(QString::fromLatin1(r.value("host")));
    const QString given = r.query().queryItemValue(QStringLiteral("token"));
    if (!given.isEmpty())
        return sameText(given, m_token);
    const QByteArray auth = r.value("authorization");
    return auth.startsWith("Bearer ") && sameText(QString::fromLatin1(auth.mid(7)), m_token);
}

void ConsoleHttp::addRoutes()
{
    using Method = QHttpServerRequest::Method;
    const auto guarded = [this](auto handler) {
        return [this, handler](const QHttpServerRequest& r) -> QHttpServerResponse {
            if (!allowed(r))
                return problem(QStringLiteral("this console needs its access token: open the address the exchange "
                                              "printed"),
                               Status::Unauthorized);
            if (r.body().size() > kMaxBodyBytes)
                return problem(QStringLiteral("the body is larger than %1 bytes").arg(kMaxBodyBytes),
                               Status::PayloadTooLarge);
            if (r.method() == Method::Post && !carriesJson(r))
                return problem(QStringLiteral("the body must be sent as application/json"),
                               Status::UnsupportedMediaType);
            return handler(r);
        };
    };
    m_http.route("/", Method::Get, guarded([](const QHttpServerRequest&) {
        return asset("index.html", "text/html; charset=utf-8");
    }));
    m_http.route("/console.css", Method::Get, guarded([](const QHttpServerRequest&) {
        return asset("console.css", "text/css; charset=utf-8");
    }));
    for (const char* script : {"console.js", "words.js", "forms.js", "voice.js"})
        m_http.route(QStringLiteral("/") + QLatin1String(script), Method::Get,
                     guarded([script](const QHttpServerRequest&) {
                         return asset(script, "text/javascript; charset=utf-8");
                     }));
    m_http.route("/report", Method::Get, guarded([this](const QHttpServerRequest&) {
        const QByteArray page = m_console.onRelayThread([this] { return m_console.reportHtml(true); });
        QHttpServerResponse r(QByteArrayLiteral("text/html; charset=utf-8"), page);
        r.setHeader("Cache-Control", "no-store");
        return r;
    }));
    m_http.route("/api/records", Method::Get, guarded([this](const QHttpServerRequest& r) {
        const auto since = read_since(r.query().queryItemValue(QStringLiteral("since")));
        if (!since)
            return problem(QStringLiteral("since is a record number: 0, 1, 2 ..."));
        // Copied on the relay's thread, written out as JSON on this one.
        const std::vector<BookEntry> entries = m_console.onRelayThread([&] { return m_console.records(*since); });
        std::vector<const BookEntry*> list;
        for (const BookEntry& e : entries)
            list.push_back(&e);
        return json(recordsJson(list));
    }));
    m_http.route("/api/stations", Method::Get, guarded([this](const QHttpServerRequest&) {
        return m_console.onRelayThread([this] { return m_console.stations(); });
    }));
    m_http.route("/api/stations", Method::Post, guarded([this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.addStation(body); });
    }));
    m_http.route("/api/report", Method::Get, guarded([this](const QHttpServerRequest&) {
        return m_console.onRelayThread([this] { return m_console.report(); });
    }));
    m_http.route("/api/compose", Method::Post, guarded([this](const QHttpServerRequest& r) {
        const auto record = read_send_body(r.body(), m_console.relayAll());
        if (const auto* why = std::get_if<QString>(&record))
            return problem(*why);
        return json(QJsonObject{{"text", QString::fromLatin1(std::get<QByteArray>(record))}});
    }));
    m_http.route("/api/meta", Method::Get, guarded([](const QHttpServerRequest&) { return json(metaJson()); }));
    m_http.route("/api/send", Method::Post, guarded([this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.send(body); });
    }));
    m_http.route("/api/names", Method::Post, guarded([this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.name(body); });
    }));
    m_http.route("/api/exercise", Method::Post, guarded([this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.exercise(body); });
    }));
    // The voice channels: who talks on each now, and the transmissions recorded.
    m_http.route("/api/channels", Method::Get, guarded([this](const QHttpServerRequest&) {
        return json(m_console.channelsJson());
    }));
    m_http.route("/api/recordings", Method::Get, guarded([this](const QHttpServerRequest&) {
        const std::vector<VoiceTransmission> list = m_console.onRelayThread([this] { return m_console.voice(); });
        QJsonArray out;
        for (const VoiceTransmission& t : list)
            out.append(QJsonDocument::fromJson(voiceJsonLine(t)).object());
        return json(QJsonDocument(out).toJson(QJsonDocument::Compact));
    }));
    // One recording as 16-bit PCM, which every browser plays (GSM 6.10 in WAV few do). Only the
    // names of recorded transmissions are served: nothing else of the folder.
    m_http.route("/api/recordings/<arg>", Method::Get, [this](const QString& file, const QHttpServerRequest& r) {
        if (!allowed(r))
            return problem(QStringLiteral("this console needs its access token"), Status::Unauthorized);
        const bool known = m_console.onRelayThread([&] { return m_console.isRecording(file); });
        const QByteArray wav = known ? pcmWavOf(QDir(m_console.recorder()->folder()).filePath(file)) : QByteArray();
        if (wav.isEmpty())
            return problem(QStringLiteral("no such recording"), Status::NotFound);
        QHttpServerResponse answer(QByteArrayLiteral("audio/wav"), wav);
        answer.setHeader("Cache-Control", "no-store");
        return answer;
    });
    m_http.route("/api/listen", Method::Get, [](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
        if (r.value("upgrade").toLower() != "websocket")
            responder.write(QByteArrayLiteral("{\"error\":\"this is a WebSocket\"}"), "application/json",
                            Status::UpgradeRequired);
    });
    // The event stream: Qt's HTTP server upgrades this request to a WebSocket once a route has
    // taken it without answering.
    m_http.route("/api/events", Method::Get, [](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
        if (r.value("upgrade").toLower() != "websocket")
            responder.write(QByteArrayLiteral("{\"error\":\"this is a WebSocket\"}"), "application/json",
                            Status::UpgradeRequired);
    });
    m_http.setMissingHandler([this](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
        if (!allowed(r))
            responder.write(Status::Unauthorized);
        else
            responder.write(QByteArrayLiteral("{\"error\":\"no such page\"}"), "application/json", Status::NotFound);
    });
}

void ConsoleHttp::acceptWebSockets()
{
    while (m_http.hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> ws = m_http.nextPendingWebSocketConnection();
        if (!ws)
            continue;
        const QUrl url = ws->requestUrl();
        const QString given = QUrlQuery(url).queryItemValue(QStringLiteral("token"));
        const bool listen = url.path() == QLatin1String("/api/listen");
        const bool ok = (url.path() == QLatin1String("/api/events") || listen)
            && (m_token.isEmpty() ? loopbackHost(url.host()) : sameText(given, m_token));
        if (!ok) {
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("unauthorized"));
            ws.release()->deleteLater();
            continue;
        }
        if (listen) {
            // Told after the listen stream has counted the page in or out (slots run in order).
            QWebSocket* s = ws.get();
            m_listen.add(std::move(ws), QUrlQuery(url).queryItemValue(QStringLiteral("channel")).toInt());
            connect(s, &QWebSocket::disconnected, this, &ConsoleHttp::channelsChanged);
            channelsChanged();
            continue;
        }
        m_stream.add(std::move(ws), "{\"type\":\"hello\",\"lastSeq\":" + QByteArray::number(m_console.lastSeq()) + "}");
    }
}

} // namespace exchange

namespace exchange {

void ConsoleHttp::channelsChanged()
{
    m_stream.send("{\"type\":\"channels\",\"channels\":" + QJsonDocument(m_console.channelsJson()).toJson(QJsonDocument::Compact) + "}");
}

} // namespace exchange
