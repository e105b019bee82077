// SPDX-License-Identifier: GPL-3.0-or-later
// The practice partners the exchange tests talk to: a coast station with a position of its own,
// a ship with the default one, and a record read back from its text.
#pragma once

#include "exchange/virtual_station.h"

namespace partners {

inline exchange::VirtualStation coast(const QString& name = QStringLiteral("Coast"))
{
    exchange::VirtualStation s;
    s.kind = exchange::VirtualStation::Coast;
    s.name = name;
    s.mmsi = "002470001";
    s.latDeg = "44";
    s.latMin = "24";
    s.lonDeg = "008";
    s.lonMin = "55";
    return s;
}

inline exchange::VirtualStation ship()
{
    exchange::VirtualStation s;
    s.name = QStringLiteral("Aurora");
    s.mmsi = "211222333";
    return s;
}

inline dsc::DscRecord read(const QByteArray& text)
{
    dsc::DscRecord r;
    dsc::Decodifica_stringa(text, r);
    return r;
}

} // namespace partners
