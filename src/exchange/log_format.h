// Traffic log texts: the line an instructor reads and the JSON line kept for the debriefing.
#pragma once

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
};

// "10:42:07 274111001 -> ALL SHIPS  ALLSHIPS ROUTINE  ch 77  [127.0.0.1:5000]"
QString logLine(const Traffic& t);
// One compact JSON object, no line end.
QByteArray jsonLine(const Traffic& t);

} // namespace exchange
