// SPDX-License-Identifier: GPL-3.0-or-later
// The station settings file "radiosim.ini" beside the executable.
#pragma once

#include "station/settings.h"

#include <QPoint>
#include <QString>

// Full path of the settings file in `folder`.
QString settings_path(const QString& folder);

StationSettings load_settings(const QString& iniPath);

// Window position as stored: posX holds the top edge, posY the left edge. Returns left, top.
QPoint load_window_position(const QString& iniPath);

// Writes left/top as posY/posX. Returns false when the file cannot be written.
bool save_window_position(const QString& iniPath, QPoint leftTop);

// The settings file as the station's settings source.
class IniSettings : public SettingsPort {
public:
    explicit IniSettings(QString iniPath) : m_path(std::move(iniPath)) {}
    const QString& path() const { return m_path; }

    StationSettings load() override { return load_settings(m_path); }
    QPoint windowPosition() override { return load_window_position(m_path); }
    bool saveWindowPosition(QPoint leftTop) override { return save_window_position(m_path, leftTop); }
    QString place() const override { return m_path; }

private:
    QString m_path;
};
