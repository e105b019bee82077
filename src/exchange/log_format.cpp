// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/log_format.h"

#include "wire/record.h"
#include "exchange/record_check.h"

#include <string>
#include <string_view>

namespace exchange {

namespace {

enum class Encoding { Utf8, Latin1 };

// A JSON string body in UTF-8: quote, backslash and control characters escaped, the rest as it
// stands (Latin-1 bytes above 127 written as their two UTF-8 bytes).
void appendJsonEscaped(std::string& out, std::string_view text, Encoding encoding) {
    static const char hex[] = "0123456789abcdef";
    const char* const begin = text.data();
    size_t plain = 0;   // start of the run of bytes written as they stand
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(begin[i]);
        const bool asIs = b >= 0x20 && b != '"' && b != '\\' && (b < 0x80 || encoding == Encoding::Utf8);
        if (asIs)
            continue;
        out.append(begin + plain, i - plain);
        plain = i + 1;
        switch (b) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20) {
                out += "\\u00";
                out += hex[b >> 4];
                out += hex[b & 0xf];
            } else {   // Latin-1 above 127: its two UTF-8 bytes
                out += char(0xC0 | (b >> 6));
                out += char(0x80 | (b & 0x3F));
            }
        }
    }
    out.append(begin + plain, text.size() - plain);
}

// Records of one batch share their time stamp: each text of it is formatted once.
struct TimeText {
    QDateTime last;
    QString text;
    template <typename Format>
    const QString& of(const QDateTime& time, Format format) {
        if (time != last || time.timeSpec() != last.timeSpec() || text.isEmpty()) {
            last = time;
            text = time.toString(format);
        }
        return text;
    }
};
thread_local TimeText clockTime, isoTime;

void appendWords(QString& out, const dsc::DscRecord& r) {
    const auto s = [](const QByteArray& b) { return QLatin1String(b).trimmed(); };
    out += s(r.TXMMSI);
    out += QLatin1String(" -> ");
    out += r.RXMMSI == dsc::ALL_SHIPS_MMSI ? QLatin1String("ALL SHIPS") : s(r.RXMMSI);
    out += QLatin1String("  ");
    out += s(r.CALL);
    out += ' ';
    out += s(r.CATEGORY);
    if (r.CALL == dsc::CALL_DISTRESS || r.CATEGORY == dsc::CAT_DISTRESS) {
        const int code = dsc::leading_number(r.DANGER);
        const QString name = dsc::nature_name(code);
        out += QLatin1String("  nature ");
        out += name.isEmpty() ? QString::number(code) : name;
    }
    if (r.TIME == "--:--" || r.LATD == "--" || r.LOND == "---") {
        out += QLatin1String("  no position");
    } else if (r.LATD != "00" || r.LATM != "00" || r.LOND != "000" || r.LONM != "00") {
        out += QLatin1String("  pos ");
        out += s(r.LATD); out += QChar(0xB0); out += s(r.LATM); out += '\''; out += s(r.NS);
        out += ' ';
        out += s(r.LOND); out += QChar(0xB0); out += s(r.LONM); out += '\''; out += s(r.EW);
    }
    if (r.TIME != "00:00" && r.TIME != "--:--") {
        out += QLatin1String("  at ");
        out += s(r.TIME);
    }
    out += QLatin1String("  ch ");
    out += s(r.CH);
    if (r.CATEGORY == dsc::CAT_ROUT_ACK)
        out += r.COMPLY == "Y" ? QLatin1String("  ABLE") : QLatin1String("  UNABLE");
}

} // namespace

Traffic inspect(const QDateTime& time, const QString& sender, const QByteArray& bytes) {
    Traffic t{time, sender, bytes, recordProblem(bytes), false, {}};
    dsc::Decodifica_stringa(bytes, t.fields);
    return t;
}

QString logLine(const Traffic& t) {
    const QString& time = clockTime.of(t.time, QStringLiteral("hh:mm:ss"));
    const QString from = "  [" + t.sender + "]";
    if (!t.problem.isEmpty())
        return time + (t.relayed ? " RELAYED UNCHECKED " : " REJECTED ") + QString::number(t.bytes.size())
               + " bytes, " + t.problem + ": \"" + excerpt(t.bytes) + "\"" + from;
    const dsc::DscRecord& r = t.fields;
    QString out;
    out.reserve(160);
    out += time;
    out += ' ';
    appendWords(out, r);
    out += from;
    return out;
}

QByteArray jsonLine(const Traffic& t) {
    // Written by hand: the exchange writes one per record, and a JSON object tree per record costs
    // more than the relaying. Keys in the order a JSON library would sort them. The text grows in
    // a buffer kept from one record to the next.
    thread_local std::string o;
    o.clear();
    const auto put = [](const char* key, std::string_view text, Encoding encoding, bool last = false) {
        o += '"';
        o += key;
        o += "\":\"";
        appendJsonEscaped(o, text, encoding);
        o += last ? "\"" : "\",";
    };
    const auto text = [&put](const char* key, const QString& s, bool last = false) {
        const QByteArray utf8 = s.toUtf8();
        put(key, std::string_view(utf8.constData(), size_t(utf8.size())), Encoding::Utf8, last);
    };
    const auto latin1 = [&put](const char* key, const QByteArray& b, bool last = false) {
        put(key, std::string_view(b.constData(), size_t(b.size())), Encoding::Latin1, last);
    };
    o += '{';
    if (!t.problem.isEmpty()) {
        text("excerpt", excerpt(t.bytes, 255));
        text("problem", t.problem);
    } else {
        const dsc::DscRecord& r = t.fields;
        o += "\"fields\":{";
        latin1("CALL", r.CALL); latin1("CATEGORY", r.CATEGORY); latin1("CH", r.CH);
        latin1("COMPLY", r.COMPLY); latin1("DANGER", r.DANGER); latin1("EW", r.EW);
        latin1("LATD", r.LATD); latin1("LATM", r.LATM); latin1("LOND", r.LOND);
        latin1("LONM", r.LONM); latin1("NS", r.NS); latin1("RXMMSI", r.RXMMSI);
        latin1("TIME", r.TIME); latin1("TXMMSI", r.TXMMSI, true);
        o += "},";
        latin1("raw", t.bytes);
    }
    o += t.relayed ? "\"relayed\":true," : "\"relayed\":false,";
    text("sender", t.sender);
    o += "\"size\":";
    o += std::to_string(t.bytes.size());
    o += ',';
    text("time", isoTime.of(t.time, Qt::ISODateWithMs), true);
    o += '}';
    return QByteArray(o.data(), qsizetype(o.size()));
}

} // namespace exchange
