// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/guarded_tcp_server.h"

#include "exchange/console/request_reader.h"

#include <QSslSocket>

#include <algorithm>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace exchange {

struct GuardedTcpServer::Client {
    enum State { Untrusted, Trusted, WebSocket };
    QPointer<QTcpSocket> socket;
    QHostAddress peer;
    qint64 opened = 0;
    qint64 since = 0;        // start of the request in progress, or of the idle time
    qint64 unanswered = 0;   // bytes taken since the last answer
    State state = Untrusted;

    bool live() const { return socket && socket->state() == QAbstractSocket::ConnectedState; }
};

qint64 GuardedTcpServer::maxUnansweredBytes() { return kMaxBodyBytes + 16 * 1024; }

GuardedTcpServer::GuardedTcpServer(QObject* parent) : QTcpServer(parent)
{
    m_clock.start();
    m_sweep.setInterval(250);
    connect(&m_sweep, &QTimer::timeout, this, &GuardedTcpServer::sweep);
    m_sweep.start();
}

GuardedTcpServer::~GuardedTcpServer()
{
    for (const auto& c : m_clients)
        if (c->socket)
            c->socket->disconnect(this);
}

void GuardedTcpServer::forgetClosed()
{
    std::erase_if(m_clients, [](const auto& c) { return !c->live(); });
}

int GuardedTcpServer::liveConnections()
{
    forgetClosed();
    return int(m_clients.size());
}

int GuardedTcpServer::untrustedConnections()
{
    forgetClosed();
    return int(std::count_if(m_clients.begin(), m_clients.end(),
                             [](const auto& c) { return c->state == Client::Untrusted; }));
}

void GuardedTcpServer::trust(QTcpSocket* socket)
{
    for (const auto& c : m_clients)
        if (c->socket == socket && c->state == Client::Untrusted)
            c->state = Client::Trusted;
}

void GuardedTcpServer::trustWebSocket(QTcpSocket* socket)
{
    for (const auto& c : m_clients)
        if (c->socket == socket)
            c->state = Client::WebSocket;
}

void GuardedTcpServer::sweep()
{
    const qint64 now = m_clock.elapsed();
    for (const auto& c : m_clients) {
        if (!c->live() || c->state == Client::WebSocket)
            continue;
        if (c->socket->bytesToWrite() > 0) {   // being answered
            c->since = now;
            continue;
        }
        const bool waiting = c->unanswered > 0 || c->state == Client::Untrusted;
        if (now - c->since > (waiting ? kRequestDeadlineMs : kTrustedIdleMs))
            c->socket->abort();
    }
    forgetClosed();
}

bool GuardedTcpServer::admit(const QHostAddress& peer)
{
    forgetClosed();
    std::map<QString, std::vector<Client*>> untrusted;   // per address, oldest first
    size_t total = 0;
    for (const auto& c : m_clients)
        if (c->state == Client::Untrusted) {
            untrusted[c->peer.toString()].push_back(c.get());
            ++total;
        }
    const auto it = untrusted.find(peer.toString());
    if (it != untrusted.end() && it->second.size() >= kMaxUntrustedPerAddress)
        return false;
    if (total < kMaxUntrusted)
        return true;
    // The address holding the most; among equals, the one whose oldest waits longest.
    const std::vector<Client*>* most = nullptr;
    for (const auto& [address, list] : untrusted)
        if (!most || list.size() > most->size()
            || (list.size() == most->size() && list.front()->opened < most->front()->opened))
            most = &list;
    most->front()->socket->abort();
    return true;
}

void refuse(QTcpSocket* socket, const char* status, const QByteArray& text)
{
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    socket->readAll();
    socket->write(QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                  + QByteArray::number(text.size() + 1) + "\r\nConnection: close\r\n\r\n" + text + "\n");
    socket->disconnectFromHost();
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    // One beyond its address's share is closed before anything is made for it: a neighbour that
    // opens connections as fast as it can costs the console little.
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&address), &length) != 0
        || !admit(QHostAddress(reinterpret_cast<const sockaddr*>(&address)))) {
        ::close(int(descriptor));
        return;
    }
    QTcpSocket* socket = nullptr;
    if (m_useTls) {
        // The handshake counts as the request's time: one that never finishes is cut off by the
        // same deadline; a failed one closes the connection.
        auto* tls = new QSslSocket(this);
        tls->setSslConfiguration(m_tls);
        if (!tls->setSocketDescriptor(descriptor)) {
            delete tls;
            return;
        }
        connect(tls, &QSslSocket::sslErrors, tls, [tls] { tls->abort(); });
        connect(tls, &QSslSocket::handshakeInterruptedOnError, tls, [tls] { tls->abort(); });
        tls->startServerEncryption();
        socket = tls;
    } else {
        socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
    }
    if (liveConnections() >= kMaxConnections) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuse(socket, "503 Service Unavailable", "too many connections to the console");
        return;
    }
    auto client = std::make_shared<Client>();
    client->socket = socket;
    client->peer = socket->peerAddress();
    client->opened = client->since = m_clock.elapsed();
    m_clients.push_back(client);
    // Connected before the HTTP server's own reader, so this one sees every byte first. The
    // client is held weakly: the list owns it.
    std::weak_ptr<Client> weak = client;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, weak] {
        const auto c = weak.lock();
        if (!c)
            return;
        if (c->unanswered == 0)
            c->since = m_clock.elapsed();
        c->unanswered += socket->bytesAvailable();
        if (c->unanswered > maxUnansweredBytes())
            refuse(socket, "413 Payload Too Large", "the request is larger than the console accepts");
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket, weak] {
        const auto c = weak.lock();
        if (!c || socket->bytesToWrite() > 0)
            return;
        c->unanswered = 0;
        c->since = m_clock.elapsed();
    });
    addPendingConnection(socket);
}

} // namespace exchange
