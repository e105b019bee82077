// SPDX-License-Identifier: GPL-3.0-or-later
// What a practice partner says on the voice channel after it has answered a call by DSC, and on
// which channel. The words come from a plain-text phrase file the instructor may edit:
//
//   # a note
//   individual_ack = {mmsi}, this is {name}, {name}. Channel {channel}. Go ahead. Over.
//
// One phrase per line, NAME = words; an empty phrase keeps the partner silent for that answer.
// Placeholders: {mmsi} the station answered, {name} the partner's name, {channel} the channel
// it speaks on, {position} a position (the partner's own in a position reply, the alert's in a distress
// acknowledgement). Every digit of the finished text is spoken on its own, as on the air.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace exchange {

class PartnerPhrases {
public:
    enum Kind { IndividualAck, UnableAck, PositionReply, DistressAck, KindCount };

    // The built-in phrases.
    PartnerPhrases();

    // The phrases of a file's text; a line that cannot be used leaves its phrase built in and
    // adds a problem ("line 4: ..."). Any bytes are safe.
    static PartnerPhrases parse(const QByteArray& text, QStringList* problems);
    // The phrases of a file; a missing, unreadable or oversized file gives the built-in phrases
    // and one problem.
    static PartnerPhrases read(const QString& path, QStringList* problems);

    const QString& phrase(Kind k) const { return m_phrases[k]; }
    static const char* name(Kind k);

    static constexpr qsizetype max_file_bytes = 64 * 1024;
    static constexpr qsizetype max_phrase_chars = 400;

private:
    std::array<QString, KindCount> m_phrases;
};

// The phrase file beside the program, or in the shared data folder of an installed one.
QString default_phrase_file(const QString& programFolder);

// "Two seven four": every digit as its word, and a capital where a sentence begins.
QString speak_digits(const QString& text);

// The voice channel a calling station is on after `channel` was acknowledged: the station's
// channel keys 9, 16, 23, 77 and 84, anything else 16.
int voice_channel_after(int channel);

struct SpokenAnswer {
    QString text;   // ready for the synthesiser
    int channel = 16;
};

// What the partner `partnerName` says after sending the DSC `answer` (a record it composed), or
// nothing for records that are no answer or whose phrase is empty.
std::optional<SpokenAnswer> spoken_answer(const PartnerPhrases& phrases, const QString& partnerName,
                                          const QByteArray& answer);

} // namespace exchange
