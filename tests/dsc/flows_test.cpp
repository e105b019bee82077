// SPDX-License-Identifier: GPL-3.0-or-later
// DSC TX, reception and the reply flows, driven through the station with recorders.
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kAllShipsRoutine =
    "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,NS=N,"
    "LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N";

QByteArray record(const char* tx, const char* rx, const char* call, const char* cat, const char* danger = "00",
                  const char* pos = "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", const char* time = "00:00",
                  const char* ch = "16", const char* comply = "N")
{
    return QByteArray("TXMMSI=") + tx + ",RXMMSI=" + rx + ",CALL=" + call + ",CATEGORY=" + cat + ",DANGER=" + danger
        + "," + pos + ",TIME=" + time + ",CH=" + ch + ",COMPLY=" + comply;
}

void expectScreen(const StationRig& rig, const std::array<const char*, 9>& lines, int boldLine = 0)
{
    for (int n = 1; n <= 9; ++n) {
        EXPECT_EQ(rig.line(n), QString::fromUtf8(lines[n - 1])) << "line " << n;
        EXPECT_EQ(rig.bold(n), n == boldLine) << "bold " << n;
    }
}

const std::array<const char*, 9> kIdle = {"", "", " ****************************", " *   WATCHING CH-70 VHF     *",
                                          " ****************************", "", "", "", ""};
const std::array<const char*, 9> kBanner = {"", "", " *** RECEIVING DSC DATA ***", " **   ON VHF CHANNEL 70  **",
                                            "", "", "", "", ""};

std::vector<unsigned> cuesOf(const StationRig& rig) { return rig.cues.played; }

} // namespace

TEST(Transmission, AllShipsRoutineGoesToLoopbackAndSelects77)
{
    StationRig rig;
    rig.start();
    rig.probe.state().panel_mode = PanelMode::AllShipsRoutine;
    rig.probe.enable_tx_key();
    rig.click(Key::btnTX);
    ASSERT_EQ(rig.net.sent.size(), 1u);
    EXPECT_EQ(rig.net.sent[0].payload, kAllShipsRoutine);
    EXPECT_EQ(rig.net.sent[0].payload.size(), 144);
    EXPECT_EQ(rig.net.sent[0].to, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(rig.net.sent[0].port, 8090);
    EXPECT_FALSE(rig.net.sent[0].broadcast);
    EXPECT_EQ(rig.voice.rxPorts.back(), 17077);
    EXPECT_EQ(cuesOf(rig), (std::vector<unsigned>{cue_tx}));
    EXPECT_EQ(rig.log.matching("sleep 1500").size(), 1u);
    EXPECT_EQ(rig.mode(), 0);
    EXPECT_FALSE(rig.station.panel().key(Key::btnTX).enabled);
    EXPECT_EQ(rig.station.panel().key(Key::btnTX).picture, 0);
    EXPECT_EQ(rig.station.panel().led, LED_NONE);
    expectScreen(rig, kIdle);
}

TEST(Transmission, NetworkModeBroadcastsAndOtherModesSendNothing)
{
    StationRig rig;
    rig.start();
    rig.probe.settings().mode = 1;
    rig.probe.state().panel_mode = PanelMode::AllShipsRoutine;
    rig.probe.btnTXMouseDown();
    ASSERT_EQ(rig.net.sent.size(), 1u);
    EXPECT_EQ(rig.net.sent[0].to, QHostAddress(QHostAddress::Broadcast));
    EXPECT_TRUE(rig.net.sent[0].broadcast);

    rig.probe.settings().mode = 2;
    rig.probe.state().panel_mode = PanelMode::AllShipsRoutine;
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.size(), 1u);
    EXPECT_EQ(rig.mode(), 0);
    EXPECT_EQ(rig.voice.rxPorts.back(), 17077);   // cue and channel all the same
}

TEST(Transmission, IdleOnlyBeepsAndReceivedCallModeReturnsToIdle)
{
    StationRig rig;
    rig.start();
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.log.events, (std::vector<std::string>{"repaint", "beep"}));
    rig.probe.state().panel_mode = PanelMode::ReceivedCall;
    rig.probe.replies().pending_individual_ack = 1;
    rig.probe.btnTXMouseDown();
    EXPECT_TRUE(rig.net.sent.empty());
    EXPECT_EQ(rig.mode(), 0);
    EXPECT_EQ(rig.probe.replies().pending_individual_ack, 0);
    EXPECT_EQ(rig.log.matching("sleep 1500").size(), 1u);
}

TEST(Transmission, IndividualCallWithChannel06SelectsChannel16)
{
    StationRig rig;
    rig.start();
    auto& s = rig.probe.state();
    s.panel_mode = PanelMode::IndividualChannel;
    rig.probe.set_entry("274222002", "06", 2);
    rig.probe.btnTXMouseDown();
    ASSERT_EQ(rig.net.sent.size(), 1u);
    EXPECT_EQ(rig.net.sent[0].payload, record("274111001", "274222002", "INDIVID ", "SAFETY  ", "00",
                                              "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "06"));
    EXPECT_EQ(rig.voice.rxPorts.back(), 17016);
}

// CLR on a ready screen, and then perhaps one digit: a channel the keypad refuses is refused by
// DSC TX too, with the ready screen kept for a new entry.
TEST(Transmission, ReadyCallWithAChannelTheKeypadRefusesIsRefused)
{
    for (int mode : {2, 11})
        for (const char* channel : {"", "0", "5"}) {
            SCOPED_TRACE(std::to_string(mode) + " channel '" + channel + "'");
            StationRig rig;
            rig.start();
            auto& s = rig.probe.state();
            s.panel_mode = static_cast<PanelMode>(mode);
            rig.probe.set_entry(mode == 2 ? "274222002" : "027411101", channel);
            rig.probe.enable_tx_key();
            rig.probe.set_line(1, QStringLiteral("ready"));
            const auto before = rig.voice.rxPorts.size();
            rig.probe.btnTXMouseDown();
            EXPECT_TRUE(rig.net.sent.empty());
            EXPECT_EQ(cuesOf(rig), (std::vector<unsigned>{cue_refuse}));
            EXPECT_EQ(rig.mode(), mode);
            EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
            EXPECT_EQ(rig.line(1), "ready");
            EXPECT_EQ(rig.voice.rxPorts.size(), before);
        }
}

TEST(Transmission, RefusedSendShowsTheErrorAndKeepsTheReadyScreen)
{
    StationRig rig;
    rig.start();
    rig.net.refuse = true;
    rig.probe.state().panel_mode = PanelMode::AllShipsRoutine;
    rig.probe.enable_tx_key();
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.ui.errors, (std::vector<QString>{"Network is unreachable"}));
    EXPECT_TRUE(rig.cues.played.empty());
    EXPECT_EQ(rig.mode(), 14);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
}

TEST(Transmission, GroupCallAndDistressAlerts)
{
    StationRig rig;
    rig.start();
    auto& s = rig.probe.state();
    s.panel_mode = PanelMode::GroupChannel;
    rig.probe.set_entry("027411101", "84");
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.back().payload, record("274111001", "027411101", "GROUP   ", "ROUTINE ", "00",
                                                  "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "84"));
    EXPECT_EQ(rig.voice.rxPorts.back(), 17084);

    s.panel_mode = PanelMode::DistressData;
    rig.probe.set_distress(3, "09:42");
    rig.probe.btnTXMouseDown();
    const QByteArray alert3 = record("274111001", "999999999", "DISTRESS", "DISTRESS", "3",
                                     "LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E", "09:42");
    EXPECT_EQ(rig.net.sent.back().payload, alert3);
    EXPECT_EQ(alert3.size(), 143);

    s.panel_mode = PanelMode::DistressData;
    rig.probe.set_distress(13, "09:42", true);
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.back().payload, record("274111001", "999999999", "DISTRESS", "DISTRESS", "13",
                                                  "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "--:--"));
    EXPECT_FALSE(rig.probe.distress().no_info());

    s.panel_mode = PanelMode::AllShipsDistress;
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.back().payload, record("274111001", "999999999", "ALLSHIPS", "DISTRESS", "00",
                                                  "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "--:--"));
}

TEST(Reception, OwnRecordKeepsTheBanner)
{
    StationRig rig;
    rig.start();
    rig.station.receiveDatagram(kAllShipsRoutine);
    expectScreen(rig, kBanner);
    EXPECT_EQ(rig.log.events, (std::vector<std::string>{"repaint", "sleep 1500", "repaint"}));
    EXPECT_TRUE(rig.cues.played.empty());
    EXPECT_EQ(rig.probe.received().CH, "77");
}

TEST(Reception, IndividualCallToUsWaitsForEnt)
{
    StationRig rig;
    rig.start();
    rig.station.receiveDatagram(record("274222002", "274111001", "INDIVID ", "ROUTINE ", "00",
                                           "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "77"));
    expectScreen(rig, {"-RECEIVED INDIVIDUAL CALL-", "", "From     = 274222002", "", "Category = ROUTINE ",
                       "Channel  = 77", "", "", "( Press ENT to ACKN or ESC )"});
    EXPECT_EQ(cuesOf(rig), (std::vector<unsigned>{cue_click, cue_call_alarm}));
    EXPECT_EQ(rig.mode(), 100);
    EXPECT_EQ(rig.probe.replies().pending_individual_ack, 1);
    EXPECT_EQ(rig.probe.replies().ack_mmsi, "274222002");
    EXPECT_FALSE(rig.station.panel().key(Key::btnRoutine).enabled);
}

TEST(Reception, CallsForOthersShowIdleAndChangeNothing)
{
    StationRig rig;
    rig.start();
    rig.probe.state().panel_mode = PanelMode::IndividualChannel;
    rig.station.receiveDatagram(record("274222002", "274333003", "INDIVID ", "ROUTINE "));
    expectScreen(rig, kIdle);
    EXPECT_EQ(rig.mode(), 2);
    EXPECT_EQ(rig.log.matching("events").size(), 1u);
    // An acknowledgement to another station, an all-ships call of a category it cannot have:
    // nothing matches, the banner stays.
    rig.station.receiveDatagram(record("274222002", "274333003", "INDIVID ", "ROUT_ACK"));
    expectScreen(rig, kBanner);
    rig.station.receiveDatagram(record("274222002", "999999999", "ALLSHIPS", "POS_REQ "));
    expectScreen(rig, kBanner);
    EXPECT_TRUE(rig.cues.played.empty());
}

TEST(Reception, GroupAndAllShipsCalls)
{
    StationRig rig;
    rig.start();
    rig.station.receiveDatagram(record("274222002", "027411101", "GROUP   ", "SAFETY  ", "00",
                                           "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "84"));
    expectScreen(rig, {" - RECEIVED GROUP CALL -", "", "From     = 274222002", "", "Category = SAFETY  ",
                       "Channel  = 84", "", "", "( Press ESC to continue )"});
    rig.station.receiveDatagram(record("274222002", "123456789", "ALLSHIPS", "URGENCY "));
    expectScreen(rig, {"-RECEIVED ALLSHIPS CALL-", "", "From     = 274222002", "", "Category = URGENCY",
                       "Channel  = 16", "", "", "( Press ESC to continue )"});
    EXPECT_EQ(cuesOf(rig), (std::vector<unsigned>{cue_call_alarm, cue_call_alarm}));
    EXPECT_EQ(rig.mode(), 0);
}

TEST(Reception, DistressAlertSwitchesTo16WithoutAlarm)
{
    StationRig rig;
    rig.start();
    rig.probe.replies().pending_position_reply = 1;
    rig.station.receiveDatagram(record("274222002", "999999999", "DISTRESS", "DISTRESS", "3",
                                           "LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E", "09:42"));
    expectScreen(rig, {" # RECEIVED DISTRESS ALERT #", "", "From     = 274222002", "Distress = Flooding", "",
                       "TIME:  UTC: 09:42", "POS.:  Lat:  43º:28'N", "       Lon: 009º:15'E",
                       "( Press ENT to ACKN or ESC )"});
    EXPECT_EQ(cuesOf(rig), (std::vector<unsigned>{cue_click}));
    EXPECT_EQ(rig.voice.rxPorts.back(), 17016);
    EXPECT_EQ(rig.mode(), 100);
    EXPECT_EQ(rig.probe.replies().pending_distress_ack, 1);
    EXPECT_EQ(rig.probe.replies().pending_position_reply, 0);
    EXPECT_EQ(rig.probe.replies().saved_distress_alert.DANGER, "3,");

    rig.station.receiveDatagram(record("274222002", "999999999", "DISTRESS", "DISTRESS", "13",
                                           "LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E", "--:--"));
    expectScreen(rig, {" # RECEIVED DISTRESS ALERT #", "", "From     = 274222002", "Distress = ", "",
                       " ! No Time data", " ! No Position data", "", "( Press ENT to ACKN or ESC )"});
}

TEST(Reception, PositionReplyKeepsTheCallerToAcknowledge)
{
    StationRig rig;
    rig.start();
    rig.station.receiveDatagram(record("274222002", "274111001", "INDIVID ", "ROUTINE "));
    rig.station.receiveDatagram(record("274333003", "274111001", "INDIVID ", "POS_ACK ", "00",
                                           "LATD=44,LATM=28,NS=N,LOND=010,LONM=15,EW=E", "08:30"));
    expectScreen(rig, {"   - RECEIVED POSITION -", "", "From: 274333003", "Position:", "    LAT  =  44:28 N",
                       "    LON  = 010:15 E", "    TIME =  08:30 UTC", "", " ( Press ESC to continue )"});
    EXPECT_EQ(rig.probe.replies().ack_mmsi, "274222002");
    EXPECT_EQ(rig.mode(), 100);
    EXPECT_EQ(rig.probe.replies().pending_individual_ack, 1);

    rig.station.receiveDatagram(record("274333003", "274111001", "INDIVID ", "POS_ACK ", "00",
                                           "LATD=--,LATM=--,NS=N,LOND=---,LONM=--,EW=E", "08:30"));
    expectScreen(rig, {"   - RECEIVED POSITION -", "", "From: 274333003", "Position:", "    No Position Data",
                       "    No Time Data", "", "", " ( Press ESC to continue )"});
}

TEST(Replies, IndividualAckNamesOwnWorkingChannel)
{
    StationRig rig;
    rig.start();
    rig.probe.select_voice_channel(Key::imgCH23);
    rig.station.receiveDatagram(record("274222002", "274111001", "INDIVID ", "ROUTINE ", "00",
                                           "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "77"));
    rig.probe.reply_to_received_call();
    expectScreen(rig, {"   - SELECT A COMPLY - ", "", "> ABLE", "  UNABLE", "", "", "", "",
                       "( Press ENT to continue )"}, 3);
    EXPECT_EQ(rig.mode(), 23);
    rig.probe.mostra_tipo_ack(2);
    expectScreen(rig, {"   - SELECT A COMPLY - ", "", "  ABLE", "> UNABLE", "", "", "", "",
                       "( Press ENT to continue )"}, 4);
    rig.probe.state().comply_choice = 1;
    rig.probe.show_individual_ack();
    expectScreen(rig, {" -INDIVIDUAL CALL ACK-", "", "Press <DSC TX> to send", "", "INDIVIDUAL CALL ACK",
                       "to MMSI = 274222002", "Channel = 23", "ABLE TO COMPLY", ""});
    EXPECT_EQ(rig.mode(), 24);
    EXPECT_TRUE(rig.station.panel().key(Key::btnTX).enabled);
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.back().payload, record("274111001", "274222002", "INDIVID ", "ROUT_ACK", "00",
                                                  "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "23", "Y"));
    EXPECT_EQ(rig.voice.rxPorts.back(), 17023);
    EXPECT_TRUE(rig.probe.replies().ack_mmsi.isEmpty());

    // The acknowledgement, back at the caller.
    StationRig caller;
    caller.start();
    caller.probe.settings().mmsi = "274222002";
    caller.station.receiveDatagram(rig.net.sent.back().payload);
    expectScreen(caller, {"-RECEIVED INDIVIDUAL ACK-", "", "From    = 274111001", "Channel = 23", "",
                          "   ABLE TO COMPLY", "", "", "( Press ESC to continue )"});
}

TEST(Replies, UnableAckLeavesTheChannelAndNamesNoChannel)
{
    StationRig rig;
    rig.start();
    rig.voice.rxPort = 17030;   // not a working channel: the answer names 16
    rig.station.receiveDatagram(record("274222002", "274111001", "INDIVID ", "ROUTINE "));
    rig.probe.reply_to_received_call();
    rig.probe.state().comply_choice = 2;
    rig.probe.show_individual_ack();
    EXPECT_EQ(rig.mode(), 25);
    EXPECT_EQ(rig.line(7), "");
    EXPECT_EQ(rig.line(8), "UNABLE TO COMPLY");
    const auto before = rig.voice.rxPorts.size();
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.back().payload, record("274111001", "274222002", "INDIVID ", "ROUT_ACK", "00",
                                                  "LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E", "00:00", "16", "N"));
    EXPECT_EQ(rig.voice.rxPorts.size(), before);
}

TEST(Replies, DistressAckRepeatsTheAlert)
{
    StationRig rig;
    rig.start();
    rig.station.receiveDatagram(record("274222002", "999999999", "DISTRESS", "DISTRESS", "3",
                                           "LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E", "09:42"));
    rig.probe.reply_to_received_call();
    expectScreen(rig, {" # DISTRESS ALERT ACK #", "", "To MMSI  = 274222002", "Distress = Flooding", "", "", "",
                       "", "( Press <DSC TX> to send! )"});
    EXPECT_EQ(rig.mode(), 22);
    rig.probe.btnTXMouseDown();
    const QByteArray ack = rig.net.sent.back().payload;
    EXPECT_EQ(ack, record("274111001", "274222002", "DISTRESS", "DIST_ACK", "3,",
                          "LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E", "09:42"));
    EXPECT_TRUE(ack.contains("DANGER=3,,LATD="));
    EXPECT_TRUE(rig.probe.replies().saved_distress_alert.mmsi.isEmpty());

    StationRig other;
    other.start();
    other.probe.settings().mmsi = "274555005";
    other.station.receiveDatagram(ack);
    expectScreen(other, {"-RECEIVED DISTRESS ACK -", "", "From          = 274111001", "Distressed ID = ",
                         "            274222002", "", "", "", ""});
    EXPECT_EQ(other.probe.received().DANGER, "3,");
}

TEST(Replies, PositionReplyNamesRequesterAndConfiguredPosition)
{
    StationRig rig;
    rig.start();
    rig.clock.now = QTime(0, 30);
    rig.probe.settings().gps_lat = "51";
    rig.probe.settings().gps_ns = "S";
    rig.probe.settings().gps_lon = "120";
    rig.probe.settings().gps_EW = "W";
    rig.station.receiveDatagram(record("274333003", "274111001", "INDIVID ", "POS_REQ "));
    expectScreen(rig, {" - RECEIVED POSITION REQUEST -", "", "", " From: 274333003", "", "", "", "",
                       "( Press ENT to ACKN or ESC )"});
    // Another datagram in between must not change who gets the reply.
    rig.station.receiveDatagram(record("274444004", "999999999", "ALLSHIPS", "ROUTINE "));
    rig.probe.reply_to_received_call();
    expectScreen(rig, {"  - SEND YOUR POSITION -", "", "To MMSI  = 274333003", "", "Simulated Position =",
                       "51°28´S / 120°15´W", "Time = 00:30 UTC", "", "( Press <DSC TX> to send! )"});
    EXPECT_EQ(rig.mode(), 32);
    const auto before = rig.voice.rxPorts.size();
    rig.probe.btnTXMouseDown();
    EXPECT_EQ(rig.net.sent.back().payload, record("274111001", "274333003", "INDIVID ", "POS_ACK ", "00",
                                                  "LATD=51,LATM=28,NS=S,LOND=120,LONM=15,EW=W", "00:30"));
    EXPECT_EQ(rig.voice.rxPorts.size(), before);
    EXPECT_TRUE(rig.probe.replies().pos_request_mmsi.isEmpty());
}
