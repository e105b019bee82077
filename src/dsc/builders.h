// SPDX-License-Identifier: GPL-3.0-or-later
// The records the station sends, one builder per kind of call. Pure: each reads only what it is
// given and returns the record with the fourteen fields as they go on the wire.
#pragma once

#include "dsc/own_station.h"
#include "wire/record.h"

namespace calls {

// `category` as on the panel: 1 routine, 2 safety, 3 urgency, 4 distress (anything else routine).
dsc::DscRecord individual_call(const dsc::OwnStation& own, const QByteArray& to, int category,
                               const QByteArray& channel);
dsc::DscRecord group_call(const dsc::OwnStation& own, const QByteArray& group, const QByteArray& channel);
// Routine on channel 77, the others on 16; the distress one without a time.
dsc::DscRecord all_ships_call(const dsc::OwnStation& own, int category);
// Nature 13 (`noInfo`) carries neither position nor time; the others the simulated position and `time`.
dsc::DscRecord distress_alert(const dsc::OwnStation& own, int nature, bool noInfo, const QByteArray& time);
// Repeats the alert's nature, position and time exactly as received.
dsc::DscRecord distress_ack(const dsc::OwnStation& own, const dsc::AlertData& alert);
dsc::DscRecord individual_ack(const dsc::OwnStation& own, const QByteArray& to, const QByteArray& channel, bool able);
dsc::DscRecord position_request(const dsc::OwnStation& own, const QByteArray& to);
dsc::DscRecord position_reply(const dsc::OwnStation& own, const QByteArray& to, const QByteArray& time);

} // namespace calls
