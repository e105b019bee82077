// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/relay.h"

namespace exchange {

Relay::Relay(QList<QHostAddress> destinations, quint16 listenPort, quint16 stationPort, bool relayAll,
             QObject* parent)
    : QObject(parent), destinations_(std::move(destinations)), listenPort_(listenPort),
      stationPort_(stationPort), relayAll_(relayAll) {
    connect(&in_, &QUdpSocket::readyRead, this, &Relay::readPending);
}

bool Relay::start() {
    if (!in_.bind(QHostAddress::AnyIPv4, listenPort_, QAbstractSocket::DontShareAddress)) {
        error_ = QStringLiteral("cannot listen on UDP port %1: %2").arg(listenPort_).arg(in_.errorString());
        return false;
    }
    in_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    // An IPv4 socket for delivery: the stations are IPv4, and an unbound socket would be a
    // dual-stack one taking the longer IPv6 road for every datagram.
    if (!out_.bind(QHostAddress::AnyIPv4, 0)) {
        error_ = QStringLiteral("cannot open the delivery socket: %1").arg(out_.errorString());
        return false;
    }
    return true;
}

void Relay::send(const QByteArray& bytes) {
    for (const QHostAddress& to : destinations_)
        out_.writeDatagram(bytes, to, stationPort_);
    emit delivered(bytes);
}

void Relay::accept(const QByteArray& bytes, const QString& origin) {
    take(QDateTime::currentDateTime(), origin, bytes);
    emit batchDone();
}

Traffic Relay::deliver(const QByteArray& bytes, const QString& origin) {
    send(bytes);
    ++relayed_;
    Traffic t = inspect(QDateTime::currentDateTime(), origin, bytes);
    t.relayed = true;
    emit traffic(t);
    emit batchDone();
    return t;
}

void Relay::readPending() {
    // A bounded batch, so a flood cannot keep the event loop (and the stop signal) waiting. One
    // time stamp for the batch: it is read in microseconds, and the log shows seconds.
    const QDateTime now = QDateTime::currentDateTime();
    for (int n = 0; n < 256 && in_.hasPendingDatagrams(); ++n) {
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 size = in_.readDatagram(buffer_.data(), buffer_.size(), &from, &fromPort);
        if (size < 0)
            break;
        take(now, senderName(from, fromPort), QByteArray(buffer_.constData(), size));
    }
    emit batchDone();
}

void Relay::take(const QDateTime& time, const QString& sender, const QByteArray& bytes) {
    Traffic t = inspect(time, sender, bytes);
    if (t.problem.isEmpty() || relayAll_) {
        send(t.bytes);
        t.relayed = true;
        ++relayed_;
        emit recordAccepted(t);
    } else {
        ++rejected_;
    }
    emit traffic(t);
}

const QString& Relay::senderName(const QHostAddress& address, quint16 port) {
    // Stations send from the same address and port again and again: format each once.
    const quint32 v4 = address.toIPv4Address();
    if (v4 != lastSenderAddress_ || port != lastSenderPort_ || lastSender_.isEmpty()) {
        lastSenderAddress_ = v4;
        lastSenderPort_ = port;
        lastSender_ = QHostAddress(v4).toString() + ':' + QString::number(port);
    }
    return lastSender_;
}

} // namespace exchange
