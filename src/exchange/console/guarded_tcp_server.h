// The console's TCP listener with its limits: at most 32 connections live at once, and no client
// may send more than a request body's worth of bytes without being answered. A client beyond
// either limit is answered with an HTTP error and closed.
#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace exchange {

class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 32;
    // Bytes taken from a client since its last answer: a whole request of the largest body, and
    // room for its headers.
    static qint64 maxUnansweredBytes();

    explicit GuardedTcpServer(QObject* parent = nullptr) : QTcpServer(parent) {}
    int liveConnections();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QList<QPointer<QTcpSocket>> m_sockets;
};

// Writes a short HTTP error answer and closes the connection once it is sent.
void refuse(QTcpSocket* socket, const char* status, const QByteArray& text);

} // namespace exchange
