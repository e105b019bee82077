#include "exchange/console/guarded_tcp_server.h"

#include "exchange/console/request_reader.h"

#include <memory>

namespace exchange {

qint64 GuardedTcpServer::maxUnansweredBytes() { return kMaxBodyBytes + 16 * 1024; }

int GuardedTcpServer::liveConnections()
{
    // A socket handed to the WebSocket side stays counted until its page goes away.
    m_sockets.removeIf([](const QPointer<QTcpSocket>& s) {
        return s.isNull() || s->state() == QAbstractSocket::UnconnectedState;
    });
    return int(m_sockets.size());
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
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (liveConnections() >= kMaxConnections) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuse(socket, "503 Service Unavailable", "too many connections to the console");
        return;
    }
    m_sockets.append(socket);
    // Connected before the HTTP server's own reader, so this one sees every byte first.
    auto unanswered = std::make_shared<qint64>(0);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, unanswered] {
        *unanswered += socket->bytesAvailable();
        if (*unanswered > maxUnansweredBytes())
            refuse(socket, "413 Payload Too Large", "the request is larger than the console accepts");
    });
    connect(socket, &QTcpSocket::bytesWritten, socket, [unanswered] { *unanswered = 0; });
    addPendingConnection(socket);
}

} // namespace exchange
