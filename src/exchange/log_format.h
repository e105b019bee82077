// SPDX-License-Identifier: GPL-3.0-or-later
// Traffic log texts: the line an instructor reads and the JSON line kept for the debriefing.
#pragma once

#include "wire/record.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace exchange {

struct Traffic {
    QDateTime time;
    QString sender;      // "address:port", or "instructor" for records of the exchange itself
    QByteArray bytes;
    QString problem;     // empty for a well-formed record
    bool relayed = false;
    dsc::DscRecord fields;   // the record read from `bytes`: what inspect() fills in
};

// A datagram as the exchange takes it in: checked, and read once for everyone who looks at it
// (the log lines, the debriefing, the virtual stations).
Traffic inspect(const QDateTime& time, const QString& sender, const QByteArray& bytes);

// "10:42:07 274111001 -> ALL SHIPS  ALLSHIPS ROUTINE  ch 77  [127.0.0.1:5000]"
QString logLine(const Traffic& t);
// One compact JSON object, no line end.
QByteArray jsonLine(const Traffic& t);

} // namespace exchange
