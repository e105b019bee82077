// The DSC call record: composer and reader.
#include "dsc/record.h"

#include <array>
#include <climits>

namespace dsc {
namespace {

struct FieldSpec {
    const char* key;   // with its equals sign
    int width;
    QByteArray DscRecord::*field;
};

const std::array<FieldSpec, 14> kFields{{
    {"TXMMSI=", 9, &DscRecord::TXMMSI},
    {"RXMMSI=", 9, &DscRecord::RXMMSI},
    {"CALL=", 8, &DscRecord::CALL},
    {"CATEGORY=", 8, &DscRecord::CATEGORY},
    {"DANGER=", 2, &DscRecord::DANGER},
    {"LATD=", 2, &DscRecord::LATD},
    {"LATM=", 2, &DscRecord::LATM},
    {"NS=", 1, &DscRecord::NS},
    {"LOND=", 3, &DscRecord::LOND},
    {"LONM=", 2, &DscRecord::LONM},
    {"EW=", 1, &DscRecord::EW},
    {"TIME=", 5, &DscRecord::TIME},
    {"CH=", 2, &DscRecord::CH},
    {"COMPLY=", 1, &DscRecord::COMPLY},
}};

constexpr int kMaxText = 255;

} // namespace

QByteArray compose(const DscRecord& r)
{
    QByteArray out;
    out.reserve(160);
    for (const FieldSpec& f : kFields) {
        if (!out.isEmpty())
            out += ',';
        out += f.key;
        out += r.*f.field;
    }
    return out;
}

void Decodifica_stringa(const QByteArray& received, DscRecord& r)
{
    const QByteArray text = received.left(kMaxText);
    for (const FieldSpec& f : kFields) {
        const QByteArray key(f.key);
        // 1-based position of the key, 0 when missing: the field then starts at the key's length.
        const qsizetype p = text.indexOf(key) + 1;
        const qsizetype start = p + key.size() - 1;   // 0-based index of the first character
        r.*f.field = start < text.size() ? text.mid(start, f.width) : QByteArray();
    }
}

void nature_name(int code, QString& name)
{
    static const char* const kNames[] = {
        "Undesignated", "Undesignated", "Fire,Explosion", "Flooding", "Collision", "Grounding", "Capsizing",
        "Sinking", "Disable adrift", "Abandoning Ship", "Piracy attack", "Man overboard", "Epirb emission",
    };
    if (code >= 0 && code <= 12)
        name = QString::fromLatin1(kNames[code]);
}

QString nature_name(int code)
{
    QString name;
    nature_name(code, name);
    return name;
}

int leading_number(const QByteArray& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return 0;   // not a number the station could use
    }
    return int(negative ? -value : value);
}

QString cp1252(const QByteArray& bytes)
{
    // 0x80..0x9F differ from Latin-1; unassigned bytes are shown as themselves.
    static const char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += (b >= 0x80 && b <= 0x9F) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return out;
}

} // namespace dsc
