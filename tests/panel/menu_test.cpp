// SPDX-License-Identifier: GPL-3.0-or-later
// Call keys, composition screens and the navigation keys, driven through the mouse.
#include "screen_expect.h"

namespace {

struct CallKeyCase {
    Key key;
    int category;
    int pressedPicture;
    int pauseMs;
    const char* individualTitle;
    const char* allShipsTitle;
    const char* allShipsType;
    const char* allShipsChannel;
};

const CallKeyCase kCallKeyCases[] = {
    {Key::btnRoutine, 1, 2, 100, " - INDIVIDUAL ROUTINE CALL -", " - ALL SHIPS ROUTINE CALL -",
     "   DSC ROUTINE CALL", "Channel = 77"},
    {Key::btnSafety, 2, 5, 200, " - INDIVIDUAL SAFETY CALL  -", " - ALL SHIPS SAFETY CALL  -",
     "   DSC SAFETY CALL", "Channel = 16"},
    {Key::btnUrgency, 3, 8, 200, " - INDIVIDUAL URGENCY CALL -", " - ALL SHIPS URGENCY CALL -",
     "   DSC URGENCY CALL", "Channel = 16"},
    {Key::btnDistress, 4, 11, 200, " - INDIVIDUAL DISTRESS CALL -", " - ALL SHIPS DISTRESS CALL -",
     "   DSC DISTRESS CALL", "Channel = 16"},
};

class CallKeys : public ::testing::TestWithParam<CallKeyCase> {
protected:
    void SetUp() override { rig.start(); }
    StationRig rig;
};

} // namespace

TEST_P(CallKeys, ReleaseWithoutAltOpensTheIndividualCall)
{
    const CallKeyCase& c = GetParam();
    rig.press(c.key);
    EXPECT_EQ(rig.station.panel().key(c.key).picture, c.pressedPicture);
    rig.release(c.key);

    expectScreen(rig, {
        {1, c.individualTitle},
        {3, "TO MMSI    =  ", false, true},
        {5, "Channel    =  "},
    });
    EXPECT_EQ(rig.log.events, (Log{"repaint", "sleep " + std::to_string(c.pauseMs), "cue 1", "repaint"}));
    EXPECT_EQ(rig.mode(), 1);
    EXPECT_EQ(rig.probe.composer().selected_category(), c.category);
    expectCallKeysLocked(rig, true);
    EXPECT_FALSE(rig.station.panel().key(Key::btnTX).enabled);
}

TEST_P(CallKeys, AltHeldAtTheReleaseOpensTheAllShipsCallReadyToSend)
{
    const CallKeyCase& c = GetParam();
    rig.press(c.key);
    rig.release(c.key, Mods{.alt = true});

    expectScreen(rig, {
        {1, c.allShipsTitle},
        {3, "Press <DSC TX> to send"},
        {5, c.allShipsType, true},
        {7, "to all stations"},
        {8, c.allShipsChannel},
    });
    EXPECT_EQ(rig.log.events, (Log{"repaint", "sleep " + std::to_string(c.pauseMs), "cue 1", "events"}));
    EXPECT_EQ(rig.mode(), 13 + c.category);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::btnTX).picture, 1);
    expectCallKeysLocked(rig, true);
}

TEST_P(CallKeys, AltHeldOnlyAtThePressHasNoEffect)
{
    rig.press(GetParam().key, Mods{.alt = true});
    rig.release(GetParam().key);
    EXPECT_EQ(rig.mode(), 1);
    EXPECT_EQ(rig.line(1).toStdString(), GetParam().individualTitle);
}

INSTANTIATE_TEST_SUITE_P(Menu, CallKeys, ::testing::ValuesIn(kCallKeyCases));

TEST(Menu, GroupAndPositionRequestScreens)
{
    StationRig rig;
    rig.start();
    rig.press(Key::btnGroup);
    EXPECT_EQ(rig.station.panel().key(Key::btnGroup).picture, 17);
    rig.release(Key::btnGroup);
    expectScreen(rig, {
        {1, " - GROUP CALL TO STATIONS -"},
        {3, "TO MMSI   =  ", false, true},
        {5, "Channel   =  "},
    });
    EXPECT_EQ(rig.log.events, (Log{"repaint", "sleep 100", "cue 1", "repaint"}));
    EXPECT_EQ(rig.mode(), 10);
    expectCallKeysLocked(rig, true);

    // The position request empties the MMSI only; it has no channel line.
    rig.click(Key::imgESC);
    rig.probe.set_entry("123456789", "16");
    rig.log.clear();
    rig.press(Key::btnPosReq);
    EXPECT_EQ(rig.station.panel().key(Key::btnPosReq).picture, 14);
    rig.release(Key::btnPosReq);
    expectScreen(rig, {
        {1, "   - POSITION REQUEST -"},
        {3, "TO MMSI    =  ", false, true},
    });
    EXPECT_EQ(rig.log.events, (Log{"repaint", "sleep 100", "cue 1", "repaint"}));
    EXPECT_EQ(rig.mode(), 30);
    EXPECT_TRUE(rig.probe.composer().entry_mmsi().isEmpty());
    EXPECT_EQ(rig.probe.composer().entry_channel(), "16");
}

TEST(Menu, LockedCallKeysIgnoreTheMouse)
{
    StationRig rig;
    rig.start();
    rig.click(Key::btnRoutine);
    rig.type("1234");
    rig.log.clear();
    for (Key k : {Key::btnRoutine, Key::btnSafety, Key::btnUrgency, Key::btnDistress, Key::btnGroup,
                  Key::btnPosReq, Key::btnDistress2})
        rig.click(k, Mods{.alt = true});
    EXPECT_TRUE(rig.log.events.empty());
    EXPECT_EQ(rig.mode(), 1);
    EXPECT_EQ(rig.probe.composer().entry_mmsi(), "1234");
    EXPECT_EQ(rig.line(3), "TO MMSI    =  1234");
    expectCallKeysLocked(rig, true);
}

TEST(Menu, EscReturnsToIdleFromAComposition)
{
    StationRig rig;
    rig.start();
    rig.click(Key::btnRoutine);
    rig.type("123456789");
    rig.click(keypadKey(11));
    rig.type("16");
    ASSERT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
    rig.probe.replies().pending_distress_ack = 1;
    rig.probe.replies().pending_individual_ack = 1;
    rig.probe.set_distress(5, "10:00", true);
    rig.log.clear();

    rig.press(Key::imgESC);
    EXPECT_EQ(rig.station.panel().key(Key::imgESC).picture, 0);
    expectScreen(rig, {
        {3, " ****************************"},
        {4, " *   WATCHING CH-70 VHF     *"},
        {5, " ****************************"},
    });
    EXPECT_EQ(rig.log.events, (Log{"cue 1"}));
    EXPECT_EQ(rig.mode(), 0);
    EXPECT_EQ(rig.probe.distress().nature(), 0);
    EXPECT_TRUE(rig.probe.composer().entry_mmsi().isEmpty());
    EXPECT_TRUE(rig.probe.composer().entry_channel().isEmpty());
    EXPECT_EQ(rig.probe.replies().pending_distress_ack, 0);
    EXPECT_EQ(rig.probe.replies().pending_individual_ack, 1);   // only the distress flag is cleared
    EXPECT_FALSE(rig.probe.distress().no_info());
    EXPECT_FALSE(rig.station.panel().key(Key::btnTX).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::btnTX).picture, 1);    // picture left as it was
    EXPECT_FALSE(rig.station.panel().key(Key::imgUP).enabled);
    EXPECT_FALSE(rig.station.panel().key(Key::imgDW).enabled);
    expectCallKeysLocked(rig, false);
    EXPECT_TRUE(rig.station.panel().key(Key::btnAudio).enabled);

    rig.log.clear();
    rig.release(Key::imgESC);
    EXPECT_EQ(rig.log.events, (Log{"sleep 200", "repaint"}));
    EXPECT_EQ(rig.station.panel().key(Key::imgESC).picture, -1);
}

TEST(Menu, EntGivesOnlyTheClickOutsideTheListsAndTheReceivedCall)
{
    for (int mode : {0, 1, 2, 10, 11, 14, 22, 24, 30, 31, 32}) {
        StationRig rig;
        rig.start();
        rig.click(Key::btnRoutine);
        rig.type("1234");
        rig.probe.state().panel_mode = static_cast<PanelMode>(mode);
        const auto before = rig.station.panel().lines;
        rig.log.clear();

        rig.press(Key::imgENT);
        EXPECT_EQ(rig.log.events, (Log{"repaint", "cue 1"})) << "mode " << mode;
        EXPECT_EQ(rig.station.panel().lines, before) << "mode " << mode;
        EXPECT_EQ(rig.mode(), mode);
        EXPECT_EQ(rig.station.panel().key(Key::imgENT).picture, 1);
        rig.release(Key::imgENT);
        EXPECT_EQ(rig.station.panel().key(Key::imgENT).picture, -1);
    }
}

TEST(Menu, UpAndDownMoveTheComplyCursorWithinItsBounds)
{
    StationRig rig;
    rig.start();
    rig.probe.state().panel_mode = PanelMode::ComplySelector;
    rig.probe.state().comply_choice = 1;
    rig.probe.set_key_enabled(Key::imgUP, true);
    rig.probe.set_key_enabled(Key::imgDW, true);

    rig.press(Key::imgUP);
    EXPECT_EQ(rig.station.panel().key(Key::imgUP).picture, 2);
    EXPECT_EQ(rig.cues.played, (std::vector<unsigned>{cue_click, cue_refuse}));
    EXPECT_EQ(rig.station.state().comply_choice, 1);
    rig.release(Key::imgUP);

    rig.cues.played.clear();
    rig.click(Key::imgDW);
    EXPECT_EQ(rig.cues.played, (std::vector<unsigned>{cue_click, cue_click}));
    EXPECT_EQ(rig.station.state().comply_choice, 2);

    rig.cues.played.clear();
    rig.press(Key::imgDW);
    EXPECT_EQ(rig.station.panel().key(Key::imgDW).picture, 3);
    EXPECT_EQ(rig.cues.played, (std::vector<unsigned>{cue_click, cue_refuse}));
    EXPECT_EQ(rig.station.state().comply_choice, 2);
}

TEST(Menu, UpAndDownOutsideTheListsOnlyClick)
{
    for (int mode : {1, 21, 22, 100}) {
        StationRig rig;
        rig.start();
        rig.probe.state().panel_mode = static_cast<PanelMode>(mode);
        rig.probe.state().comply_choice = 1;
        rig.probe.set_key_enabled(Key::imgUP, true);
        rig.probe.set_key_enabled(Key::imgDW, true);
        const auto before = rig.station.panel().lines;
        rig.press(Key::imgUP);
        rig.press(Key::imgDW);
        EXPECT_EQ(rig.cues.played, (std::vector<unsigned>{cue_click, cue_click})) << "mode " << mode;
        EXPECT_EQ(rig.station.state().comply_choice, 1);
        EXPECT_EQ(rig.station.panel().lines, before);
    }
}
