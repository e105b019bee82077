// SPDX-License-Identifier: GPL-3.0-or-later
// The exercise player the console drives: pause holds the script's clock, start resumes it where
// it was, stop rewinds it to the beginning.
#include "exchange/exercise_player.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace exchange;

TEST(ExercisePlayer, PausesResumesAndRewinds)
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    const auto parsed = parse_exercise("coast Coast-Radio 002470001\n"
                                       "at 0 Coast-Radio allships SAFETY channel 16\n"
                                       "at 1 Coast-Radio posreq 274111001\n");
    ASSERT_TRUE(std::holds_alternative<Exercise>(parsed));
    std::vector<int> fired;
    ExercisePlayer player(std::get<Exercise>(parsed),
                          [&](int index, const ExerciseEvent&, const VirtualStation& from) {
                              EXPECT_EQ(from.name, QStringLiteral("Coast-Radio"));
                              fired.push_back(index);
                          });
    const auto runFor = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };

    player.start();
    EXPECT_EQ(fired, std::vector<int>{0}) << "an event at 0 goes at the start";
    player.pause();
    EXPECT_EQ(player.stateName(), QStringLiteral("paused"));
    const qint64 heldAt = player.positionMs();
    runFor(1300);
    EXPECT_EQ(fired.size(), 1u) << "nothing is sent while paused";
    EXPECT_EQ(player.positionMs(), heldAt);

    player.start();
    QElapsedTimer t;
    t.start();
    while (fired.size() < 2 && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(fired, (std::vector<int>{0, 1}));
    EXPECT_EQ(player.state(), ExercisePlayer::Finished);

    player.stop();
    EXPECT_EQ(player.state(), ExercisePlayer::Idle);
    player.start();
    EXPECT_EQ(fired, (std::vector<int>{0, 1, 0})) << "after a stop the script begins again";
}
