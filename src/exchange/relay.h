// SPDX-License-Identifier: GPL-3.0-or-later
// The relay: takes records on the exchange port and delivers them to the stations' port.
#pragma once

#include "exchange/log_format.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

namespace exchange {

class Relay : public QObject {
    Q_OBJECT
public:
    Relay(QList<QHostAddress> destinations, quint16 listenPort = 8090, quint16 stationPort = 8091,
          bool relayAll = false, QObject* parent = nullptr);

    // Binds the listening port; false with errorString() when it cannot.
    bool start();
    QString errorString() const { return error_; }

    // Sends one record to every destination, as a relayed record is sent, and reports it.
    Traffic deliver(const QByteArray& bytes, const QString& origin = QStringLiteral("instructor"));
    // One datagram taken in from `sender` ("address:port") at `time`: relayed when it is a
    // well-formed record (any datagram with relayAll), and reported.
    void take(const QDateTime& time, const QString& sender, const QByteArray& bytes);
    // A record of a station inside the exchange (a web station): the same checks, log and
    // delivery as a datagram that reaches the listening port from `origin`, as one batch.
    void accept(const QByteArray& bytes, const QString& origin);

    qint64 relayed() const { return relayed_; }
    qint64 rejected() const { return rejected_; }

signals:
    void traffic(const exchange::Traffic& t); // every datagram taken in or delivered
    void recordAccepted(const exchange::Traffic& t); // each relayed record
    void batchDone(); // the pending datagrams were handled: a good moment to flush logs
    // Every record sent to the stations' port, as a station there receives it (the stations
    // inside the exchange take it from here: connect with a receiver on their own thread).
    void delivered(const QByteArray& bytes);

private:
    void readPending();
    void send(const QByteArray& bytes);
    const QString& senderName(const QHostAddress& address, quint16 port);

    QList<QHostAddress> destinations_;
    quint16 listenPort_, stationPort_;
    bool relayAll_;
    QUdpSocket in_, out_;
    QString error_;
    QByteArray buffer_{65536, Qt::Uninitialized};   // one datagram, any size UDP allows
    QString lastSender_;
    quint32 lastSenderAddress_ = 0;
    quint16 lastSenderPort_ = 0;
    qint64 relayed_ = 0, rejected_ = 0;
};

} // namespace exchange
