// SPDX-License-Identifier: GPL-3.0-or-later
// The console's HTTP side, on the console's thread: the routes with the access rules, the page's
// files, and the WebSocket stream.
#pragma once

#include "exchange/console/access_rules.h"
#include "exchange/console/event_stream.h"
#include "exchange/console/guarded_tcp_server.h"
#include "exchange/console/listen_stream.h"
#include "exchange/web/station_sessions.h"

#include <QHttpServer>
#include <QPointer>
#include <functional>

namespace exchange {

class Console;

class ConsoleHttp : public QObject {
    Q_OBJECT
public:
    ConsoleHttp(Console& console, const QString& token, const QString& classCode, const web::WebOptions& web);
    // Binds; false with `error`. `port` is the port bound (for port 0).
    // `tls`: serves HTTPS and WSS when set (its certificate not null).
    bool listen(const QHostAddress& address, quint16 port, const QSslConfiguration& tls, QString& error,
                quint16& bound);
    EventStream& stream() { return m_stream; }
    // The channels changed (a transmission began or ended, a page began or stopped listening):
    // the pages are told at once.
    void channelsChanged();
    int listeners(int channel) const { return m_listen.listeners(channel); }   // any thread

private:
    void addRoutes();
    void addStationRoutes();   // the stations in a browser: their page, its pictures and cues
    // Answers with what `make` returns when the access rules let the request into `area`, with
    // the headers every answer carries.
    void answer(const QHttpServerRequest& request, QHttpServerResponder&& responder, Area area,
                const std::function<QHttpServerResponse()>& make);
    void acceptWebSockets();

    Console& m_console;
    AccessRules m_rules;
    QPointer<GuardedTcpServer> m_tcp;
    QHttpServer m_http;
    EventStream m_stream;
    ListenStream m_listen;   // the instructor's pages and the stations' pages listening to a channel
    web::StationSessions m_stations;
    QString m_cueFolder;   // the cue files the stations' pages play
};

} // namespace exchange
