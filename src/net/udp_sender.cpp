// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/udp_sender.h"

#include <sys/socket.h>

UdpDatagramSender::UdpDatagramSender()
{
    // Any free local port: the receivers never answer to the sender's port.
    m_socket.bind(QHostAddress::AnyIPv4, 0);
}

bool UdpDatagramSender::setBroadcast(bool on)
{
    const qintptr fd = m_socket.socketDescriptor();
    if (fd < 0)
        return false;
    const int value = on ? 1 : 0;
    return ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0;
}

bool UdpDatagramSender::send(const QByteArray& payload, const QHostAddress& to, quint16 port,
                             bool broadcast, QString* error)
{
    if (m_socket.state() != QAbstractSocket::BoundState
        && !m_socket.bind(QHostAddress::AnyIPv4, 0)) {
        if (error)
            *error = m_socket.errorString();
        return false;
    }
    // Qt allows broadcast on every UDP socket; a unicast record must not go out as one.
    setBroadcast(broadcast);
    const qint64 written = m_socket.writeDatagram(payload, to, port);
    if (broadcast)
        setBroadcast(false);
    if (written < 0) {
        if (error)
            *error = m_socket.errorString();
        return false;
    }
    return true;
}
