// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/exercise.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace exchange;

TEST(ExerciseFile, ReadsStationsAndEventsInTimeOrder)
{
    const auto parsed = parse_exercise(
        "# harbour exercise\n"
        "coast Coast-Radio 002470001 pos 44 24 N 008 55 E channel 12\n"
        "ship  Aurora 211222333 group 021122200   # the ship in trouble\n"
        "\n"
        "at 2:00 Aurora distress 3\n"
        "at 0:30 Coast-Radio call 274111001 URGENCY channel 72\n"
        "at 45 002470001 group 027411101\n");
    ASSERT_TRUE(std::holds_alternative<Exercise>(parsed)) << std::get<ParseError>(parsed).text().toStdString();
    const Exercise& ex = std::get<Exercise>(parsed);
    ASSERT_EQ(ex.stations.size(), 2u);
    EXPECT_EQ(ex.stations[0].kind, VirtualStation::Coast);
    EXPECT_EQ(ex.stations[0].latDeg, "44");
    EXPECT_EQ(ex.stations[0].lonDeg, "008");
    EXPECT_EQ(ex.stations[0].workingChannel, 12);
    EXPECT_EQ(ex.stations[1].group, "021122200");
    ASSERT_EQ(ex.events.size(), 3u);
    EXPECT_EQ(ex.events[0].offsetMs, 30000);
    EXPECT_EQ(ex.events[0].category, dsc::CAT_URGENCY);
    EXPECT_EQ(ex.events[0].channel, 72);
    EXPECT_EQ(ex.events[1].offsetMs, 45000);
    EXPECT_EQ(ex.events[2].kind, ExerciseEvent::Distress);
    EXPECT_EQ(ex.events[2].nature, 3);
}

TEST(ExerciseFile, ReportsTheLineOfTheFirstError)
{
    struct Case {
        const char* text;
        int line;
        const char* says;
    } cases[] = {
        {"coast C 002470001\n\nat 0:10 Nobody allships SAFETY\n", 3, "unknown station 'Nobody'"},
        {"ship S 21122233\n", 1, "NAME MMSI"},
        {"coast C 002470001\nat 1:75 C allships SAFETY\n", 2, "offset"},
        {"coast C 002470001\nat 5 C distress 14\n", 2, "nature from 1 to 13"},
        {"coast C 002470001\nat 5 C call 274111001 ROUTINE chanel 72\n", 2, "channel N"},
        {"coast C 002470001\nat 5 C group 274111001\n", 2, "starting with 0"},
        {"coast C 002470001 pos 95 00 N 009 15 E\n", 1, "position"},
        {"coast C 002470001\ncoast D 002470001\n", 2, "declared twice"},
        {"# ok\nsend everything\n", 2, "coast, ship or at"},
    };
    for (const Case& c : cases) {
        const auto parsed = parse_exercise(QString::fromLatin1(c.text));
        ASSERT_TRUE(std::holds_alternative<ParseError>(parsed)) << c.text;
        const ParseError& e = std::get<ParseError>(parsed);
        EXPECT_EQ(e.line, c.line) << c.text;
        EXPECT_TRUE(e.message.contains(QLatin1String(c.says))) << e.text().toStdString();
    }
}

TEST(ExerciseFile, ShippedExercisesAreValid)
{
    const QDir dir(qEnvironmentVariable("KELVO_SOURCE") + QStringLiteral("/assets/exercises"));
    const QStringList files = dir.entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_GE(files.size(), 2);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const auto parsed = parse_exercise(QString::fromUtf8(f.readAll()));
        EXPECT_TRUE(std::holds_alternative<Exercise>(parsed))
            << name.toStdString() << ": " << std::get<ParseError>(parsed).text().toStdString();
    }
}
