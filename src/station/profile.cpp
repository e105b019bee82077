// SPDX-License-Identifier: GPL-3.0-or-later
// Windows profile files, read and written byte for byte.
#include "station/profile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace profile {

namespace {

// Lines are looked at through views, without copies, once when the file is parsed.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The name inside a "[name]" line: up to the first ']', trimmed. Whatever follows the ']' is
// ignored; a line without one names a section all the same (the rest of the line).
QByteArrayView sectionName(QByteArrayView trimmedLine)
{
    const qsizetype close = trimmedLine.indexOf(']');
    const qsizetype stop = close > 0 ? close : trimmedLine.size();
    return trimmedLine.sliced(1, stop - 1).trimmed();
}

bool isSection(QByteArrayView trimmedLine) { return trimmedLine.startsWith('['); }

// A setting line: not a comment, with an '=' after a non-empty name.
bool settingName(QByteArrayView trimmedLine, QByteArrayView* name)
{
    if (trimmedLine.isEmpty() || trimmedLine.startsWith(';') || isSection(trimmedLine))
        return false;
    const qsizetype eq = trimmedLine.indexOf('=');
    if (eq < 0)
        return false;
    *name = trimmedLine.first(eq).trimmed();
    return !name->isEmpty();
}

QByteArray unquoted(QByteArray v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

// UTF-16 as editors save it: with its byte-order mark, or without one when the file's first
// characters (up to 32) are all of one byte, every other byte zero; no text of one byte per
// character looks like that, nor becomes so when a setting is added to it.
Profile::Encoding utf16Of(const QByteArray& b, bool* mark)
{
    *mark = b.startsWith("\xFF\xFE") || b.startsWith("\xFE\xFF");
    if (*mark)
        return b[0] == '\xFF' ? Profile::Encoding::Utf16LE : Profile::Encoding::Utf16BE;
    const qsizetype n = std::min<qsizetype>(b.size(), 64) & ~qsizetype(1);
    if (n < 4)
        return Profile::Encoding::Bytes;
    bool le = true, be = true;
    for (qsizetype i = 0; i < n; i += 2) {
        le = le && b[i] != 0 && b[i + 1] == 0;
        be = be && b[i] == 0 && b[i + 1] != 0;
    }
    return le ? Profile::Encoding::Utf16LE : be ? Profile::Encoding::Utf16BE : Profile::Encoding::Bytes;
}

// The UTF-8 text of a UTF-16 file as characters, a U+FEFF at its start included (QString::fromUtf8
// would drop it, and every write would lose one).
QString textOf(const QByteArray& utf8)
{
    return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom)(utf8);
}

QStringConverter::Encoding converterOf(Profile::Encoding e)
{
    return e == Profile::Encoding::Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
}

} // namespace

Profile::Profile(QByteArray bytes) : m_bytes(std::move(bytes))
{
    m_encoding = utf16Of(m_bytes, &m_utf16Mark);
    if (m_encoding != Encoding::Bytes) {
        // A U+FEFF after the mark is text of the file, kept as it stands (the decoder would drop it).
        QStringDecoder decode(converterOf(m_encoding), QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        // Whole characters only: a last odd byte, which an editor never writes, is dropped.
        const qsizetype begin = m_utf16Mark ? 2 : 0;
        const QString text = decode(QByteArrayView(m_bytes).sliced(begin, (m_bytes.size() - begin) & ~qsizetype(1)));
        m_bytes = text.toUtf8();
    }
    // A UTF-8 byte-order mark, as some editors put at the start, is not part of the first line
    // (it stays in the bytes, so a write keeps it).
    qsizetype begin = m_bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const char* const b = m_bytes.constData();
    const qsizetype n = m_bytes.size();
    while (begin < n) {
        const char* const end = static_cast<const char*>(std::memchr(b + begin, '\n', size_t(n - begin)));
        const char* const cr = static_cast<const char*>(std::memchr(b + begin, '\r', size_t((end ? end - b : n) - begin)));
        const qsizetype i = cr ? cr - b : end ? end - b : n;
        qsizetype next = i;
        if (next < n && b[next] == '\r')
            ++next;
        if (next < n && b[next] == '\n' && (next == i || b[i] == '\r'))
            ++next;
        Line line{begin, i, next};
        const QByteArrayView t = lineView(line).trimmed();
        QByteArrayView name;
        if (isSection(t)) {
            line.kind = Line::Section;
            name = sectionName(t);
        } else if (settingName(t, &name)) {
            line.kind = Line::Setting;
        }
        line.nameBegin = name.isNull() ? 0 : name.data() - b;
        line.nameSize = name.size();
        m_lines.push_back(line);
        begin = next;
    }
}

Profile::Found Profile::find(const QByteArray& section, const QByteArray& key) const
{
    // Only the first section of that name is searched: a later one of the same name neither adds
    // keys nor receives them.
    Found found;
    bool inFirst = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Line::Section) {
            if (inFirst)
                return found;
            inFirst = sameName(nameView(l), section);
            if (inFirst)
                found.sectionEnd = i + 1;
            continue;
        }
        if (!inFirst || l.kind != Line::Setting)
            continue;
        found.sectionEnd = i + 1;
        if (sameName(nameView(l), key)) {
            found.line = i;
            return found;
        }
    }
    return found;
}

std::optional<QByteArray> Profile::value(const QByteArray& section, const QByteArray& key) const
{
    const Found f = find(section, key);
    if (f.line < 0)
        return std::nullopt;
    const QByteArray t = lineText(m_lines[f.line]);
    QByteArray v = unquoted(t.mid(t.indexOf('=') + 1).trimmed());
    if (m_encoding != Encoding::Bytes)
        v = QString::fromUtf8(v).toLatin1();   // the one-byte text a value is everywhere else
    return v.left(max_text);
}

QByteArray Profile::lineEnding() const
{
    for (const Line& l : m_lines)
        if (l.next > l.end)
            return m_bytes.mid(l.end, l.next - l.end);
    return "\r\n";
}

QByteArray Profile::stored(const QByteArray& text) const
{
    if (m_encoding == Encoding::Bytes)
        return text;
    QStringEncoder encode(converterOf(m_encoding), QStringConverter::Flag::Stateless);
    const QByteArray body = encode(textOf(text));
    // Written with its mark even when it was read without one: a file known only by its zero bytes
    // could stop looking like UTF-16 once a value in its first characters is shortened, and would
    // then be read as bytes.
    return (m_encoding == Encoding::Utf16LE ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) + body;
}

QByteArray Profile::with_value(const QByteArray& section, const QByteArray& key, const QByteArray& value) const
{
    const Found f = find(section, key);
    const QByteArray eol = lineEnding();
    QByteArray out = m_bytes;
    auto asText = [this](const QByteArray& b) {
        return m_encoding == Encoding::Bytes ? b : QString::fromLatin1(b).toUtf8();
    };
    if (f.line >= 0) {
        const Line& l = m_lines[f.line];
        const qsizetype valueStart = l.begin + lineText(l).indexOf('=') + 1;
        out.replace(valueStart, l.end - valueStart, asText(value));
        return stored(out);
    }
    const QByteArray setting = asText(key) + '=' + asText(value) + eol;
    if (f.sectionEnd >= 0) {
        const Line& after = m_lines[f.sectionEnd - 1];
        out.insert(after.next, after.next == after.end ? eol + setting : setting);
        return stored(out);
    }
    if (!m_lines.isEmpty() && m_lines.back().next == m_lines.back().end)
        out += eol;
    out += '[' + asText(section) + ']' + eol + setting;
    return stored(out);
}

Profile read_file(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Profile();
    return Profile(f.readAll());
}

QByteArray read_text(const Profile& p, const QByteArray& section, const QByteArray& key, const QByteArray& def)
{
    return p.value(section, key).value_or(def.left(max_text));
}

std::optional<int> parse_int(const QByteArray& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const QByteArray rest = text.mid(i);
    bool hex = false;
    qsizetype digits = 0;
    if (rest.startsWith('$'))
        hex = true, digits = 1;
    else if (rest.startsWith("0x") || rest.startsWith("0X"))
        hex = true, digits = 2;
    if (digits >= rest.size())
        return std::nullopt;

    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 v = 0;
    for (qsizetype k = digits; k < rest.size(); ++k) {
        const char c = rest[k];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * (hex ? 16 : 10) + d;
        if (v > limit)
            return std::nullopt;
    }
    // Hexadecimal values cover all 32 bits and wrap as a signed value; the sign then applies.
    const quint32 bits = negative ? quint32(0u - quint32(v)) : quint32(v);
    return qint32(bits);
}

int read_int(const Profile& p, const QByteArray& section, const QByteArray& key, int def)
{
    const std::optional<QByteArray> v = p.value(section, key);
    if (!v)
        return def;
    return parse_int(*v).value_or(def);
}

bool write_text(const QString& path, const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    auto breaksLine = [](const QByteArray& s) { return s.contains('\n') || s.contains('\r'); };
    if (breaksLine(section) || breaksLine(key) || breaksLine(value) || section.contains(']')
        || key.contains('=') || key.trimmed().isEmpty() || key.trimmed().startsWith(';')
        || key.trimmed().startsWith('['))
        return false;

    QByteArray old;
    const QFileInfo info(path);
    if (info.exists()) {
        // A read-only file stays as it is, also for an administrator whom the system would let
        // write it, and although the new text would be moved into its place rather than written.
        constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        QFile in(path);
        if (!info.isFile() || !(info.permissions() & anyWrite) || !info.isWritable()
            || !in.open(QIODevice::ReadOnly))
            return false;
        old = in.readAll();
    }
    const QByteArray bytes = Profile(old).with_value(section, key, value);

    // Written beside the old file and then put in its place, so a failed write leaves the old one.
    QSaveFile out(path);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace profile
