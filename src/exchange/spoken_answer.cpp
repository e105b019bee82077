// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/spoken_answer.h"

#include "wire/record.h"
#include "station/paths.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace exchange {
namespace {

const char* const kNames[PartnerPhrases::KindCount] = {"individual_ack", "unable_ack", "position_reply",
                                                       "distress_ack"};

const char* const kBuiltIn[PartnerPhrases::KindCount] = {
    "{mmsi}, this is {name}, {name}. Channel {channel}. Go ahead. Over.",
    "{mmsi}, this is {name}. Unable to comply. Over.",
    "{mmsi}, this is {name}. My position {position}. Over.",
    "MAYDAY. {mmsi}, {mmsi}, {mmsi}. This is {name}, {name}, {name}. Received MAYDAY. Over.",
};

const QStringList kPlaceholders = {QStringLiteral("mmsi"), QStringLiteral("name"), QStringLiteral("channel"),
                                   QStringLiteral("position")};

// Empty when every brace of `phrase` opens or closes a known placeholder; else what is wrong.
QString placeholder_problem(const QString& phrase)
{
    for (qsizetype at = 0; at < phrase.size(); ++at) {
        if (phrase[at] == QLatin1Char('}'))
            return QStringLiteral("a '}' that closes nothing");
        if (phrase[at] != QLatin1Char('{'))
            continue;
        const qsizetype end = phrase.indexOf(QLatin1Char('}'), at);
        if (end < 0)
            return QStringLiteral("a '{' that is not closed");
        const QString name = phrase.mid(at + 1, end - at - 1);
        if (!kPlaceholders.contains(name))
            return QStringLiteral("unknown placeholder {%1} (known: {mmsi}, {name}, {channel}, {position})").arg(name);
        at = end;
    }
    return {};
}

bool all_digits(const QByteArray& s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "43 degrees 28 minutes North, 009 degrees 15 minutes East", or "unknown".
QString position_words(const dsc::DscRecord& r)
{
    const bool north = r.NS == "N", south = r.NS == "S", east = r.EW == "E", west = r.EW == "W";
    if (!all_digits(r.LATD) || !all_digits(r.LATM) || !all_digits(r.LOND) || !all_digits(r.LONM)
        || !(north || south) || !(east || west))
        return QStringLiteral("unknown");
    return QStringLiteral("%1 degrees %2 minutes %3, %4 degrees %5 minutes %6")
        .arg(QString::fromLatin1(r.LATD), QString::fromLatin1(r.LATM),
             north ? QStringLiteral("North") : QStringLiteral("South"), QString::fromLatin1(r.LOND),
             QString::fromLatin1(r.LONM), east ? QStringLiteral("East") : QStringLiteral("West"));
}

QString fill(QString phrase, const QString& mmsi, const QString& name, int channel, const QString& position)
{
    phrase.replace(QStringLiteral("{mmsi}"), mmsi);
    phrase.replace(QStringLiteral("{name}"), name);
    phrase.replace(QStringLiteral("{channel}"), QString::number(channel));
    phrase.replace(QStringLiteral("{position}"), position);
    return speak_digits(phrase);
}

} // namespace

PartnerPhrases::PartnerPhrases()
{
    for (int k = 0; k < KindCount; ++k)
        m_phrases[k] = QString::fromLatin1(kBuiltIn[k]);
}

const char* PartnerPhrases::name(Kind k)
{
    return k >= 0 && k < KindCount ? kNames[k] : "";
}

PartnerPhrases PartnerPhrases::parse(const QByteArray& bytes, QStringList* problems)
{
    PartnerPhrases out;
    auto problem = [&](int line, const QString& what) {
        if (problems)
            problems->append(QStringLiteral("line %1: %2; the built-in phrase is used").arg(line).arg(what));
    };
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    std::array<bool, KindCount> seen{};
    int number = 0;
    // Editors on Windows begin a file with a byte order mark and end lines with CR LF.
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        const QString line = utf8.decode(raw).operator QString().trimmed();
        if (utf8.hasError()) {
            problem(number, QStringLiteral("not UTF-8 text"));
            utf8.resetState();
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            problem(number, QStringLiteral("no '=' between a phrase name and its words"));
            continue;
        }
        const QString key = line.left(eq).trimmed();
        const QString words = line.mid(eq + 1).trimmed();
        int kind = 0;
        while (kind < KindCount && key != QLatin1String(kNames[kind]))
            ++kind;
        if (kind == KindCount) {
            if (problems)
                problems->append(QStringLiteral("line %1: unknown phrase '%2' (known: individual_ack, unable_ack, "
                                                "position_reply, distress_ack); it is left out")
                                     .arg(number)
                                     .arg(key.left(40)));
            continue;
        }
        if (seen[kind]) {
            problem(number, QStringLiteral("'%1' is given twice").arg(key));
            out.m_phrases[kind] = QString::fromLatin1(kBuiltIn[kind]);
            continue;
        }
        seen[kind] = true;
        if (words.size() > max_phrase_chars) {
            problem(number, QStringLiteral("longer than %1 characters").arg(max_phrase_chars));
            continue;
        }
        if (const QString why = placeholder_problem(words); !why.isEmpty()) {
            problem(number, why);
            continue;
        }
        out.m_phrases[kind] = words;
    }
    return out;
}

PartnerPhrases PartnerPhrases::read(const QString& path, QStringList* problems)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (problems)
            problems->append(QStringLiteral("cannot read %1 (%2); the built-in phrases are used").arg(path, f.errorString()));
        return {};
    }
    const QByteArray text = f.read(max_file_bytes + 1);
    if (text.size() > max_file_bytes) {
        if (problems)
            problems->append(QStringLiteral("%1 is larger than %2 KiB; the built-in phrases are used")
                                 .arg(path)
                                 .arg(max_file_bytes / 1024));
        return {};
    }
    QStringList found;
    PartnerPhrases p = parse(text, &found);
    if (problems) {
        constexpr qsizetype shown = 10;   // a file that is no phrase file at all says so in a few lines
        for (qsizetype i = 0; i < found.size() && i < shown; ++i)
            problems->append(path + QStringLiteral(", ") + found[i]);
        if (found.size() > shown)
            problems->append(QStringLiteral("%1: %2 more lines with mistakes").arg(path).arg(found.size() - shown));
    }
    return p;
}

QString default_phrase_file(const QString& programFolder)
{
    const QString share = installed_data_folder(programFolder);
    return QDir(share.isEmpty() ? programFolder : share).filePath(QStringLiteral("partner-phrases.txt"));
}

QString speak_digits(const QString& text)
{
    static const char* const words[10] = {"zero", "one", "two", "three", "four",
                                          "five", "six", "seven", "eight", "nine"};
    QString out;
    out.reserve(text.size() * 3);
    bool afterDigit = false;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            if (!out.isEmpty() && out.back() == QLatin1Char('-'))
                out.back() = QLatin1Char(' ');   // "Coast-1": "Coast one"
            else if (!out.isEmpty() && !out.back().isSpace())
                out += QLatin1Char(' ');
            out += QLatin1String(words[c.unicode() - '0']);
            afterDigit = true;
            continue;
        }
        if (afterDigit && c.isLetter())
            out += QLatin1Char(' ');
        afterDigit = false;
        out += c;
    }
    // A sentence begins with a capital, also where a number begins it.
    bool sentenceStart = true;
    for (QChar& c : out) {
        if (c.isLetter() && sentenceStart)
            c = c.toUpper();
        if (c == QLatin1Char('.') || c == QLatin1Char('?') || c == QLatin1Char('!'))
            sentenceStart = true;
        else if (!c.isSpace())
            sentenceStart = false;
    }
    return out;
}

int voice_channel_after(int channel)
{
    return dsc::voice_channel_heard(channel);
}

std::optional<SpokenAnswer> spoken_answer(const PartnerPhrases& phrases, const QString& partnerName,
                                          const QByteArray& answer)
{
    dsc::DscRecord r;
    dsc::Decodifica_stringa(answer, r);
    PartnerPhrases::Kind kind;
    if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_ROUT_ACK)
        kind = r.COMPLY == "Y" ? PartnerPhrases::IndividualAck : PartnerPhrases::UnableAck;
    else if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_POS_ACK)
        kind = PartnerPhrases::PositionReply;
    else if (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DIST_ACK)
        kind = PartnerPhrases::DistressAck;
    else
        return std::nullopt;
    if (phrases.phrase(kind).isEmpty())
        return std::nullopt;

    SpokenAnswer out;
    // Position replies and distress acknowledgements carry channel 16; an acknowledgement names
    // the channel the caller proposed, whose key the caller selected when it called. The partner
    // names the channel it speaks on: the one the trainee hears it on.
    out.channel = voice_channel_after(dsc::leading_number(r.CH));
    const QString mmsi = QString::fromLatin1(r.RXMMSI.left(9));
    out.text = fill(phrases.phrase(kind), mmsi, partnerName.left(60), out.channel, position_words(r));
    return out;
}

} // namespace exchange
