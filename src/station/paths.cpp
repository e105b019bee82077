// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/paths.h"

#include "station/FileIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

StationPaths StationPaths::beside(const QString& folder)
{
    return {settings_path(folder), folder, QDir(folder).filePath(QStringLiteral("example"))};
}

QString system_settings_file(const QString& programFolder)
{
    QString prefix = QDir::cleanPath(QDir(programFolder).absoluteFilePath(QStringLiteral("..")));
    // Programs under /usr and /usr/local keep their configuration in /etc (as the package installs it).
    for (const QLatin1String tail : {QLatin1String("/local"), QLatin1String("/usr")})
        if (prefix.endsWith(tail))
            prefix.chop(tail.size());
    return prefix + QStringLiteral("/etc/kelvo/radiosim.ini");
}

StationPaths resolve_station_paths(const QString& programFolder, const QString& configHome, const QString& dataHome)
{
    const QString share = installed_data_folder(programFolder);
    if (share.isEmpty())
        return StationPaths::beside(programFolder);

    StationPaths p;
    p.cueFolder = QDir(share).filePath(QStringLiteral("cues"));
    const QString userConfig = QDir(configHome).filePath(QStringLiteral("kelvo"));
    p.settingsFile = settings_path(userConfig);
    if (!QFileInfo::exists(p.settingsFile) && QDir().mkpath(userConfig))
        QFile::copy(system_settings_file(programFolder), p.settingsFile);

    p.exampleFolder = QDir(dataHome).filePath(QStringLiteral("kelvo/example"));
    if (!QFileInfo::exists(p.exampleFolder) && QDir().mkpath(p.exampleFolder)) {
        const QDir examples(QDir(share).filePath(QStringLiteral("example")));
        for (const QString& name : examples.entryList({QStringLiteral("*.wav")}, QDir::Files)) {
            const QString copy = QDir(p.exampleFolder).filePath(name);
            // The installed files are read-only; the user's copies must not be.
            if (QFile::copy(examples.filePath(name), copy))
                QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        }
    }
    return p;
}
