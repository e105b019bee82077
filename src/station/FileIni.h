// The station settings file "radiosim.ini" beside the executable.
#pragma once

#include "dsc/own_station.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <optional>

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

// Full path of the settings file in `folder`.
QString settings_path(const QString& folder);

StationSettings load_settings(const QString& iniPath);

// Window position as stored: posX holds the top edge, posY the left edge. Returns left, top.
QPoint load_window_position(const QString& iniPath);

// Writes left/top as posY/posX. Returns false when the file cannot be written.
bool save_window_position(const QString& iniPath, QPoint leftTop);
