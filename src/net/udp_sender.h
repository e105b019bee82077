// SPDX-License-Identifier: GPL-3.0-or-later
// The DSC sender `UDPClient`: one UDP socket that sends each record as one datagram.
#pragma once

#include "station/ports.h"

#include <QUdpSocket>

class UdpDatagramSender : public DatagramPort {
public:
    UdpDatagramSender();
    // Broadcast permission is given to the socket only for a broadcast send and taken back after it.
    bool send(const QByteArray& payload, const QHostAddress& to, quint16 port, bool broadcast,
              QString* error) override;

private:
    bool setBroadcast(bool on);
    QUdpSocket m_socket;
};
