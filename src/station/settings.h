// SPDX-License-Identifier: GPL-3.0-or-later
// The station's settings and where they come from. The desktop station reads them from its
// settings file (station/FileIni.h); a station in a browser would have them from the server.
#pragma once

#include "dsc/own_station.h"

#include <QByteArray>
#include <QPoint>
#include <QString>

struct StationSettings {
    QByteArray mmsi = "274111001";
    QByteArray group = "027411101";
    int mode = 0;              // 0 LOCAL, 1 NETWORK, anything else: no records sent
    int base_port = 17000;
    QByteArray gps_lat = "43"; // two digits
    QByteArray gps_lon = "009"; // three digits
    QByteArray gps_ns = "N";
    QByteArray gps_EW = "E";

    dsc::OwnStation own_station() const { return {mmsi, group, gps_lat, gps_lon, gps_ns, gps_EW}; }
};

// The source the front-end gives the station: read at creation and at the first showing, written
// at close.
class SettingsPort {
public:
    virtual ~SettingsPort() = default;
    virtual StationSettings load() = 0;
    virtual QPoint windowPosition() = 0;                    // left, top
    virtual bool saveWindowPosition(QPoint leftTop) = 0;    // false when it could not be kept
    virtual QString place() const = 0;                      // named to the trainee when saving fails
};
