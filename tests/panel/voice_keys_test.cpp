// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fakes.h"

#include <gtest/gtest.h>

using Events = std::vector<std::string>;

TEST(VoiceKeys, PushToTalkPressAndRelease)
{
    StationRig rig;
    rig.start();
    rig.press(Key::btnAudio);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 5);
    EXPECT_EQ(rig.station.panel().led, LED_VOICE_TX);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "waveIn1 aperto");
    EXPECT_EQ(rig.log.events, (Events{"repaint", "voice rx-close", "sleep 200", "voice capture-open"}));
    rig.log.clear();
    rig.release(Key::btnAudio);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 4);
    EXPECT_EQ(rig.station.panel().led, LED_NONE);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "RX aperto");
    EXPECT_EQ(rig.log.events, (Events{"repaint", "voice capture-close", "sleep 200", "voice rx-open"}));
}

TEST(VoiceKeys, OpenFailuresAreReported)
{
    StationRig rig;
    rig.start();
    rig.voice.captureCanOpen = false;
    rig.voice.rxCanOpen = false;
    rig.press(Key::btnAudio);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "Errore apertura waveIN1");
    rig.release(Key::btnAudio);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "Errore apertura RX");
    rig.press(Key::imgCH9);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "errore apertura RX");
    EXPECT_EQ(rig.line(4), " *   WATCHING CH-70 VHF     *");
}

TEST(VoiceKeys, AltOpensPlayerWithoutTransmitting)
{
    StationRig rig;
    rig.start();
    int pictureDuringPlayer = -1;
    rig.ui.onOpenPlayer = [&] { pictureDuringPlayer = rig.station.panel().key(Key::btnAudio).picture; };
    rig.press(Key::btnAudio, Mods{true, false});
    EXPECT_EQ(pictureDuringPlayer, 5);
    // The player's closing is the release (a real mouse lets go while the player is up, and that
    // release never reaches the station): idle picture, receive chain open, as after a release.
    const Events released{"player", "repaint", "voice capture-close", "sleep 200", "voice rx-open"};
    EXPECT_EQ(rig.log.events, released);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 4);
    EXPECT_EQ(rig.station.panel().led, LED_NONE);
    EXPECT_TRUE(rig.voice.rxOpen);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "RX aperto");
    // A release that still arrives afterwards finds nothing left to do.
    rig.log.clear();
    rig.release(Key::btnAudio);
    EXPECT_TRUE(rig.log.events.empty());

    // Release lost: the next push-to-talk transmits and ends as usual.
    rig.press(Key::btnAudio, Mods{true, false});
    rig.log.clear();
    rig.click(Key::btnAudio);
    EXPECT_EQ(rig.log.events, (Events{"repaint", "voice rx-close", "sleep 200", "voice capture-open", "repaint",
                                      "voice capture-close", "sleep 200", "voice rx-open"}));
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 4);
    EXPECT_TRUE(rig.voice.rxOpen);
}

TEST(VoiceKeys, ChannelTable)
{
    struct Row { Key key; int channel; int tx; int picture; };
    const Row rows[] = {{Key::imgCH16, 16, 17016, 1}, {Key::imgCH9, 9, 17009, 3}, {Key::imgCH23, 23, 17123, 5},
                        {Key::imgCH77, 77, 17077, 7}, {Key::imgCH84, 84, 17184, 9}};
    StationRig rig;
    rig.start();
    for (const Row& r : rows) {
        rig.log.clear();
        rig.press(r.key);
        EXPECT_EQ(rig.voice.rxPort, 17000 + r.channel);
        EXPECT_EQ(rig.voice.txPort, r.tx);
        EXPECT_EQ(rig.station.current_voice_channel(), r.channel);
        EXPECT_EQ(rig.station.panel().lbl_debug1, "RX aperta " + QString::number(r.channel));
        for (const Row& o : rows)
            EXPECT_EQ(rig.station.panel().key(o.key).picture, o.key == r.key ? o.picture : o.picture - 1);
        EXPECT_EQ(rig.log.events, (Events{"voice rx-close", "voice tx-close", "voice rx-port " + std::to_string(17000 + r.channel),
                                          "voice tx-port " + std::to_string(r.tx), "sleep 200", "voice rx-open"}));
        EXPECT_TRUE(rig.cues.played.empty());
    }
    // the selected channel again: closed and reopened, the count starts again
    rig.voice.count = 9;
    rig.press(Key::imgCH84);
    EXPECT_EQ(rig.voice.count, 0);
    EXPECT_TRUE(rig.voice.rxOpen);
}

TEST(VoiceKeys, ReceiveIndicationAndItsEnd)
{
    StationRig rig;
    rig.start();
    ASSERT_TRUE(rig.voice.dataAvailable);
    rig.voice.count = 3;
    rig.voice.dataAvailable();
    EXPECT_EQ(rig.station.panel().lbl_debug2, "3");
    EXPECT_TRUE(rig.rxTimer.on);
    EXPECT_EQ(rig.rxTimer.interval, 200);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 3);
    EXPECT_FALSE(rig.station.panel().key(Key::btnAudio).enabled);
    EXPECT_EQ(rig.station.panel().led, LED_VOICE_RX);
    rig.log.clear();
    rig.press(Key::btnAudio);   // disabled: no transmission while a voice comes in
    EXPECT_TRUE(rig.log.events.empty());

    rig.voice.count = 5;
    rig.voice.dataAvailable();
    EXPECT_EQ(rig.log.matching("timer start").size(), 0u);
    rig.station.timerTick();   // 5 > 0: still arriving
    EXPECT_EQ(rig.probe.rx_last_count(), 5);
    EXPECT_TRUE(rig.rxTimer.on);
    rig.log.clear();
    rig.station.timerTick();   // nothing new: end of reception
    EXPECT_FALSE(rig.rxTimer.on);
    EXPECT_EQ(rig.probe.rx_last_count(), 0);
    EXPECT_EQ(rig.station.panel().led, LED_NONE);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 4);
    EXPECT_TRUE(rig.station.panel().key(Key::btnAudio).enabled);
    EXPECT_EQ(rig.log.events, (Events{"voice rx-close", "timer stop", "voice rx-open", "repaint"}));
}

TEST(VoiceKeys, UnlockDuringIndicationEnablesPushToTalk)
{
    StationRig rig;
    rig.start();
    rig.voice.count = 1;
    rig.voice.dataAvailable();
    rig.probe.abilita_tasti_chiamate();
    EXPECT_TRUE(rig.station.panel().key(Key::btnAudio).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 4);
    rig.station.timerTick();
    rig.station.timerTick();
    EXPECT_TRUE(rig.station.panel().key(Key::btnAudio).enabled);
    // no tick work while the window is being destroyed
    rig.probe.set_destroying();
    rig.log.clear();
    rig.station.timerTick();
    EXPECT_TRUE(rig.log.events.empty());
}

// Push-to-talk from two hands (the mouse and Space): one transmission; a release with nothing on
// the air does nothing; the message player opened while talking takes the station off the air first.
TEST(VoiceKeys, OneTransmissionWhateverPressesAndReleasesCome)
{
    StationRig rig;
    rig.start();
    rig.press(Key::btnAudio);
    rig.log.clear();
    rig.press(Key::btnAudio);
    EXPECT_TRUE(rig.log.events.empty());
    rig.release(Key::btnAudio);
    EXPECT_EQ(rig.log.events, (Events{"repaint", "voice capture-close", "sleep 200", "voice rx-open"}));
    rig.log.clear();
    rig.release(Key::btnAudio);
    EXPECT_TRUE(rig.log.events.empty());

    rig.press(Key::btnAudio);
    rig.log.clear();
    rig.press(Key::btnAudio, Mods{true, false});
    EXPECT_EQ(rig.log.events, (Events{"repaint", "voice capture-close", "sleep 200", "voice rx-open", "player",
                                      "repaint", "voice capture-close", "sleep 200", "voice rx-open"}));
    EXPECT_EQ(rig.station.panel().led, LED_NONE);
    EXPECT_EQ(rig.station.panel().key(Key::btnAudio).picture, 4);
}
