// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual stations hosted by the exchange: a coast station or a ship that answers calls as a
// trained operator would. They speak the stations' wire format exactly.
#pragma once

#include "wire/record.h"

#include <QByteArray>
#include <QString>
#include <QTime>
#include <optional>
#include <vector>

namespace exchange {

struct VirtualStation {
    enum Kind { Coast, Ship };
    Kind kind = Ship;
    QString name;              // how exercises and the log name it
    QByteArray mmsi;           // nine digits
    QByteArray group;          // optional group MMSI
    QByteArray latDeg = "43", latMin = "28", ns = "N";
    QByteArray lonDeg = "009", lonMin = "15", ew = "E";
    int workingChannel = 16;
};

// A working channel a station may propose: 1 to 28 or 60 to 88, not the DSC channel 70.
using dsc::allowed_working_channel;

// The record a virtual station sends in answer to `rx`, if any. `utc` stamps position replies.
std::optional<QByteArray> answer(const VirtualStation& self, const dsc::DscRecord& rx, QTime utc);

// Records a virtual station sends of its own accord (exercises).
QByteArray individual_call(const VirtualStation& from, const QByteArray& to, const QByteArray& category,
                           int channel);
QByteArray all_ships_call(const VirtualStation& from, const QByteArray& category, int channel);
QByteArray group_call(const VirtualStation& from, const QByteArray& group, int channel);
QByteArray position_request(const VirtualStation& from, const QByteArray& to);
QByteArray distress_alert(const VirtualStation& from, int nature, QTime utc);

// "hh:mm" of a time of day.
QByteArray hhmm(QTime t);

} // namespace exchange
