// The instructor's console: the classroom live in a browser, served by the exchange itself.
// The HTTP API and the page, a WebSocket stream of what happens, and the evaluation report.
#pragma once

#include "exchange/console/event_stream.h"
#include "exchange/console/guarded_tcp_server.h"
#include "exchange/console/record_book.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>

namespace exchange {

class Classroom;
class Relay;

class Console : public QObject {
    Q_OBJECT
public:
    Console(Relay& relay, Classroom& classroom, bool relayAll, QObject* parent = nullptr);

    // Serves the console; false with errorString() when the address cannot be bound. Any address
    // but a loopback one needs the access token.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_error; }
    // The address to open, with the token when one is needed.
    QString url() const;
    QString token() const { return m_token; }

    // The evaluation report as a printable page.
    QByteArray reportHtml() const;
    const RecordBook& book() const { return m_book; }
    int streamClients() const { return m_stream.clients(); }

private:
    void addRoutes();
    bool allowed(const QHttpServerRequest& request) const;
    void acceptWebSockets();
    QHttpServerResponse send(const QHttpServerRequest& request);
    QHttpServerResponse addStation(const QHttpServerRequest& request);
    QHttpServerResponse exercise(const QHttpServerRequest& request);
    QHttpServerResponse name(const QHttpServerRequest& request);

    Relay& m_relay;
    Classroom& m_classroom;
    bool m_relayAll;
    RecordBook m_book;
    EventStream m_stream;
    std::vector<BookEntry> m_batch;   // records of the relay's current batch, for the stream
    QHttpServer m_http;
    GuardedTcpServer* m_tcp = nullptr;   // owned by m_http once bound
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_token, m_error;
};

} // namespace exchange
