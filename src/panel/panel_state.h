// SPDX-License-Identifier: GPL-3.0-or-later
// The panel state: which screen is shown and the comply choice; the distress alert being prepared is the distress menu's (panel/distress_menu.h). What has been typed for a call is the composer's (panel/composer.h).
#pragma once

#include "dsc/own_station.h"

#include <QByteArray>

// Which screen the panel shows, and so how its keys act. The values are those of the original
// controller (the exchange logs and the test control's "dump" print them as numbers); no other
// value is ever stored.
enum class PanelMode {
    Idle = 0,                  // idle picture; keypad refused, call keys unlocked
    IndividualMmsi = 1,        // individual call: MMSI on line 3
    IndividualChannel = 2,     // individual call: channel on line 5, then its ready screen
    GroupMmsi = 10,            // group call: group MMSI
    GroupChannel = 11,         // group call: channel, then its ready screen
    AllShipsRoutine = 14,      // all-ships calls ready, by category (routine on 77, the rest on 16)
    AllShipsSafety = 15,
    AllShipsUrgency = 16,
    AllShipsDistress = 17,
    DistressNature = 20,       // distress alert: nature list
    DistressData = 21,         // distress alert: data screen, then the send screen
    DistressAckReady = 22,     // distress acknowledgement ready
    ComplySelector = 23,       // ABLE / UNABLE
    AckAbleReady = 24,         // individual acknowledgement, able to comply, ready
    AckUnableReady = 25,       // individual acknowledgement, unable to comply, ready
    PosRequestMmsi = 30,       // position request: MMSI
    PosRequestReady = 31,      // position request ready
    PosReplyReady = 32,        // "SEND YOUR POSITION" ready
    ReceivedCall = 100,        // a received call waits for ENT
};

constexpr int mode_number(PanelMode m) { return static_cast<int>(m); }

// The all-ships ready mode of a call category (1 routine .. 4 distress).
constexpr PanelMode all_ships_mode(int category)
{
    return static_cast<PanelMode>(mode_number(PanelMode::AllShipsRoutine) + category - 1);
}

struct PanelState {
    PanelMode panel_mode = PanelMode::Idle;
    int comply_choice = 0;        // 1 able, 2 unable, on the comply selector
    QByteArray position_time;     // "hh:mm", stamped on the position reply's screen
};

// What reception remembers for the answer.
using SavedDistressAlert = dsc::AlertData;

// The replies a received call waits for, and their addressees and repeated data: remembered by
// reception, read by ENT on the received-call screen, spent by the transmission that uses them.
struct ReplyMemory {
    quint8 pending_distress_ack = 0;
    quint8 pending_position_reply = 0;
    quint8 pending_individual_ack = 0;
    QByteArray ack_mmsi;
    QByteArray ack_channel;       // the channel an individual acknowledgement names
    QByteArray pos_request_mmsi;
    SavedDistressAlert saved_distress_alert;

    void clear_pending()
    {
        pending_distress_ack = 0;
        pending_position_reply = 0;
        pending_individual_ack = 0;
    }
};
