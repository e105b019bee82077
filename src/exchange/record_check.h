// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a datagram is a well-formed call record worth relaying to the stations.
#pragma once

#include <QByteArray>
#include <QString>

namespace exchange {

// Empty when the datagram is a well-formed record; otherwise why it is not.
QString recordProblem(const QByteArray& datagram);

// A printable excerpt of any bytes: non-printable bytes as \xNN, at most `max` bytes shown.
QString excerpt(const QByteArray& bytes, int max = 60);

} // namespace exchange
