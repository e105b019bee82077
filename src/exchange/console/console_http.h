// The console's HTTP side, on the console's thread: the routes with the access rules, the page's
// files, and the WebSocket stream.
#pragma once

#include "exchange/console/event_stream.h"
#include "exchange/console/guarded_tcp_server.h"

#include <QHttpServer>

namespace exchange {

class Console;

class ConsoleHttp : public QObject {
    Q_OBJECT
public:
    ConsoleHttp(Console& console, QString token);
    // Binds; false with `error`. `port` is the port bound (for port 0).
    bool listen(const QHostAddress& address, quint16 port, QString& error, quint16& bound);
    EventStream& stream() { return m_stream; }

private:
    void addRoutes();
    bool allowed(const QHttpServerRequest& request) const;
    void acceptWebSockets();

    Console& m_console;
    const QString m_token;
    QHttpServer m_http;
    EventStream m_stream;
};

} // namespace exchange
