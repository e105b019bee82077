// SPDX-License-Identifier: GPL-3.0-or-later
// The DSC listener `IdUDPServer1`: receives the records the exchange brings to the station.
// Each datagram is handed to the handler to the end, in order of arrival, before the next one.
// The handlers let pending window events run (processEvents), so a datagram may become readable
// while one is being handled: it then waits for the outer delivery loop and is never nested.
#pragma once

#include <QObject>
#include <QUdpSocket>
#include <functional>

class DscListener : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QByteArray&)>;
    static constexpr quint16 kDefaultPort = 8091;

    explicit DscListener(Handler handler, QObject* parent = nullptr);

    // Binds to all local IPv4 addresses, exclusively (a second station on the same PC cannot bind).
    // On failure returns false; errorText() then says why.
    bool bind(quint16 port = kDefaultPort);
    bool bound() const { return m_socket.state() == QAbstractSocket::BoundState; }
    quint16 port() const { return m_socket.localPort(); }
    QString errorText() const { return m_error; }

private:
    void deliverPending();

    QUdpSocket m_socket;
    Handler m_handler;
    bool m_delivering = false;
    QString m_error;
};
