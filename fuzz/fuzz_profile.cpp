// Settings file bytes from outside: read them as the station does, then write the window position.
#include "station/FileIni.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = settings_path(dir.path());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const StationSettings s = load_settings(path);
    if (s.mmsi.size() > 9 || s.group.size() > 9 || s.gps_lat.size() != 2 || s.gps_lon.size() != 3)
        __builtin_trap();
    const QPoint where = load_window_position(path);
    if (save_window_position(path, QPoint(where.x() ^ 1, where.y())) && load_window_position(path).x() != (where.x() ^ 1))
        __builtin_trap();
    return 0;
}
