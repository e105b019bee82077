// SPDX-License-Identifier: GPL-3.0-or-later
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

// A front-end without a settings file (a station in a browser has its settings from the server):
// the station takes them, window position included, from the source it is given, sends with them,
// and names that source when the position cannot be kept.
struct GivenSettings : SettingsPort {
    StationSettings given;
    bool canSave = true;
    std::vector<QPoint> saved;
    StationSettings load() override { return given; }
    QPoint windowPosition() override { return {40, 30}; }
    bool saveWindowPosition(QPoint leftTop) override
    {
        saved.push_back(leftTop);
        return canSave;
    }
    QString place() const override { return QStringLiteral("the classroom server"); }
};

TEST(Lifecycle, SettingsComeFromTheSourceTheFrontEndGives)
{
    StationRig rig;
    GivenSettings server;
    server.given.mmsi = "244000007";
    server.given.group = "024400001";
    server.given.mode = 1;
    server.given.base_port = 18000;
    Station station{StationPorts{rig.ui, rig.cues, rig.net, rig.clock, rig.voice, rig.rxTimer, server}};
    rig.ui.model = &station.panel();

    station.create();
    station.show();
    EXPECT_EQ(station.panel().title, "KELVO v. 12.9 ( NETWORK ) ");
    EXPECT_EQ(station.panel().lbl_mmsi, "244000007");
    EXPECT_EQ(rig.ui.pos, QPoint(40, 30));
    EXPECT_EQ(rig.voice.rxPort, 18016);

    station.mouseDown(Key::btnRoutine, {});
    station.mouseUp(Key::btnRoutine, Mods{.alt = true});
    station.mouseDown(Key::btnTX, {});
    station.mouseUp(Key::btnTX, {});
    ASSERT_EQ(rig.net.sent.size(), 1u);
    EXPECT_TRUE(rig.net.sent[0].payload.startsWith("TXMMSI=244000007,RXMMSI=999999999,CALL=ALLSHIPS"));
    EXPECT_TRUE(rig.net.sent[0].broadcast);
    EXPECT_EQ(station.current_voice_channel(), 77);

    server.canSave = false;
    rig.ui.pos = QPoint(120, 80);
    EXPECT_FALSE(station.close());
    ASSERT_EQ(server.saved.size(), 1u);
    EXPECT_EQ(server.saved[0], QPoint(120, 80));
    ASSERT_EQ(rig.ui.errors.size(), 1u);
    EXPECT_EQ(rig.ui.errors[0], "Unable to write to the classroom server");
}
