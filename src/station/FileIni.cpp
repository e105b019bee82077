// SPDX-License-Identifier: GPL-3.0-or-later
// The station settings file.
#include "station/FileIni.h"

#include "station/profile.h"

#include <QDir>

namespace {

QByteArray asciiUpper(QByteArray s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// Whole degrees as text of `width` digits, "0" filled on the left.
QByteArray degrees(int value, qsizetype width)
{
    QByteArray text = QByteArray::number(value);
    while (text.size() < width)
        text.prepend('0');
    return text;
}

} // namespace

QString settings_path(const QString& folder) { return QDir(folder).filePath(QStringLiteral("radiosim.ini")); }

StationSettings load_settings(const QString& iniPath)
{
    const profile::Profile ini = profile::read_file(iniPath);
    StationSettings s;
    s.mmsi = profile::read_text(ini, "kelvo", "mmsi", "274111001").left(9);
    s.group = profile::read_text(ini, "kelvo", "group", "027411101").left(9);
    s.mode = profile::read_int(ini, "radio", "mode", 0);
    s.base_port = profile::read_int(ini, "radio", "base_port", 17000);
    int lat = profile::read_int(ini, "gps", "gps_lat", 43);
    int lon = profile::read_int(ini, "gps", "gps_lon", 9);
    s.gps_ns = asciiUpper(profile::read_text(ini, "gps", "gps_ns", "N"));
    s.gps_EW = asciiUpper(profile::read_text(ini, "gps", "gps_EW", "E"));
    if (lat < 0 || lat > 89)
        lat = 43;
    if (lon < 0 || lon > 179)
        lon = 9;
    s.gps_lat = degrees(lat, 2);
    s.gps_lon = degrees(lon, 3);
    return s;
}

QPoint load_window_position(const QString& iniPath)
{
    const profile::Profile ini = profile::read_file(iniPath);
    // posX holds the top edge and posY the left edge.
    const int top = profile::read_int(ini, "kelvo", "posX", 1);
    const int left = profile::read_int(ini, "kelvo", "posY", 1);
    return {left, top};
}

bool save_window_position(const QString& iniPath, QPoint leftTop)
{
    return profile::write_text(iniPath, "kelvo", "posX", QByteArray::number(leftTop.y()))
        && profile::write_text(iniPath, "kelvo", "posY", QByteArray::number(leftTop.x()));
}
