// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/compose_fields.h"

#include <gtest/gtest.h>

using exchange::compose_from_fields;

TEST(ComposeCommand, FillsCodedValuesAndDefaultsToAWellFormedRecord)
{
    const auto r = compose_from_fields({"--from", "002470001", "--to", "274111001", "--call", "INDIVID",
                                        "--category", "routine", "--channel", "72"});
    ASSERT_TRUE(std::holds_alternative<QByteArray>(r)) << std::get<QString>(r).toStdString();
    EXPECT_EQ(std::get<QByteArray>(r), "TXMMSI=002470001,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,"
                                       "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=N");

    const auto alert = compose_from_fields({"--from", "211222333", "--call", "DISTRESS", "--category", "DISTRESS",
                                            "--nature", "3", "--pos", "43", "28", "n", "009", "15", "e", "--time",
                                            "10:05"});
    ASSERT_TRUE(std::holds_alternative<QByteArray>(alert));
    EXPECT_EQ(std::get<QByteArray>(alert), "TXMMSI=211222333,RXMMSI=999999999,CALL=DISTRESS,CATEGORY=DISTRESS,"
                                           "DANGER=3,LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E,TIME=10:05,CH=16,"
                                           "COMPLY=N");
}

TEST(ComposeCommand, RefusesWhatWouldBreakTheRecord)
{
    const QStringList bad[] = {
        {"--from", "12345678", "--call", "ALLSHIPS", "--category", "SAFETY"},
        {"--from", "002470001", "--call", "BROADCAST", "--category", "SAFETY"},
        {"--from", "002470001", "--call", "INDIVID", "--category", "ROUTINE"},   // no --to
        {"--from", "002470001", "--call", "ALLSHIPS", "--category", "SAFETY", "--channel", "123"},
        {"--from", "002470001", "--call", "ALLSHIPS", "--category", "SAFETY", "--time", "24:00"},
        {"--from", "002470001", "--call", "ALLSHIPS", "--category", "SAFETY", "--pos", "43", "28"},
        {"--from", "002470001", "--call", "ALLSHIPS", "--category"},
        {"--from", "002470001", "--colour", "red"},
    };
    for (const QStringList& args : bad)
        EXPECT_TRUE(std::holds_alternative<QString>(compose_from_fields(args))) << args.join(' ').toStdString();
}
