// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/virtual_host.h"
#include "support/partner_stations.h"

#include <gtest/gtest.h>

#include <map>

using namespace exchange;

namespace {

using partners::coast;
using partners::read;
using partners::ship;

const QTime kUtc(9, 41);

// A scheduler whose clock only moves when the test says so.
struct FakeScheduler : Scheduler {
    qint64 now = 0;
    std::multimap<qint64, std::function<void()>> due;
    void after(int ms, std::function<void()> work) override { due.emplace(now + ms, std::move(work)); }
    QTime utcTimeOfDay() const override { return kUtc.addMSecs(int(now)); }
    void advance(qint64 ms)
    {
        const qint64 until = now + ms;
        while (!due.empty() && due.begin()->first <= until) {
            now = due.begin()->first;
            auto work = std::move(due.begin()->second);
            due.erase(due.begin());
            work();
        }
        now = until;
    }
};

} // namespace

TEST(VirtualStation, AcknowledgesIndividualCallsByTheProposedChannel)
{
    const QByteArray call = "TXMMSI=274111001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=SAFETY  ,DANGER=00,LATD=00,"
                            "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=N";
    EXPECT_EQ(answer(coast(), read(call), kUtc).value(),
              "TXMMSI=002470001,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUT_ACK,DANGER=00,LATD=00,LATM=00,NS=N,"
              "LOND=000,LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=Y");

    // The DSC channel, a channel outside the band or a damaged field: unable, naming its own channel.
    for (const char* ch : {"70", "29", "00", "7,"}) {
        QByteArray bad = call;
        bad.replace("CH=72", QByteArray("CH=") + ch);
        const auto reply = read(answer(coast(), read(bad), kUtc).value());
        EXPECT_EQ(reply.COMPLY, "N") << ch;
        EXPECT_EQ(reply.CH, "16") << ch;
    }
}

TEST(VirtualStation, RepliesToPositionRequestsWithItsPositionAndUtc)
{
    const QByteArray req = "TXMMSI=274111001,RXMMSI=211222333,CALL=INDIVID ,CATEGORY=POS_REQ ,DANGER=00,LATD=00,"
                           "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N";
    EXPECT_EQ(answer(ship(), read(req), kUtc).value(),
              "TXMMSI=211222333,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=POS_ACK ,DANGER=00,LATD=43,LATM=28,NS=N,"
              "LOND=009,LONM=15,EW=E,TIME=09:41,CH=16,COMPLY=N");
    EXPECT_FALSE(answer(coast(), read(req), kUtc)) << "a request to another station";
}

TEST(VirtualStation, CoastStationAcknowledgesDistressRepeatingTheAlert)
{
    // A one-digit nature travels as the digit and the comma; the acknowledgement keeps both.
    const QByteArray alert = "TXMMSI=274111001,RXMMSI=999999999,CALL=DISTRESS,CATEGORY=DISTRESS,DANGER=3,LATD=43,"
                             "LATM=28,NS=N,LOND=009,LONM=15,EW=E,TIME=08:12,CH=16,COMPLY=N";
    EXPECT_EQ(answer(coast(), read(alert), kUtc).value(),
              "TXMMSI=002470001,RXMMSI=274111001,CALL=DISTRESS,CATEGORY=DIST_ACK,DANGER=3,,LATD=43,LATM=28,NS=N,"
              "LOND=009,LONM=15,EW=E,TIME=08:12,CH=16,COMPLY=N");
    EXPECT_FALSE(answer(ship(), read(alert), kUtc)) << "ships leave the acknowledgement to the coast station";

    const QByteArray noData = "TXMMSI=274111001,RXMMSI=999999999,CALL=DISTRESS,CATEGORY=DISTRESS,DANGER=13,LATD=00,"
                              "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=--:--,CH=16,COMPLY=N";
    EXPECT_EQ(read(answer(coast(), read(noData), kUtc).value()).TIME, "--:--");
}

TEST(VirtualStation, LeavesOtherCallsUnanswered)
{
    for (const QByteArray& text : {
             QByteArray("TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
                        "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N"),
             QByteArray("TXMMSI=274111001,RXMMSI=002470001,CALL=GROUP   ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
                        "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N"),
             QByteArray("TXMMSI=274111001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=ROUT_ACK,DANGER=00,LATD=00,LATM=00,"
                        "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=Y"),
             QByteArray("TXMMSI=002470001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
                        "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N"),
             QByteArray("garbage")})
        EXPECT_FALSE(answer(coast(), read(text), kUtc)) << text.toStdString();
}

TEST(VirtualHost, AnswersAfterTheOperatorsDelay)
{
    FakeScheduler clock;
    std::vector<std::pair<qint64, QByteArray>> sent;
    VirtualHost host({coast(), ship()}, 4000, clock,
                     [&](const QByteArray& r, const QString&) { sent.emplace_back(clock.now, r); });

    host.onRecord(read("TXMMSI=274111001,RXMMSI=211222333,CALL=INDIVID ,CATEGORY=POS_REQ ,DANGER=00,LATD=00,"
                       "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N"));
    clock.advance(3999);
    EXPECT_TRUE(sent.empty());
    clock.advance(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, 4000);
    EXPECT_EQ(read(sent[0].second).TIME, "09:41") << "stamped when the request came in";

    // A distress alert from one of the virtual ships is left for the trainees to acknowledge.
    host.onRecord(read("TXMMSI=211222333,RXMMSI=999999999,CALL=DISTRESS,CATEGORY=DISTRESS,DANGER=5,LATD=43,"
                       "LATM=28,NS=N,LOND=009,LONM=15,EW=E,TIME=08:12,CH=16,COMPLY=N"));
    clock.advance(60000);
    EXPECT_EQ(sent.size(), 1u);
}

TEST(VirtualHost, PlaysAnExerciseAtItsOffsets)
{
    const auto parsed = parse_exercise("coast Coast 002470001\n"
                                       "at 1:00 Coast posreq 274111001\n"
                                       "at 10 Coast allships SAFETY\n",
                                       {});
    ASSERT_TRUE(std::holds_alternative<Exercise>(parsed));
    FakeScheduler clock;
    std::vector<std::pair<qint64, QByteArray>> sent;
    VirtualHost host(std::get<Exercise>(parsed).stations, 4000, clock,
                     [&](const QByteArray& r, const QString&) { sent.emplace_back(clock.now, r); });
    host.play(std::get<Exercise>(parsed));
    clock.advance(120000);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].first, 10000);
    EXPECT_EQ(sent[0].second, "TXMMSI=002470001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=SAFETY  ,DANGER=00,LATD=00,"
                              "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N");
    EXPECT_EQ(sent[1].first, 60000);
    EXPECT_EQ(read(sent[1].second).CATEGORY, dsc::CAT_POS_REQ);
    EXPECT_EQ(read(sent[1].second).RXMMSI, "274111001");
}
