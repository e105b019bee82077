// SPDX-License-Identifier: GPL-3.0-or-later
// The values the DSC rules read about this station, and a distress alert kept for its
// acknowledgement. Plain values: whoever holds the station's settings or its memory fills them in.
#pragma once

#include <QByteArray>

namespace dsc {

// Who this station is and the position it reports.
struct OwnStation {
    QByteArray mmsi;
    QByteArray group;
    QByteArray gps_lat;   // two digits
    QByteArray gps_lon;   // three digits
    QByteArray gps_ns;
    QByteArray gps_EW;
};

// A received distress alert: its sender and the data an acknowledgement repeats.
struct AlertData {
    QByteArray mmsi, DANGER, TIME, LATD, LATM, NS, LOND, LONM, EW;
};

} // namespace dsc
