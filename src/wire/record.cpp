// SPDX-License-Identifier: GPL-3.0-or-later
// The DSC call record: composer and reader.
#include "wire/record.h"

#include <array>
#include <climits>
#include <string_view>

namespace dsc {

namespace {

constexpr qsizetype kMaxText = 255;

} // namespace

DscRecord plain_record(const QByteArray& txmmsi, const QByteArray& rxmmsi, const QByteArray& call,
                       const QByteArray& category, const QByteArray& channel, const QByteArray& comply)
{
    DscRecord r;
    r.TXMMSI = txmmsi;
    r.RXMMSI = rxmmsi;
    r.CALL = call;
    r.CATEGORY = category;
    r.DANGER = "00";
    r.LATD = "00";
    r.LATM = "00";
    r.NS = "N";
    r.LOND = "000";
    r.LONM = "00";
    r.EW = "E";
    r.TIME = "00:00";
    r.CH = channel;
    r.COMPLY = comply;
    return r;
}

QByteArray compose(const DscRecord& r) {
    QByteArray out;
    out.reserve(160);
    for (const Field& f : kFields) {
        if (!out.isEmpty())
            out += ',';
        out += f.key;
        out += r.*f.member;
    }
    return out;
}

void Decodifica_stringa(const QByteArray& received, DscRecord& r) {
    const QByteArray text = received.left(kMaxText);
    const std::string_view view(text.constData(), size_t(text.size()));
    for (const Field& f : kFields) {
        const std::string_view key(f.key);
        const size_t found = view.find(key);
        const qsizetype p = found == std::string_view::npos ? 0 : qsizetype(found) + 1; // 1-based, 0 when absent
        const qsizetype start = p + qsizetype(key.size()) - 1; // 0-based
        r.*f.member = start < text.size() ? text.mid(start, f.width) : QByteArray();
    }
}

void nature_name(int code, QString& name) {
    static const char* const names[] = {
        "Undesignated", "Undesignated", "Fire,Explosion", "Flooding", "Collision",
        "Grounding", "Capsizing", "Sinking", "Disable adrift", "Abandoning Ship",
        "Piracy attack", "Man overboard", "Epirb emission",
    };
    if (code >= 0 && code <= 12)
        name = QString::fromLatin1(names[code]);
}

QString nature_name(int code) { QString s; nature_name(code, s); return s; }

bool allowed_working_channel(int channel)
{
    return ((channel >= 1 && channel <= 28) || (channel >= 60 && channel <= 88)) && channel != 70;
}

int voice_channel_heard(int channel)
{
    return (channel == 9 || channel == 23 || channel == 77 || channel == 84) ? channel : 16;
}

int leading_number(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= INT_MAX)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

QString cp1252(const QByteArray& bytes) {
    // 0x80-0x9F; the five unassigned bytes keep their own code point.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += (b >= 0x80 && b <= 0x9F) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return out;
}

} // namespace dsc
