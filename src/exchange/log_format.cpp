#include "exchange/log_format.h"

#include "dsc/record.h"
#include "exchange/record_check.h"

namespace exchange {

namespace {

// A JSON string body: quote, backslash and control characters escaped, the rest as it stands.
void appendJsonEscaped(QByteArray& out, const QByteArray& utf8) {
    static const char hex[] = "0123456789abcdef";
    for (const char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += hex[(c >> 4) & 0xf];
                out += hex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
}

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
    // Written by hand: the exchange writes one per record, and a JSON object tree per record costs
    // more than the relaying. Keys in the order a JSON library would sort them.
    QByteArray o;
    o.reserve(512);
    const auto put = [&o](const char* key, const QByteArray& utf8, bool last = false) {
        o += '"';
        o += key;
        o += "\":\"";
        appendJsonEscaped(o, utf8);
        o += last ? "\"" : "\",";
    };
    const auto latin1 = [](const QByteArray& b) { return QString::fromLatin1(b).toUtf8(); };
    o += '{';
    if (!t.problem.isEmpty()) {
        put("excerpt", excerpt(t.bytes, 255).toUtf8());
        put("problem", t.problem.toUtf8());
    } else {
        dsc::DscRecord r;
        dsc::Decodifica_stringa(t.bytes, r);
        o += "\"fields\":{";
        put("CALL", latin1(r.CALL)); put("CATEGORY", latin1(r.CATEGORY)); put("CH", latin1(r.CH));
        put("COMPLY", latin1(r.COMPLY)); put("DANGER", latin1(r.DANGER)); put("EW", latin1(r.EW));
        put("LATD", latin1(r.LATD)); put("LATM", latin1(r.LATM)); put("LOND", latin1(r.LOND));
        put("LONM", latin1(r.LONM)); put("NS", latin1(r.NS)); put("RXMMSI", latin1(r.RXMMSI));
        put("TIME", latin1(r.TIME)); put("TXMMSI", latin1(r.TXMMSI), true);
        o += "},";
        put("raw", latin1(t.bytes));
    }
    o += t.relayed ? "\"relayed\":true," : "\"relayed\":false,";
    put("sender", t.sender.toUtf8());
    o += "\"size\":" + QByteArray::number(t.bytes.size()) + ',';
    put("time", t.time.toString(Qt::ISODateWithMs).toUtf8(), true);
    o += '}';
    return o;
}

} // namespace exchange
