// SPDX-License-Identifier: GPL-3.0-or-later
// Where a station finds its things: the settings file, the cue sounds and the example messages.
// A program run from its own folder (the build folder, a folder copied to a classroom PC) keeps all
// of them beside itself. An installed program (it sits in a "bin" folder next to "../share/kelvo")
// cannot write there: each user gets a settings file of their own, made on first start from the
// system-wide default, and a copy of the example messages to rename and trash.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>

struct StationPaths {
    QString settingsFile;    // "radiosim.ini" read at start, window position written at close
    QString cueFolder;       // "btn1.wav" and the other cues
    QString exampleFolder;   // the message player's "example" folder

    // Everything beside the program in `folder`.
    static StationPaths beside(const QString& folder);
};

// The shared data folder of an installed program in `programFolder` ("<prefix>/share/kelvo"), or
// an empty text when the program runs from its own folder. Inline: the exchange finds its partners'
// phrases with it without linking the station.
inline QString installed_data_folder(const QString& programFolder)
{
    const QDir bin(programFolder);
    if (bin.dirName() != QLatin1String("bin"))
        return {};
    const QString share = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/kelvo")));
    return QFileInfo(share).isDir() ? share : QString();
}

// The system-wide default settings of an installed program: "/etc/kelvo/radiosim.ini" for one in
// "/usr/bin" or "/usr/local/bin", "<prefix>/etc/kelvo/radiosim.ini" for other prefixes; a package
// unpacked into a folder ("<root>/usr/bin") finds "<root>/etc/kelvo/radiosim.ini".
QString system_settings_file(const QString& programFolder);

// Resolves the paths once at start. For an installed program the per-user settings file
// `configHome`/kelvo/radiosim.ini is made from the system default when it is missing, and the
// example messages are copied to `dataHome`/kelvo/example when that folder is missing. A copy that
// fails leaves the station on its defaults (and an empty message folder); it is not an error.
StationPaths resolve_station_paths(const QString& programFolder, const QString& configHome, const QString& dataHome);
