// SPDX-License-Identifier: GPL-3.0-or-later
// DSC transmission: for each call the station sends, the record it builds, where the voice channel
// goes once the call has left and what the call spends, as one table. The records come from the
// pure builders (dsc/builders.h); which ready screen sends which call, and the screens, cues and
// pauses around it, are the station's.
#pragma once

#include "dsc/own_station.h"

#include <QByteArray>
#include <optional>

namespace dsc {

// The calls a station sends, one per ready screen.
enum class CallKind {
    Individual,
    Group,
    AllShipsRoutine,
    AllShipsSafety,
    AllShipsUrgency,
    AllShipsDistress,
    DistressAlert,
    DistressAck,
    AckAble,
    AckUnable,
    PositionRequest,
    PositionReply,
};

// What a call spends once it has gone out.
enum class Spent { Nothing, DistressNoInfo, SavedAlert, AckData, PosRequestMmsi };

// What the builders read, as values: the station's own data, what the keypad typed, the distress
// alert being prepared and the data remembered for a reply.
struct CallInputs {
    OwnStation own;
    QByteArray entry_mmsi;
    QByteArray entry_channel;
    bool entry_channel_valid = false;   // two digits naming an allowed working channel
    int category = 0;                   // of an individual call: 1 routine .. 4 distress
    int nature = 0;                     // of the distress alert
    bool no_info = false;
    QByteArray alert_time;
    AlertData saved_alert;              // the received alert a distress acknowledgement repeats
    QByteArray ack_mmsi;
    QByteArray ack_channel;
    QByteArray pos_request_mmsi;
    QByteArray position_time;           // stamped on the position reply's screen
};

// A call's transmission, worked out before anything leaves.
struct Plan {
    QByteArray record;
    std::optional<int> channel;   // the voice channel to select once the call has gone out
    bool refused = false;         // the typed channel is one the keypad refuses: no call
    Spent spent = Spent::Nothing;
};

Plan plan(CallKind kind, const CallInputs& in);
// The record alone.
QByteArray record(CallKind kind, const CallInputs& in);

} // namespace dsc
