// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/dsc_listener.h"

#include <QNetworkDatagram>

DscListener::DscListener(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &DscListener::deliverPending);
}

bool DscListener::bind(quint16 port)
{
    m_error.clear();
    if (m_socket.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress))
        return true;
    if (m_socket.error() == QAbstractSocket::AddressInUseError)
        m_error = QStringLiteral("Could not bind socket. Address and port are already in use.");
    else
        m_error = m_socket.errorString();
    return false;
}

void DscListener::deliverPending()
{
    if (m_delivering)
        return;   // the loop below, further out on the stack, takes this datagram in its turn
    m_delivering = true;
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (m_handler)
            m_handler(datagram.data());
    }
    m_delivering = false;
}
