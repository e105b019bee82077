// SPDX-License-Identifier: GPL-3.0-or-later
// A small reader and writer of Windows profile files ("[section]" lines and "key=value" lines),
// reading bytes as they are (Windows ANSI) and behaving like the platform's profile functions:
// section and key names compare without regard to case, only the first section of a name counts
// and the first occurrence of a key in it wins, whitespace around names and values is dropped, a
// value in matching quotes loses the quotes and a text value is at most `max_text` characters long.
// A section name ends at the first ']' (a header without one still names a section); a UTF-8
// byte-order mark at the start of the file is skipped. A file an editor saved as UTF-16 (with its
// byte-order mark, or with every other byte of its first characters zero) is read as text, its values given as
// Latin-1 bytes, and written back as UTF-16 of the same order with its mark: one file never mixes encodings.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace profile {

// The longest text value a read returns (the platform reads into a 2048-byte buffer).
constexpr qsizetype max_text = 2047;

// The parsed contents of one profile file.
class Profile {
public:
    // `bytes`: the file as stored.
    explicit Profile(QByteArray bytes = {});

    // The value of the first `key` in the first `section` of that name, trimmed, unquoted and cut
    // to `max_text` characters; nothing when the key is not there.
    std::optional<QByteArray> value(const QByteArray& section, const QByteArray& key) const;

    // The bytes of the file after setting `key` of `section` to `value`: the first occurrence is
    // replaced, or the key is added at the end of the first matching section, or the section is
    // added at the end. Every other line stays as it was, line ending included, and the whole
    // file keeps its encoding.
    QByteArray with_value(const QByteArray& section, const QByteArray& key, const QByteArray& value) const;

    enum class Encoding { Bytes, Utf16LE, Utf16BE };
    Encoding encoding() const { return m_encoding; }

private:
    // Each line is looked at once, when the file is parsed: a read then compares names only.
    struct Line {
        enum Kind { Other, Section, Setting };
        qsizetype begin = 0;   // first byte of the line
        qsizetype end = 0;     // one past the last byte before the line ending
        qsizetype next = 0;    // first byte of the following line
        Kind kind = Other;
        qsizetype nameBegin = 0;   // the section's or the setting's name
        qsizetype nameSize = 0;
    };
    struct Found {
        qsizetype line = -1;          // the line holding the key
        qsizetype sectionEnd = -1;    // line after the last setting of the section (or its header)
    };
    QByteArray lineText(const Line& l) const { return m_bytes.mid(l.begin, l.end - l.begin); }
    QByteArrayView lineView(const Line& l) const { return QByteArrayView(m_bytes).sliced(l.begin, l.end - l.begin); }
    QByteArrayView nameView(const Line& l) const { return QByteArrayView(m_bytes).sliced(l.nameBegin, l.nameSize); }
    Found find(const QByteArray& section, const QByteArray& key) const;
    QByteArray lineEnding() const;
    QByteArray stored(const QByteArray& text) const;   // text of m_bytes' kind in the file's encoding

    // The text looked at: the file's bytes, or for a UTF-16 file its text as UTF-8 without the mark.
    QByteArray m_bytes;
    Encoding m_encoding = Encoding::Bytes;
    bool m_utf16Mark = false;
    QList<Line> m_lines;
};

// Reads the whole file; an empty profile when it is missing or cannot be read.
Profile read_file(const QString& path);

// GetPrivateProfileString: the text value, or `def` when the file, the section or the key is missing.
QByteArray read_text(const Profile& p, const QByteArray& section, const QByteArray& key, const QByteArray& def);

// An integer value: decimal with an optional sign, or hexadecimal after "0x" or "$" (up to 32 bits,
// taken as a signed 32-bit value). `def` when the key is missing or its value is not such an integer.
int read_int(const Profile& p, const QByteArray& section, const QByteArray& key, int def);

// The integer rule alone, on a text already trimmed.
std::optional<int> parse_int(const QByteArray& text);

// WritePrivateProfileString: sets one key, creating the file when missing. False when the file
// cannot be read back or written, or when a name or value would break the line format.
bool write_text(const QString& path, const QByteArray& section, const QByteArray& key, const QByteArray& value);

} // namespace profile
