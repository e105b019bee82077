// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/console_http.h"

#include "exchange/console/console.h"
#include "exchange/console/console_json.h"
#include "exchange/console/http_answers.h"
#include "exchange/console/request_reader.h"
#include "exchange/gsm_wav.h"
#include "station/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QJsonArray>
#include <QHttpServerRequest>
#include <QUrlQuery>
#include <QWebSocket>

namespace exchange {
namespace {

using Status = HttpStatus;

QHttpServerResponse asset(const char* name, const QByteArray& mime, const char* folder = ":/console/")
{
    QFile f(QLatin1String(folder) + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return QHttpServerResponse(Status::NotFound);
    QHttpServerResponse r(mime, f.readAll());
    r.setHeader("Cache-Control", "no-cache");
    return r;
}

// On every answer: the token never leaves in a Referer, no other site frames the console (a
// click on its buttons cannot be stolen), and a file is taken for what its type says.
const QHttpServerResponder::HeaderList kCommonHeaders = {
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
    {"Content-Security-Policy", "frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
};

// A POST must say it carries JSON: a page of another site cannot send that without asking first,
// so it cannot make the instructor's browser send records.
bool carriesJson(const QHttpServerRequest& r)
{
    return r.value("content-type").toLower().startsWith("application/json");
}

// A page of another site is forbidden; anyone else lacks the credential.
Status statusOf(Verdict v) { return v == Verdict::ForeignOrigin ? Status::Forbidden : Status::Unauthorized; }

Caller callerOf(const QHttpServerRequest& r)
{
    return Caller{QString::fromLatin1(r.value("host")), r.value("origin"),
                  r.query().queryItemValue(QStringLiteral("token")), r.value("authorization"), false};
}

} // namespace

ConsoleHttp::ConsoleHttp(Console& console, const QString& token, const QString& classCode,
                         const web::WebOptions& web)
    : m_console(console), m_listen(console.ears()), m_stations(console.relay(), web)
{
    m_rules.setCredential(Area::Instructor, token);
    m_rules.setCredential(Area::Station, classCode);
    m_listen.setHeard([this](int channel) { m_stations.heard(channel); });
    const QString programs = QCoreApplication::applicationDirPath();
    m_cueFolder = installed_data_folder(programs);
    if (m_cueFolder.isEmpty())
        m_cueFolder = programs;
    addRoutes();
    connect(&m_http, &QAbstractHttpServer::newWebSocketConnection, this, &ConsoleHttp::acceptWebSockets);
}

bool ConsoleHttp::listen(const QHostAddress& address, quint16 port, const QSslConfiguration& tls, QString& error,
                         quint16& bound)
{
    auto* tcp = new GuardedTcpServer(&m_http);
    if (!tls.localCertificate().isNull()) {
        tcp->setTls(tls);
        m_rules.setScheme(QStringLiteral("https"));
    }
    if (!tcp->listen(address, port)) {
        error = tcp->errorString();
        delete tcp;
        return false;
    }
    m_http.bind(tcp);
    m_tcp = tcp;
    bound = tcp->serverPort();
    return true;
}

void ConsoleHttp::answer(const QHttpServerRequest& r, QHttpServerResponder&& responder, Area area,
                         const std::function<QHttpServerResponse()>& make)
{
    Caller caller = callerOf(r);
    caller.webSocket = area != Area::Public && r.value("upgrade").toLower() == "websocket";
    if (area == Area::Station && caller.token.isEmpty())
        caller.token = r.query().queryItemValue(QStringLiteral("code"));
    const Verdict verdict = m_rules.check(area, caller);
    QHttpServerResponse response = [&] {
        if (verdict != Verdict::Allowed)
            return problem(AccessRules::explain(verdict, area), statusOf(verdict));
        if (area != Area::Public && responder.socket())
            m_tcp->trust(responder.socket());
        if (r.body().size() > kMaxBodyBytes)
            return problem(QStringLiteral("the body is larger than %1 bytes").arg(kMaxBodyBytes),
                           Status::PayloadTooLarge);
        if (r.method() == QHttpServerRequest::Method::Post && !carriesJson(r))
            return problem(QStringLiteral("the body must be sent as application/json"), Status::UnsupportedMediaType);
        return make();
    }();
    response.addHeaders(kCommonHeaders);
    response.write(std::move(responder));
}

void ConsoleHttp::addRoutes()
{
    using Method = QHttpServerRequest::Method;
    // A route of an area: its handler runs only for a request the access rules let in.
    const auto route = [this](const char* path, Method method, Area area, auto handler) {
        m_http.route(QString::fromLatin1(path), method,
                     [this, area, handler](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                         answer(r, std::move(responder), area, [&] { return handler(r); });
                     });
    };
    const auto file = [](const char* name, const char* mime) {
        return [name, mime](const QHttpServerRequest&) { return asset(name, mime); };
    };
    // The page itself: public, it holds nothing of the classroom and says when the token is missing.
    route("/", Method::Get, Area::Public, file("index.html", "text/html; charset=utf-8"));
    route("/console.css", Method::Get, Area::Public, file("console.css", "text/css; charset=utf-8"));
    for (const char* script : {"/console.js", "/words.js", "/forms.js", "/voice.js", "/traffic.js"})
        route(script, Method::Get, Area::Public, file(script + 1, "text/javascript; charset=utf-8"));
    route("/favicon.svg", Method::Get, Area::Public, file("favicon.svg", "image/svg+xml"));
    route("/favicon.ico", Method::Get, Area::Public, file("favicon.svg", "image/svg+xml"));
    addStationRoutes();

    route("/report", Method::Get, Area::Instructor, [this](const QHttpServerRequest&) {
        QHttpServerResponse r(QByteArrayLiteral("text/html; charset=utf-8"), m_console.reportHtml(true));
        r.setHeader("Cache-Control", "no-store");
        return r;
    });
    route("/api/records", Method::Get, Area::Instructor, [this](const QHttpServerRequest& r) {
        const auto since = read_since(r.query().queryItemValue(QStringLiteral("since")));
        if (!since)
            return problem(QStringLiteral("since is a record number: 0, 1, 2 ..."));
        // Copied on the relay's thread, written out as JSON on this one.
        const std::vector<BookEntry> entries = m_console.onRelayThread([&] { return m_console.records(*since); });
        std::vector<const BookEntry*> list;
        for (const BookEntry& e : entries)
            list.push_back(&e);
        return json(recordsJson(list));
    });
    route("/api/stations", Method::Get, Area::Instructor, [this](const QHttpServerRequest&) {
        return m_console.stations();
    });
    route("/api/stations", Method::Post, Area::Instructor, [this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.addStation(body); });
    });
    route("/api/report", Method::Get, Area::Instructor, [this](const QHttpServerRequest&) {
        return m_console.report();
    });
    // The form's preview: a record not yet complete is an answer like any other, not a failed
    // request (the page asks at every keystroke).
    route("/api/compose", Method::Post, Area::Instructor, [this](const QHttpServerRequest& r) {
        const auto record = read_send_body(r.body(), m_console.relayAll());
        if (const auto* why = std::get_if<QString>(&record))
            return json(QJsonObject{{"ok", false}, {"error", *why}});
        return json(QJsonObject{{"ok", true}, {"text", QString::fromLatin1(std::get<QByteArray>(record))}});
    });
    route("/api/meta", Method::Get, Area::Instructor, [this](const QHttpServerRequest&) {
        QJsonObject meta = metaJson();
        meta.insert("run", m_console.runId());
        return json(meta);
    });
    route("/api/send", Method::Post, Area::Instructor, [this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.send(body); });
    });
    route("/api/names", Method::Post, Area::Instructor, [this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.name(body); });
    });
    route("/api/exercise", Method::Post, Area::Instructor, [this](const QHttpServerRequest& r) {
        const QByteArray body = r.body();
        return m_console.onRelayThread([&] { return m_console.exercise(body); });
    });
    // The voice channels: who talks on each now, and the transmissions recorded.
    route("/api/channels", Method::Get, Area::Instructor, [this](const QHttpServerRequest&) {
        return json(m_console.channelsJson());
    });
    route("/api/recordings", Method::Get, Area::Instructor, [this](const QHttpServerRequest&) {
        const std::vector<VoiceTransmission> list = m_console.onRelayThread([this] { return m_console.voice(); });
        QJsonArray out;
        for (const VoiceTransmission& t : list)
            out.append(QJsonDocument::fromJson(voiceJsonLine(t)).object());
        return json(QJsonDocument(out).toJson(QJsonDocument::Compact));
    });
    // One recording as 16-bit PCM, which every browser plays (GSM 6.10 in WAV few do). Only the
    // names of recorded transmissions are served: nothing else of the folder.
    m_http.route("/api/recordings/<arg>", Method::Get,
                 [this](const QString& name, const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                     answer(r, std::move(responder), Area::Instructor, [&] {
                         const bool known = m_console.onRelayThread([&] { return m_console.isRecording(name); });
                         const QByteArray wav =
                             known ? pcmWavOf(QDir(m_console.recorder()->folder()).filePath(name)) : QByteArray();
                         if (wav.isEmpty())
                             return problem(QStringLiteral("no such recording"), Status::NotFound);
                         QHttpServerResponse answer(QByteArrayLiteral("audio/wav"), wav);
                         answer.setHeader("Cache-Control", "no-store");
                         return answer;
                     });
                 });
    // The sockets: Qt's HTTP server upgrades a request to a WebSocket once a route has taken it
    // without answering. One the access rules refuse (no token, a page of another site) is
    // answered instead, and never upgraded.
    for (const char* socket : {"/api/listen", "/api/events", "/api/station", "/api/station-listen"})
        m_http.route(QString::fromLatin1(socket), Method::Get,
                     [this](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                         Caller caller = callerOf(r);
                         caller.webSocket = true;
                         const Area area = r.url().path().startsWith(QLatin1String("/api/station")) ? Area::Station
                                                                                                   : Area::Instructor;
                         if (area == Area::Station && caller.token.isEmpty())
                             caller.token = r.query().queryItemValue(QStringLiteral("code"));
                         const Verdict verdict = m_rules.check(area, caller);
                         const bool upgrade = r.value("upgrade").toLower() == "websocket";
                         if (verdict == Verdict::Allowed && upgrade) {
                             if (responder.socket())
                                 m_tcp->trustWebSocket(responder.socket());
                             return;
                         }
                         answer(r, std::move(responder), area, [&] {
                             if (verdict != Verdict::Allowed)
                                 return problem(AccessRules::explain(verdict, area), statusOf(verdict));
                             return problem(QStringLiteral("this is a WebSocket"), Status::UpgradeRequired);
                         });
                     });
    m_http.setMissingHandler([this](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
        answer(r, std::move(responder), Area::Instructor,
               [] { return problem(QStringLiteral("no such page"), Status::NotFound); });
    });
}

void ConsoleHttp::addStationRoutes()
{
    using Method = QHttpServerRequest::Method;
    const auto page = [this](const char* path, const char* name, const char* mime, const char* folder) {
        m_http.route(QString::fromLatin1(path), Method::Get,
                     [this, name, mime, folder](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                         answer(r, std::move(responder), Area::Public, [&] { return asset(name, mime, folder); });
                     });
    };
    // Public like the console's own files: the page asks for the class code when it is missing.
    page("/station", "station.html", "text/html; charset=utf-8", ":/station/");
    page("/station.css", "station.css", "text/css; charset=utf-8", ":/station/");
    page("/station.js", "station.js", "text/javascript; charset=utf-8", ":/station/");
    // The panel's pictures, drawn at build time by the desktop's own artwork code.
    m_http.route(QStringLiteral("/station-art/<arg>"), Method::Get,
                 [this](const QString& name, const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                     answer(r, std::move(responder), Area::Public, [&] {
                         static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_]+\\.(png|json)$"));
                         if (!kName.match(name).hasMatch())
                             return problem(QStringLiteral("no such picture"), Status::NotFound);
                         const QByteArray mime = name.endsWith(QLatin1String(".png")) ? "image/png" : "application/json";
                         return asset(qPrintable(name), mime, ":/station-art/");
                     });
                 });
    // Whether this page may open a station: asked when its socket was refused, to tell the trainee why.
    m_http.route(QStringLiteral("/api/station-access"), Method::Get,
                 [this](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                     answer(r, std::move(responder), Area::Station, [] { return json(QJsonObject{{"ok", true}}); });
                 });
    // The cues, from the files the desktop station plays: only the cues' own names.
    m_http.route(QStringLiteral("/station-cues/<arg>"), Method::Get,
                 [this](const QString& name, const QHttpServerRequest& r, QHttpServerResponder&& responder) {
                     answer(r, std::move(responder), Area::Public, [&] {
                         QFile f(QDir(m_cueFolder).filePath(name));
                         if (!web::StationHost::isCueFile(name) || !f.open(QIODevice::ReadOnly))
                             return problem(QStringLiteral("no such cue"), Status::NotFound);
                         QHttpServerResponse answer(QByteArrayLiteral("audio/wav"), f.readAll());
                         answer.setHeader("Cache-Control", "max-age=86400");
                         return answer;
                     });
                 });
}

void ConsoleHttp::acceptWebSockets()
{
    while (m_http.hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> ws = m_http.nextPendingWebSocketConnection();
        if (!ws)
            continue;
        const QUrl url = ws->requestUrl();
        const QUrlQuery query(url);
        Caller caller;
        caller.host = url.port() < 0 ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
        caller.origin = ws->origin().toLatin1();
        caller.token = query.queryItemValue(QStringLiteral("token"));
        caller.webSocket = true;
        const bool listen = url.path() == QLatin1String("/api/listen");
        const bool station = url.path() == QLatin1String("/api/station");
        const bool stationListen = url.path() == QLatin1String("/api/station-listen");
        if (station && caller.token.isEmpty())
            caller.token = query.queryItemValue(QStringLiteral("code"));
        if (stationListen && caller.token.isEmpty())
            caller.token = query.queryItemValue(QStringLiteral("code"));
        const Area area = station || stationListen ? Area::Station : Area::Instructor;
        const Verdict verdict = (url.path() == QLatin1String("/api/events") || listen || station || stationListen)
            ? m_rules.check(area, caller) : Verdict::NeedsCredential;
        if (verdict != Verdict::Allowed) {
            // Closed before a word of the classroom is sent.
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, AccessRules::explain(verdict, area).left(120));
            ws.release()->deleteLater();
            continue;
        }
        if (station) {
            m_stations.add(std::move(ws), query);
            continue;
        }
        if (stationListen) {
            m_listen.add(std::move(ws), query.queryItemValue(QStringLiteral("channel")).toInt());
            continue;
        }
        if (listen) {
            // Told after the listen stream has counted the page in or out (slots run in order).
            QWebSocket* s = ws.get();
            m_listen.add(std::move(ws), query.queryItemValue(QStringLiteral("channel")).toInt());
            connect(s, &QWebSocket::disconnected, this, &ConsoleHttp::channelsChanged);
            channelsChanged();
            continue;
        }
        m_stream.add(std::move(ws), "{\"type\":\"hello\",\"lastSeq\":" + QByteArray::number(m_console.lastSeq())
                                        + ",\"run\":\"" + m_console.runId().toLatin1() + "\"}");
    }
}

} // namespace exchange

namespace exchange {

void ConsoleHttp::channelsChanged()
{
    m_stream.send("{\"type\":\"channels\",\"channels\":" + QJsonDocument(m_console.channelsJson()).toJson(QJsonDocument::Compact) + "}");
}

} // namespace exchange
