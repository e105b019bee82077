// SPDX-License-Identifier: GPL-3.0-or-later
// What a practice partner says after its DSC answer, on which channel, and the phrase file an
// instructor edits.
#include "exchange/spoken_answer.h"
#include "exchange/virtual_station.h"
#include "support/partner_stations.h"

#include <QTemporaryDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace exchange;

namespace {

VirtualStation coastRadio() { return partners::coast(QStringLiteral("Coast Radio")); }

using partners::read;

// What `self` says after answering `call`.
std::optional<SpokenAnswer> after(const QByteArray& call, const PartnerPhrases& phrases = {},
                                  const VirtualStation& self = coastRadio())
{
    const auto answer = exchange::answer(self, read(call), QTime(9, 41));
    if (!answer)
        return std::nullopt;
    return spoken_answer(phrases, self.name, *answer);
}

// The trainee's station, at the default position.
VirtualStation trainee()
{
    VirtualStation s;
    s.name = "Trainee";
    s.mmsi = "274111001";
    return s;
}

QByteArray callOn(const char* channel)
{
    return individual_call(trainee(), "002470001", dsc::CAT_ROUTINE, QByteArray(channel).toInt());
}

} // namespace

TEST(SpokenAnswer, WhatAPartnerSaysAndOnWhichChannel)
{
    const auto on77 = after(callOn("77"));
    ASSERT_TRUE(on77);
    EXPECT_EQ(on77->text, "Two seven four one one one zero zero one, this is Coast Radio, Coast Radio. "
                          "Channel seven seven. Go ahead. Over.");
    EXPECT_EQ(on77->channel, 77);

    // The duplex channels keep their number: the voice goes to the caller's receive port.
    EXPECT_EQ(after(callOn("23"))->channel, 23);
    EXPECT_EQ(after(callOn("84"))->channel, 84);
    // A channel the panel has no key for: the caller selected 16 when it called, so the partner
    // speaks there and names it.
    const auto on72 = after(callOn("72"));
    ASSERT_TRUE(on72);
    EXPECT_EQ(on72->channel, 16);
    EXPECT_TRUE(on72->text.contains("Channel one six.")) << on72->text.toStdString();
    // A proposal that is no working channel is acknowledged as unable to comply.
    QByteArray dsc70 = callOn("77");
    dsc70.replace("CH=77", "CH=70");
    const auto unable = after(dsc70);
    ASSERT_TRUE(unable);
    EXPECT_TRUE(unable->text.contains("Unable to comply")) << unable->text.toStdString();

    const auto mayday = after(distress_alert(trainee(), 1, QTime(9, 40)));
    ASSERT_TRUE(mayday);
    EXPECT_EQ(mayday->channel, 16);
    EXPECT_TRUE(mayday->text.startsWith("MAYDAY. Two seven four one one one zero zero one, two seven four"))
        << mayday->text.toStdString();
    EXPECT_TRUE(mayday->text.endsWith("This is Coast Radio, Coast Radio, Coast Radio. Received MAYDAY. Over."));

    PartnerPhrases withPosition =
        PartnerPhrases::parse("distress_ack = MAYDAY {mmsi} position {position}, received MAYDAY", nullptr);
    EXPECT_TRUE(after(distress_alert(trainee(), 1, QTime(9, 40)), withPosition)
                    ->text.contains("position four three degrees two eight minutes North, zero zero nine degrees "
                                    "one five minutes East,"));

    const auto position = after(position_request(trainee(), "002470001"));
    ASSERT_TRUE(position);
    EXPECT_EQ(position->channel, 16);
    EXPECT_TRUE(position->text.contains("My position four four degrees two four minutes North, zero zero eight "
                                        "degrees five five minutes East. Over."))
        << position->text.toStdString();

    // Calls of its own are no answers; names with digits are spoken digit by digit too.
    EXPECT_FALSE(spoken_answer({}, "Coast Radio", callOn("16")));
    VirtualStation numbered = coastRadio();
    numbered.name = "Coast-12";
    EXPECT_TRUE(after(callOn("16"), {}, numbered)->text.contains("this is Coast one two, Coast one two."));
}

TEST(SpokenAnswer, APhraseFileWithMistakesKeepsItsGoodLinesAndSaysWhatIsWrong)
{
    const QByteArray text = "# notes\n"
                            "individual_ack = {name} for {mmsi}, channel {channel}\n"
                            "unable_ack = {mmsi} from {ship}\n"
                            "position_reply my position\n"
                            "\n"
                            "weather = nothing\n"
                            "position_reply = caf\xe9 {position\n"
                            "distress_ack =\n"
                            "individual_ack = again\n";
    QStringList problems;
    const PartnerPhrases p = PartnerPhrases::parse(text, &problems);
    ASSERT_EQ(problems.size(), 5) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].startsWith("line 3: unknown placeholder {ship}"));
    EXPECT_TRUE(problems[1].startsWith("line 4: no '='"));
    EXPECT_TRUE(problems[2].startsWith("line 6: unknown phrase 'weather'"));
    EXPECT_TRUE(problems[3].startsWith("line 7: not UTF-8"));
    EXPECT_TRUE(problems[4].startsWith("line 9: 'individual_ack' is given twice"));

    EXPECT_EQ(p.phrase(PartnerPhrases::UnableAck), PartnerPhrases().phrase(PartnerPhrases::UnableAck));
    EXPECT_EQ(p.phrase(PartnerPhrases::PositionReply), PartnerPhrases().phrase(PartnerPhrases::PositionReply));
    // Given twice: neither guess is right, the built-in phrase is.
    EXPECT_EQ(p.phrase(PartnerPhrases::IndividualAck), PartnerPhrases().phrase(PartnerPhrases::IndividualAck));
    // An empty phrase: the partner acknowledges the distress alert by DSC only.
    EXPECT_FALSE(after(distress_alert(trainee(), 1, QTime(9, 40)), p));
    QStringList fromWindows;
    const PartnerPhrases custom =
        PartnerPhrases::parse("\xEF\xBB\xBF# notes\r\nindividual_ack = {name} for {mmsi}, channel {channel}\r\n",
                              &fromWindows);
    EXPECT_TRUE(fromWindows.isEmpty()) << fromWindows.join('\n').toStdString();
    EXPECT_EQ(after(callOn("09"), custom)->text, "Coast Radio for two seven four one one one zero zero one, channel nine");

    // The installed file is what the built-in phrases say.
    QStringList none;
    const PartnerPhrases installed =
        PartnerPhrases::read(qEnvironmentVariable("KELVO_SOURCE") + "/assets/partner-phrases.txt", &none);
    EXPECT_TRUE(none.isEmpty()) << none.join('\n').toStdString();
    for (int k = 0; k < PartnerPhrases::KindCount; ++k)
        EXPECT_EQ(installed.phrase(PartnerPhrases::Kind(k)), PartnerPhrases().phrase(PartnerPhrases::Kind(k)));

    // A file that is missing or far too big: one message, the built-in phrases.
    QTemporaryDir dir;
    QStringList missing;
    PartnerPhrases::read(dir.filePath("none.txt"), &missing);
    ASSERT_EQ(missing.size(), 1);
    EXPECT_TRUE(missing[0].contains("none.txt")) << missing[0].toStdString();
    QFile big(dir.filePath("big.txt"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write("individual_ack = Over.\n" + QByteArray(PartnerPhrases::max_file_bytes, '#'));
    big.close();
    QFile junk(dir.filePath("junk.txt"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray("junk\n").repeated(30));
    junk.close();
    QStringList manyMistakes;
    PartnerPhrases::read(junk.fileName(), &manyMistakes);
    ASSERT_EQ(manyMistakes.size(), 11);
    EXPECT_TRUE(manyMistakes.back().endsWith("20 more lines with mistakes")) << manyMistakes.back().toStdString();
    QStringList tooBig;
    const PartnerPhrases fromBig = PartnerPhrases::read(big.fileName(), &tooBig);
    ASSERT_EQ(tooBig.size(), 1);
    EXPECT_EQ(fromBig.phrase(PartnerPhrases::IndividualAck), PartnerPhrases().phrase(PartnerPhrases::IndividualAck));
}
