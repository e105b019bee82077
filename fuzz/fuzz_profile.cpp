// SPDX-License-Identifier: GPL-3.0-or-later
// Settings file bytes from outside: read every setting the station reads, then write the window
// position and read it back, all in memory; now and then through a real file as the station does.
#include "station/FileIni.h"
#include "station/profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

void readAndWrite(const profile::Profile& p)
{
    for (const char* key : {"mmsi", "group", "posX", "posY"})
        if (p.value("kelvo", key).value_or(QByteArray()).size() > profile::max_text)
            __builtin_trap();
    for (const char* key : {"gps_ns", "gps_EW"})
        (void)profile::read_text(p, "gps", key, "N");
    for (const char* key : {"gps_lat", "gps_lon"})
        (void)profile::read_int(p, "gps", key, 0);
    (void)profile::read_int(p, "radio", "mode", 0);
    (void)profile::read_int(p, "radio", "base_port", 17000);
    // A written key reads back as written, and the next write finds it in the same place.
    const int x = profile::read_int(p, "kelvo", "posX", 1) ^ 1;
    const profile::Profile written(p.with_value("kelvo", "posX", QByteArray::number(x)));
    if (profile::read_int(written, "kelvo", "posX", 1) != x)
        __builtin_trap();
    if (written.with_value("kelvo", "posX", QByteArray::number(x)) != p.with_value("kelvo", "posX", QByteArray::number(x)))
        __builtin_trap();
}

// The station's own path: a file, its settings and its window position.
void throughFile(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = settings_path(dir.path());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const StationSettings s = load_settings(path);
    if (s.mmsi.size() > 9 || s.group.size() > 9 || s.gps_lat.size() != 2 || s.gps_lon.size() != 3)
        __builtin_trap();
    const QPoint where = load_window_position(path);
    if (save_window_position(path, QPoint(where.x() ^ 1, where.y())) && load_window_position(path).x() != (where.x() ^ 1))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readAndWrite(profile::Profile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));
    // A file costs a hundred times more than memory (the write is synced to disk): one input in
    // 256 takes that path.
    if (size % 256 == 0)
        throughFile(data, size);
    return 0;
}
