// SPDX-License-Identifier: GPL-3.0-or-later
// What a station's page may say, and who may open a station: the reader takes exactly the
// messages the page writes and nothing else; the class code opens the stations and nothing of the
// console, the instructor's token opens both.
#include "exchange/console/access_rules.h"
#include "exchange/web/page_message.h"

#include <gtest/gtest.h>

using namespace exchange;
using namespace exchange::web;

TEST(PageMessage, ReadsThePagesMessagesAndRefusesAnythingElse)
{
    const auto down = readPageMessage("down routine alt ctrl");
    ASSERT_TRUE(down);
    EXPECT_EQ(down->kind, PageMessage::Kind::Down);
    EXPECT_EQ(kPageKeys[size_t(down->key)], "routine");
    EXPECT_TRUE(down->alt && down->ctrl);
    for (const char* ok : {"up 0", "up 9", "down ok", "down clr", "enter ch84", "leave cover", "down ptt", "talk-end"})
        EXPECT_TRUE(readPageMessage(ok)) << ok;
    for (const char* bad : {"", "down", "down ROUTINE", "down routine ", " down routine", "down  routine",
                            "down routine shift", "down routine ctrl alt", "down routine alt alt", "enter ent alt",
                            "talk-end now", "press ent", "down 10", "down ent\n",
                            "down routine alt ctrl ctrl ctrl ctrl ctrl"})
        EXPECT_FALSE(readPageMessage(QByteArray(bad))) << bad;
    EXPECT_FALSE(readPageMessage(QByteArray("down ent\0", 9)));
    EXPECT_TRUE(validMicFrame(QByteArray(640, '\0')));
    EXPECT_FALSE(validMicFrame(QByteArray(641, '\0')));
    EXPECT_FALSE(validMicFrame(QByteArray()));
    EXPECT_FALSE(validMicFrame(QByteArray(kMaxMicBytes + 2, '\0')));
}

TEST(PageMessage, TheClassCodeOpensTheStationsAndNothingOfTheConsole)
{
    AccessRules rules;
    rules.setCredential(Area::Instructor, QStringLiteral("0123456789abcdef0123456789abcdef"));
    rules.setCredential(Area::Station, QStringLiteral("k7m2qp"));
    Caller trainee{QStringLiteral("10.0.0.5:8080"), "http://10.0.0.5:8080", QStringLiteral("k7m2qp"), {}, true};
    EXPECT_EQ(rules.check(Area::Station, trainee), Verdict::Allowed);
    EXPECT_EQ(rules.check(Area::Instructor, trainee), Verdict::NeedsCredential);
    Caller instructor = trainee;
    instructor.token = QStringLiteral("0123456789abcdef0123456789abcdef");
    EXPECT_EQ(rules.check(Area::Station, instructor), Verdict::Allowed);
    EXPECT_EQ(rules.check(Area::Instructor, instructor), Verdict::Allowed);
    Caller stranger = trainee;
    stranger.token.clear();
    EXPECT_EQ(rules.check(Area::Station, stranger), Verdict::NeedsCredential);
    EXPECT_TRUE(AccessRules::explain(Verdict::NeedsCredential, Area::Station).contains(QLatin1String("class code")));
    stranger.token = QStringLiteral("k7m2qP");
    EXPECT_EQ(rules.check(Area::Station, stranger), Verdict::NeedsCredential);
    // A page of another site may not open a station through a trainee's browser.
    trainee.origin = "http://evil.example";
    EXPECT_EQ(rules.check(Area::Station, trainee), Verdict::ForeignOrigin);
    // On loopback, without credentials: loopback names only.
    AccessRules loopback;
    EXPECT_EQ(loopback.check(Area::Station, Caller{QStringLiteral("127.0.0.1:8080"), {}, {}, {}, true}), Verdict::Allowed);
    EXPECT_EQ(loopback.check(Area::Station, Caller{QStringLiteral("evil.example:8080"), {}, {}, {}, true}),
              Verdict::ForeignHost);
}
