// SPDX-License-Identifier: GPL-3.0-or-later
// A talker heard through a bad network (support/lossy_air.h): what a listener hears on a private
// null sink when datagrams are lost and reordered, and of the clean talks after such a stream.
#include "qt_app.h"
#include "support/lossy_air.h"

#include <gtest/gtest.h>

using namespace lossy_air;

// Each lost datagram costs its own few tens of ms, concealed, and the tone goes on in time.
TEST(LossyAir, FivePercentLossCostsWhatWasLost)
{
    ensure_qt_app();
    Air air;
    QString why;
    if (!air.start(&why))
        GTEST_SKIP() << why.toStdString();
    const double seconds = 8;
    const auto t0 = air.talk(seconds, {.loss = 0.05, .seed = 11});
    const Heard h = air.heard(t0, seconds);
    print("8 s with 5 % loss", h, seconds);
    std::printf("link lost %ld datagrams\n", air.link->lost());
    ASSERT_GT(air.link->lost(), 10);
    EXPECT_GE(h.heardMs, 0.94 * seconds * 1000);
    // No gap over 60 ms; one, on a machine too busy to run the sound server in time.
    EXPECT_LE(h.longGaps, 1);
}

// A talk that suffered loss, reordering or formats of no use leaves nothing behind: the next
// clean talk is heard from its first syllable, as soon as the first one was. Datagrams that come
// out of order within the buffer's reach are put back in order, not lost.
TEST(LossyAir, ABadStreamDoesNotSpoilTheNextTalks)
{
    ensure_qt_app();
    Air air;
    QString why;
    if (!air.start(&why))
        GTEST_SKIP() << why.toStdString();
    const double seconds = 2;
    const auto t1 = air.talk(seconds, {});
    const Heard fresh = air.heard(t1, seconds);
    print("a fresh station, clean talk", fresh, seconds);
    ASSERT_GE(fresh.onsetMs, 0);

    const auto t2 = air.talk(4, {.reorder = 0.08, .seed = 5});
    const Heard reordered = air.heard(t2, 4);
    print("reordered", reordered, 4);
    std::printf("link reordered %ld datagrams, receiver counted %ld lost\n", air.link->reordered(), air.lastLost);
    EXPECT_GT(air.link->reordered(), 5);
    EXPECT_EQ(air.lastLost, 0);
    EXPECT_GE(reordered.heardMs, 0.98 * 4000);
    EXPECT_LE(reordered.longGaps, 1);

    air.talk(4, {.loss = 0.05, .reorder = 0.05, .seed = 3});
    air.talk(1, {.loss = 0.05, .seed = 4}, 8000);
    air.talk(1, {.loss = 0.05, .seed = 4}, 48000);
    air.talk(1, {.seed = 4}, 3);

    for (int i = 0; i < 2; ++i) {
        const auto t = air.talk(seconds, {});
        const Heard after = air.heard(t, seconds);
        print("clean talk after the bad ones", after, seconds);
        EXPECT_LE(after.onsetMs, fresh.onsetMs + 25);
        EXPECT_GE(after.heardMs, 0.97 * seconds * 1000);
    }
}
