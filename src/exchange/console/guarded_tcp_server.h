// SPDX-License-Identifier: GPL-3.0-or-later
// The console's TCP listener and what it allows a client. A connection whose request passed the
// access rules is trusted: it may stay idle between requests for a while, and a WebSocket page
// stays as long as it likes. Any other connection must have its request answered within a few
// seconds of opening, and each request must arrive whole within as many seconds of its first
// byte. Untrusted connections are capped per source address (one beyond is closed at once) and
// in all (one beyond pushes out the oldest of the address holding the most), so idle or
// half-sent connections, from one host or many, never keep the instructor out. No client may send more
// than a request body's worth of bytes without being answered.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <vector>

namespace exchange {

class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    static constexpr int kRequestDeadlineMs = 4000;    // a request, from its first byte to its end
    static constexpr int kTrustedIdleMs = 30000;       // a trusted connection between requests
    static constexpr int kMaxUntrustedPerAddress = 16;   // a browser opens a few at once
    static constexpr int kMaxUntrusted = 64;
    static constexpr int kMaxConnections = 512;        // beyond: refused, whoever asks
    // Bytes taken from a client since its last answer: a whole request of the largest body, and
    // room for its headers.
    static qint64 maxUnansweredBytes();

    explicit GuardedTcpServer(QObject* parent = nullptr);
    ~GuardedTcpServer() override;

    // Serves TLS (HTTPS, WSS) with this certificate and key; set before listening.
    void setTls(const QSslConfiguration& tls) { m_tls = tls; m_useTls = true; }

    // A request on this connection passed the access rules.
    void trust(QTcpSocket* socket);
    // This connection's request for a WebSocket passed the access rules: it is upgraded.
    void trustWebSocket(QTcpSocket* socket);

    int liveConnections();
    int untrustedConnections();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Client;
    void sweep();
    // Whether a new connection from `peer` is taken: not beyond its address's share of untrusted
    // connections; beyond the share of all, the oldest of the address holding the most goes.
    bool admit(const QHostAddress& peer);
    void forgetClosed();

    std::vector<std::shared_ptr<Client>> m_clients;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    QSslConfiguration m_tls;
    bool m_useTls = false;
};

// Writes a short HTTP error answer and closes the connection once it is sent.
void refuse(QTcpSocket* socket, const char* status, const QByteArray& text);

} // namespace exchange
