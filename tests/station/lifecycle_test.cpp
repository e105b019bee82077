#include "support/fakes.h"

#include <gtest/gtest.h>

TEST(Lifecycle, DefaultsWithoutSettingsFile)
{
    StationRig rig;
    rig.station.create();
    EXPECT_EQ(rig.station.panel().title, "KELVO v. 12.9 ( LOCAL ) ");
    EXPECT_EQ(rig.station.panel().lbl_mmsi, "274111001");
    EXPECT_EQ(rig.station.panel().lbl_group, "027411101");
    EXPECT_EQ(rig.line(4), " *   WATCHING CH-70 VHF     *");
    EXPECT_EQ(rig.station.panel().key(Key::btnRoutine).picture, 1);
    EXPECT_TRUE(rig.station.panel().key(Key::btnAudio).enabled);
    EXPECT_FALSE(rig.station.panel().key(Key::btnTX).enabled);
    EXPECT_FALSE(rig.station.panel().key(Key::imgUP).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::imgCH16).picture, 1);
    rig.station.show();
    EXPECT_EQ(rig.voice.rxPort, 17016);
    EXPECT_EQ(rig.station.panel().lbl_debug1, "RX aperta start");
}
