// SPDX-License-Identifier: GPL-3.0-or-later
// The distress alert: covered key, nature list, data screen and send screen.
#include "screen_expect.h"

namespace {

using Cues = std::vector<unsigned>;

const char* const kTitle = " ## DISTRESS ALERT (Nature) ##";
const char* const kPrompt = "( Select nature and press ENT )";

// The nature list open with `index` selected.
void openListAt(StationRig& rig, int index)
{
    rig.start();
    rig.click(Key::btnDistress2);
    for (int i = 1; i < index; ++i)
        rig.click(Key::imgDW);
    rig.log.clear();
    rig.cues.played.clear();
}

} // namespace

TEST(Distress, CoveredKeyOpensTheListOnTheFirstNature)
{
    StationRig rig;
    rig.start();
    rig.press(Key::btnDistress2);
    EXPECT_EQ(rig.station.panel().key(Key::btnDistress2).picture, 2);
    rig.release(Key::btnDistress2);

    EXPECT_EQ(rig.log.events, (Log{"repaint", "sleep 100", "cue 1"}));
    expectScreen(rig, {
        {1, kTitle},
        {3, ">   Undesignated", true},
        {4, "    Fire, Explosion"},
        {5, "    Flooding"},
        {6, "    Collision"},
        {7, "    Grounding"},
        {8, "    Capsizing"},
        {9, kPrompt},
    });
    EXPECT_EQ(rig.mode(), 20);
    EXPECT_EQ(rig.probe.distress().nature(), 1);
    EXPECT_TRUE(rig.station.panel().key(Key::imgUP).enabled);
    EXPECT_TRUE(rig.station.panel().key(Key::imgDW).enabled);
    expectCallKeysLocked(rig, true);

    rig.cues.played.clear();
    const auto before = rig.station.panel().lines;
    rig.click(Key::imgUP);
    EXPECT_EQ(rig.cues.played, (Cues{cue_click, cue_refuse}));
    EXPECT_EQ(rig.probe.distress().nature(), 1);
    EXPECT_EQ(rig.station.panel().lines, before);
}

TEST(Distress, ListWindowScrollsAtTheTwelfthNature)
{
    StationRig rig;
    openListAt(rig, 9);
    expectScreen(rig, {
        {1, kTitle},
        {3, "    Sinking"},
        {4, "    Disable adrift"},
        {5, ">   Abandoning Ship", true},
        {6, "    Piracy attack"},
        {7, "    Man overboard"},
        {9, kPrompt},
    });

    rig.click(Key::imgDW);
    rig.click(Key::imgDW);
    EXPECT_EQ(rig.line(7), ">   Man overboard");
    rig.cues.played.clear();
    rig.click(Key::imgDW);
    EXPECT_EQ(rig.cues.played, (Cues{cue_click, cue_click}));
    expectScreen(rig, {
        {1, kTitle},
        {3, "    Disable adrift"},
        {4, "    Abandoning Ship"},
        {5, "    Piracy attack"},
        {6, "    Man overboard"},
        {7, ">   Epirb emission", true},
        {9, kPrompt},
    });

    rig.click(Key::imgUP);
    EXPECT_EQ(rig.probe.distress().nature(), 11);
    EXPECT_EQ(rig.line(3), "    Sinking");
    EXPECT_EQ(rig.line(7), ">   Man overboard");
    EXPECT_TRUE(rig.bold(7));
}

TEST(Distress, LastNatureCarriesNoTimeAndNoPosition)
{
    StationRig rig;
    openListAt(rig, 13);
    expectScreen(rig, {
        {1, kTitle},
        {3, ">   Undesignated !", true},
        {4, "      No Time     Info"},
        {5, "      No Position Info"},
        {9, kPrompt},
    });
    rig.click(Key::imgDW);
    EXPECT_EQ(rig.cues.played, (Cues{cue_click, cue_refuse}));
    EXPECT_EQ(rig.probe.distress().nature(), 13);

    rig.click(Key::imgENT);
    expectScreen(rig, {
        {1, "  ## DISTRESS ALERT DATA  ##"},
        {3, "Nature of Distress ="},
        {4, "     ", true},
        {5, "        No Time data"},
        {6, "        No Position data"},
        {9, "(Press ENT to continue)"},
    });
    EXPECT_TRUE(rig.probe.distress().no_info());
    EXPECT_EQ(rig.mode(), 21);

    rig.click(Key::imgESC);
    EXPECT_FALSE(rig.probe.distress().no_info());
    EXPECT_EQ(rig.probe.distress().nature(), 0);
}

TEST(Distress, DataScreenShowsNaturePositionAndUtcTime)
{
    StationRig rig;
    openListAt(rig, 3);
    rig.clock.now = QTime(0, 30, 59);   // the UTC clock itself, no hour taken off
    rig.click(Key::imgENT);

    expectScreen(rig, {
        {1, "  ## DISTRESS ALERT DATA  ##"},
        {3, "Nature of Distress ="},
        {4, "     Flooding", true},
        {5, "Simulated Position ="},
        {6, "43\u00B028\u00B4N / 009\u00B015\u00B4E"},
        {7, "Time = 00:30 UTC"},
        {9, "(Press ENT to continue)"},
    });
    EXPECT_EQ(rig.probe.distress().alert_time(), "00:30");
    EXPECT_FALSE(rig.probe.distress().no_info());
    EXPECT_EQ(rig.mode(), 21);
    EXPECT_FALSE(rig.station.panel().key(Key::imgUP).enabled);
    EXPECT_FALSE(rig.station.panel().key(Key::imgDW).enabled);
    EXPECT_FALSE(rig.station.panel().key(Key::btnTX).enabled);

    // UP and DOWN are disabled here: the mouse on them does nothing.
    rig.log.clear();
    rig.click(Key::imgUP);
    rig.click(Key::imgDW);
    EXPECT_TRUE(rig.log.events.empty());
}

TEST(Distress, PositionLineFollowsTheSettings)
{
    StationRig rig;
    openListAt(rig, 1);
    rig.probe.settings().gps_lat = "51";
    rig.probe.settings().gps_ns = "S";
    rig.probe.settings().gps_lon = "123";
    rig.probe.settings().gps_EW = "W";
    rig.click(Key::imgENT);
    EXPECT_EQ(rig.line(6).toStdString(), "51\u00B028\u00B4S / 123\u00B015\u00B4W");
}

TEST(Distress, SendScreenEnablesTxAndRedrawsOnEveryEnt)
{
    StationRig rig;
    openListAt(rig, 5);
    rig.click(Key::imgENT);
    rig.clock.now = QTime(23, 59);
    rig.log.clear();

    rig.press(Key::imgENT);
    EXPECT_EQ(rig.log.events, (Log{"repaint", "cue 1", "events"}));
    const std::initializer_list<Expected> sendScreen = {
        {1, "   ##  DISTRESS ALERT  ## "},
        {3, "Press <DSC TX> to send"},
        {5, "     DSC DISTRESS CALL", true},
        {7, "to all stations"},
    };
    expectScreen(rig, sendScreen);
    EXPECT_EQ(rig.mode(), 21);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::btnTX).picture, 1);
    EXPECT_EQ(rig.probe.distress().alert_time(), "10:42");   // stamped at the first ENT
    EXPECT_EQ(rig.probe.distress().nature(), 5);
    rig.release(Key::imgENT);

    rig.click(Key::imgENT);
    expectScreen(rig, sendScreen);
    EXPECT_EQ(rig.mode(), 21);
}
