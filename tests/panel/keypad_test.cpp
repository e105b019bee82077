// SPDX-License-Identifier: GPL-3.0-or-later
// Keypad entry of the MMSI and the channel, its checks and the ready screens.
#include "screen_expect.h"

namespace {

const Key CLR = keypadKey(10);
const Key OK = keypadKey(11);

using Cues = std::vector<unsigned>;

// An individual routine call with the MMSI confirmed: the channel line is active (mode 2).
void openChannelEntry(StationRig& rig, Key callKey = Key::btnRoutine, const char* mmsi = "244123456")
{
    rig.start();
    rig.click(callKey);
    rig.type(mmsi);
    rig.click(OK);
    rig.log.clear();
    rig.cues.played.clear();
}

} // namespace

TEST(Keypad, IndividualCallFromMmsiToReadyScreen)
{
    StationRig rig;
    rig.start();
    rig.click(Key::btnSafety);
    rig.cues.played.clear();

    rig.type("24412345");
    EXPECT_EQ(rig.cues.played, Cues(8, cue_click));
    EXPECT_EQ(rig.line(3), "TO MMSI    =  24412345");
    EXPECT_EQ(rig.line(9), "");

    rig.cues.played.clear();
    rig.type("6");   // the ninth digit fills the field
    EXPECT_EQ(rig.cues.played, Cues{cue_refuse});
    expectScreen(rig, {
        {1, " - INDIVIDUAL SAFETY CALL  -"},
        {3, "TO MMSI    =  244123456", false, true},
        {5, "Channel    =  "},
        {9, "( Press OK or CLR buttons )"},
    });

    rig.log.clear();
    rig.press(OK);
    EXPECT_EQ(rig.station.panel().key(OK).picture, 11);
    EXPECT_EQ(rig.log.events, (Log{"events", "repaint", "events", "cue 1"}));
    EXPECT_EQ(rig.mode(), 2);
    EXPECT_FALSE(rig.station.panel().label(3).opaque);
    EXPECT_TRUE(rig.station.panel().label(5).opaque);
    rig.release(OK);
    EXPECT_EQ(rig.station.panel().key(OK).picture, -1);

    rig.log.clear();
    rig.type("1");
    EXPECT_EQ(rig.line(5), "Channel =  1");
    EXPECT_EQ(rig.log.events, (Log{"events", "events", "cue 1", "repaint"}));

    rig.log.clear();
    rig.type("6");
    EXPECT_EQ(rig.log.events, (Log{"events", "events", "cue 2", "sleep 300", "events", "repaint"}));
    expectScreen(rig, {
        {1, "    -- INDIVIDUAL CALL --"},
        {3, "Press <DSC TX> to send"},
        {5, "   DSC SAFETY CALL", true},
        {7, "To MMSI  = 244123456"},
        {8, "Channel  = 16"},
    });
    EXPECT_EQ(rig.mode(), 2);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::btnTX).picture, 1);
    EXPECT_EQ(rig.probe.composer().entry_channel(), "16");
}

TEST(Keypad, FullMmsiKeepsItsFirstNineDigits)
{
    StationRig rig;
    rig.start();
    rig.click(Key::btnRoutine);
    rig.type("123456789");
    rig.cues.played.clear();

    rig.type("0");
    EXPECT_EQ(rig.probe.composer().entry_mmsi(), "123456789");
    EXPECT_EQ(rig.line(3), "TO MMSI    =  123456789");
    EXPECT_EQ(rig.cues.played, Cues{cue_refuse});

    // CLR empties the field with a click; the prompt stays until the screen changes.
    rig.cues.played.clear();
    rig.click(CLR);
    EXPECT_TRUE(rig.probe.composer().entry_mmsi().isEmpty());
    EXPECT_EQ(rig.line(3), "TO MMSI    =  ");
    EXPECT_EQ(rig.line(9), "( Press OK or CLR buttons )");
    EXPECT_EQ(rig.cues.played, Cues{cue_click});
    EXPECT_EQ(rig.mode(), 1);
}

TEST(Keypad, IncompleteMmsiIsRefusedByOk)
{
    for (Key callKey : {Key::btnRoutine, Key::btnGroup, Key::btnPosReq}) {
        StationRig rig;
        rig.start();
        rig.click(callKey);
        const int mode = rig.mode();
        rig.type("02741110");
        const auto before = rig.station.panel().lines;
        rig.cues.played.clear();
        rig.click(OK);
        EXPECT_EQ(rig.cues.played, Cues{cue_refuse});
        EXPECT_EQ(rig.mode(), mode);
        EXPECT_EQ(rig.station.panel().lines, before);
    }
}

TEST(Keypad, AllowedChannelsLeadToTheReadyScreen)
{
    for (const char* channel : {"16", "06", "28", "60", "88", "01", "69", "71"}) {
        StationRig rig;
        openChannelEntry(rig);
        rig.type(channel);
        EXPECT_EQ(rig.line(1), "    -- INDIVIDUAL CALL --") << channel;
        EXPECT_EQ(rig.line(8), QStringLiteral("Channel  = ") + channel);
        EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled) << channel;
        EXPECT_EQ(rig.cues.played, (Cues{cue_click, cue_refuse})) << channel;
    }
}

TEST(Keypad, RefusedChannelIsShownForASecondThenEmptied)
{
    for (const char* channel : {"00", "29", "59", "70", "89", "99"}) {
        StationRig rig;
        openChannelEntry(rig);
        rig.type(channel);
        EXPECT_EQ(rig.cues.played, (Cues{cue_click, cue_refuse, cue_entry_error})) << channel;
        EXPECT_EQ(rig.log.matching("sleep"), (Log{"sleep 1000"})) << channel;
        // The wrong number is what the trainee sees during the pause, not the first digit.
        ASSERT_FALSE(rig.ui.pauses.empty());
        EXPECT_EQ(rig.ui.pauses.back().first, 1000);
        EXPECT_EQ(rig.ui.pauses.back().second.label(5).text, QStringLiteral("Channel =  ") + channel) << channel;
        EXPECT_EQ(rig.line(5), "Channel = ") << channel;
        EXPECT_TRUE(rig.probe.composer().entry_channel().isEmpty());
        EXPECT_EQ(rig.mode(), 2);
        EXPECT_FALSE(rig.station.panel().key(Key::btnTX).enabled) << channel;
    }
}

TEST(Keypad, ChannelLineOkRefusesAndClrIsSilent)
{
    StationRig rig;
    openChannelEntry(rig);
    rig.type("7");
    rig.cues.played.clear();

    rig.click(OK);
    EXPECT_EQ(rig.cues.played, Cues{cue_refuse});
    EXPECT_EQ(rig.line(5), "Channel =  7");

    rig.cues.played.clear();
    rig.click(CLR);
    EXPECT_TRUE(rig.cues.played.empty());
    EXPECT_EQ(rig.line(5), "Channel =  ");
    EXPECT_TRUE(rig.probe.composer().entry_channel().isEmpty());
    EXPECT_EQ(rig.mode(), 2);
}

TEST(Keypad, ClrOnTheReadyScreenEmptiesTheChannelAndKeepsTheScreenReady)
{
    StationRig rig;
    openChannelEntry(rig);
    rig.type("16");
    rig.click(CLR);
    EXPECT_TRUE(rig.probe.composer().entry_channel().isEmpty());
    EXPECT_EQ(rig.line(5), "Channel =  ");
    EXPECT_EQ(rig.mode(), 2);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);

    // A digit typed on the full ready screen re-checks the unchanged channel and redraws it.
    rig.type("77");
    rig.log.clear();
    rig.type("5");
    EXPECT_EQ(rig.probe.composer().entry_channel(), "77");
    EXPECT_EQ(rig.log.matching("sleep"), (Log{"sleep 300"}));
    EXPECT_EQ(rig.line(8), "Channel  = 77");
}

TEST(Keypad, GroupCallNeedsAGroupMmsi)
{
    StationRig rig;
    rig.start();
    rig.click(Key::btnGroup);
    rig.type("274111001");
    EXPECT_EQ(rig.line(3), "TO MMSI   =  274111001");
    rig.cues.played.clear();
    rig.log.clear();

    rig.click(OK);
    EXPECT_EQ(rig.cues.played, Cues{cue_entry_error});
    EXPECT_TRUE(rig.log.matching("sleep").empty());   // refused at once, no pause
    expectScreen(rig, {
        {1, " - GROUP CALL TO STATIONS -"},
        {3, "TO MMSI   =  ", false, true},
        {5, "Channel   =  "},
        {8, "GROUP-ID start with a 0"},
        {9, "( Press OK or CLR buttons )"},
    });
    EXPECT_TRUE(rig.probe.composer().entry_mmsi().isEmpty());
    EXPECT_EQ(rig.mode(), 10);

    rig.type("0274");
    EXPECT_EQ(rig.line(8), "GROUP-ID start with a 0");   // only CLR or an accepted OK clears it
    rig.click(CLR);
    EXPECT_EQ(rig.line(8), "");

    rig.type("027411101");
    rig.cues.played.clear();
    rig.click(OK);
    EXPECT_EQ(rig.cues.played, Cues{cue_click});
    EXPECT_EQ(rig.mode(), 11);
    EXPECT_TRUE(rig.station.panel().label(5).opaque);

    rig.type("29");   // refused: line 5 keeps two trailing spaces
    EXPECT_EQ(rig.line(5), "Channel =  ");
    EXPECT_EQ(rig.mode(), 11);

    rig.type("72");
    expectScreen(rig, {
        {1, " - GROUP CALL TO STATIONS -"},
        {3, "Press <DSC TX> to send a"},
        {5, "  DSC ROUTINE GROUP CALL", true},
        {7, "To group MMSI = 027411101"},
        {8, "Channel =  72"},
    });
    EXPECT_EQ(rig.mode(), 11);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
}

TEST(Keypad, PositionRequestReadyAfterOk)
{
    StationRig rig;
    rig.start();
    rig.click(Key::btnPosReq);
    rig.type("244123456");
    rig.log.clear();
    rig.cues.played.clear();

    rig.press(OK);
    EXPECT_EQ(rig.log.events, (Log{"events", "sleep 300", "events"}));
    expectScreen(rig, {
        {1, "   - POSITION REQUEST -"},
        {3, "Press <DSC TX> to send"},
        {5, "   DSC POSITION REQUEST", true},
        {7, "To MMSI  = 244123456"},
    });
    EXPECT_EQ(rig.mode(), 31);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
}

TEST(Keypad, IdleRefusesAndReadyScreensIgnoreTheKeys)
{
    StationRig rig;
    rig.start();
    const auto idle = rig.station.panel().lines;
    rig.click(keypadKey(5));
    EXPECT_EQ(rig.cues.played, Cues{cue_refuse});
    EXPECT_EQ(rig.station.panel().lines, idle);
    EXPECT_TRUE(rig.probe.composer().entry_mmsi().isEmpty());

    for (int mode : {14, 20, 21, 23, 31, 100}) {
        rig.probe.state().panel_mode = static_cast<PanelMode>(mode);
        rig.cues.played.clear();
        for (int tag = 0; tag <= 11; ++tag)
            rig.click(keypadKey(tag));
        EXPECT_TRUE(rig.cues.played.empty()) << "mode " << mode;
        EXPECT_EQ(rig.station.panel().lines, idle) << "mode " << mode;
        EXPECT_EQ(rig.mode(), mode);
        EXPECT_TRUE(rig.probe.composer().entry_mmsi().isEmpty());
        EXPECT_TRUE(rig.probe.composer().entry_channel().isEmpty());
    }
}
