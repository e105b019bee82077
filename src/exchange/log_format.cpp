#include "exchange/log_format.h"

#include "dsc/record.h"
#include "exchange/record_check.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace exchange {

namespace {

QString words(const dsc::DscRecord& r) {
    const auto s = [](const QByteArray& b) { return QString::fromLatin1(b).trimmed(); };
    QString to = r.RXMMSI == dsc::ALL_SHIPS_MMSI ? QStringLiteral("ALL SHIPS") : s(r.RXMMSI);
    QString out = s(r.TXMMSI) + " -> " + to + "  " + s(r.CALL) + " " + s(r.CATEGORY);
    if (r.CALL == dsc::CALL_DISTRESS || r.CATEGORY == dsc::CAT_DISTRESS) {
        const int code = dsc::leading_number(r.DANGER);
        const QString name = dsc::nature_name(code);
        out += "  nature " + (name.isEmpty() ? QString::number(code) : name);
    }
    if (r.TIME == "--:--" || r.LATD == "--" || r.LOND == "---")
        out += "  no position";
    else if (r.LATD + r.LATM + r.LOND + r.LONM != "000000000")
        out += "  pos " + s(r.LATD) + "\u00B0" + s(r.LATM) + "'" + s(r.NS) + " " + s(r.LOND) + "\u00B0" + s(r.LONM)
               + "'" + s(r.EW);
    if (r.TIME != "00:00" && r.TIME != "--:--")
        out += "  at " + s(r.TIME);
    out += "  ch " + s(r.CH);
    if (r.CATEGORY == dsc::CAT_ROUT_ACK)
        out += r.COMPLY == "Y" ? QStringLiteral("  ABLE") : QStringLiteral("  UNABLE");
    return out;
}

} // namespace

QString logLine(const Traffic& t) {
    const QString time = t.time.toString(QStringLiteral("hh:mm:ss"));
    const QString from = "  [" + t.sender + "]";
    if (!t.problem.isEmpty())
        return time + (t.relayed ? " RELAYED UNCHECKED " : " REJECTED ") + QString::number(t.bytes.size())
               + " bytes, " + t.problem + ": \"" + excerpt(t.bytes) + "\"" + from;
    dsc::DscRecord r;
    dsc::Decodifica_stringa(t.bytes, r);
    return time + " " + words(r) + from;
}

QByteArray jsonLine(const Traffic& t) {
    QJsonObject o;
    o["time"] = t.time.toString(Qt::ISODateWithMs);
    o["sender"] = t.sender;
    o["size"] = int(t.bytes.size());
    o["relayed"] = t.relayed;
    if (!t.problem.isEmpty()) {
        o["problem"] = t.problem;
        o["excerpt"] = excerpt(t.bytes, 255);
    } else {
        o["raw"] = QString::fromLatin1(t.bytes);
        dsc::DscRecord r;
        dsc::Decodifica_stringa(t.bytes, r);
        QJsonObject f;
        f["TXMMSI"] = QString::fromLatin1(r.TXMMSI); f["RXMMSI"] = QString::fromLatin1(r.RXMMSI);
        f["CALL"] = QString::fromLatin1(r.CALL); f["CATEGORY"] = QString::fromLatin1(r.CATEGORY);
        f["DANGER"] = QString::fromLatin1(r.DANGER); f["LATD"] = QString::fromLatin1(r.LATD);
        f["LATM"] = QString::fromLatin1(r.LATM); f["NS"] = QString::fromLatin1(r.NS);
        f["LOND"] = QString::fromLatin1(r.LOND); f["LONM"] = QString::fromLatin1(r.LONM);
        f["EW"] = QString::fromLatin1(r.EW); f["TIME"] = QString::fromLatin1(r.TIME);
        f["CH"] = QString::fromLatin1(r.CH); f["COMPLY"] = QString::fromLatin1(r.COMPLY);
        o["fields"] = f;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace exchange
