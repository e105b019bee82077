#include "exchange/relay.h"

#include "exchange/record_check.h"

#include <QNetworkDatagram>

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
    return true;
}

void Relay::send(const QByteArray& bytes) {
    for (const QHostAddress& to : destinations_)
        out_.writeDatagram(bytes, to, stationPort_);
}

void Relay::deliver(const QByteArray& bytes, const QString& origin) {
    send(bytes);
    ++relayed_;
    emit traffic({QDateTime::currentDateTime(), origin, bytes, recordProblem(bytes), true});
    emit batchDone();
}

void Relay::readPending() {
    // A bounded batch, so a flood cannot keep the event loop (and the stop signal) waiting.
    for (int n = 0; n < 256 && in_.hasPendingDatagrams(); ++n) {
        const QNetworkDatagram d = in_.receiveDatagram();
        Traffic t{QDateTime::currentDateTime(),
                  QHostAddress(d.senderAddress().toIPv4Address()).toString() + ":" + QString::number(d.senderPort()),
                  d.data(), recordProblem(d.data()), false};
        if (t.problem.isEmpty() || relayAll_) {
            send(t.bytes);
            t.relayed = true;
            ++relayed_;
            emit recordAccepted(t.bytes, t.sender);
        } else {
            ++rejected_;
        }
        emit traffic(t);
    }
    emit batchDone();
}

} // namespace exchange
