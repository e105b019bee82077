// SPDX-License-Identifier: GPL-3.0-or-later
// CPU of a running station with its real window, as a share of one core over wall time:
//   idle       - the station on channel 16, nothing on the air;
//   receiving  - a talker (bench_voice_cpu --talk, beside this program) sends a 1 kHz tone in real
//                time to the station's channel 16 port; the station shows the receive indication and
//                plays the voice into the null sink of a private PulseAudio server.
// The station runs from a copy of its folder (program and cue files, no settings file: channel 16
// is port 17016), once on Qt's offscreen platform and once on an Xvfb display when Xvfb is there.
//
// The private sound server has a null source as the microphone, which the station keeps ready
// (corked) all along; with "nomic" it has none, to see what keeping it ready costs.
//
// Usage: bench_station_cpu [folder of kelvo-station, default ../bin] [seconds per measurement, default 10] [nomic]
#include "proc_cpu.h"
#include "support/private_pulse.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannel16Port = 17016;

// CPU seconds of each thread of `pid` so far, by thread id, with the thread's name. The
// scheduler's own account (schedstat, in ns), which short wake-ups do not slip through as they can
// between the clock ticks that /proc/PID/stat counts.
std::map<QString, std::pair<QString, double>> threadCpu(qint64 pid)
{
    std::map<QString, std::pair<QString, double>> out;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + "/" + tid + "/comm");
        const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : tid;
        QFile stat(tasks + "/" + tid + "/schedstat");
        const double ns = stat.open(QIODevice::ReadOnly) ? QString::fromUtf8(stat.readAll()).section(' ', 0, 0).toDouble() : 0;
        out[tid] = {name, ns / 1e9};
    }
    return out;
}

// The share of a core `pid` used over the next `seconds`; with `detail`, where it went (by
// thread name, the threads of one name added up).
double percentOver(qint64 pid, double seconds, QString* detail = nullptr)
{
    const auto threads0 = threadCpu(pid);
    const double cpu0 = proc_cpu_seconds(pid);
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = proc_cpu_seconds(pid) - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    if (detail) {
        std::map<QString, double> byName;
        double all = 0;
        for (const auto& [tid, thread] : threadCpu(pid)) {
            const auto before = threads0.find(tid);
            const double used = thread.second - (before == threads0.end() ? 0.0 : before->second.second);
            byName[thread.first] += used;
            all += used;
        }
        *detail += QStringLiteral(" all %1 %:").arg(100.0 * all / wall, 0, 'f', 2);
        for (const auto& [name, used] : byName)
            if (used * 1e4 > wall)
                *detail += QStringLiteral(" %1 %2").arg(name).arg(100.0 * used / wall, 0, 'f', 2);
    }
    return 100.0 * cpu / wall;
}

struct Xvfb {
    QProcess server;
    QString display;
    bool start()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            return false;
        for (int n = 91; n < 99 && display.isEmpty(); ++n) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            server.start("Xvfb", {QStringLiteral(":%1").arg(n), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            if (!server.waitForStarted(3000))
                return false;
            for (int i = 0; i < 50 && !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); ++i)
                QThread::msleep(100);
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                display = QStringLiteral(":%1").arg(n);
        }
        return !display.isEmpty();
    }
    ~Xvfb()
    {
        server.terminate();
        server.waitForFinished(2000);
    }
};

// One station run on `platform` ("offscreen" or "xcb" with `display`).
void run(const QString& folder, const QString& talker, const QString& pulse, const QString& platform,
         const QString& display, double seconds)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", platform);
    env.insert("PULSE_SERVER", pulse);
    if (!display.isEmpty())
        env.insert("DISPLAY", display);
    QProcess station;
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::ForwardedChannels);
    station.start(QDir(folder).filePath("kelvo-station"), {});
    if (!station.waitForStarted(5000)) {
        std::printf("%-10s the station did not start\n", qPrintable(platform));
        return;
    }
    const qint64 pid = station.processId();
    std::this_thread::sleep_for(std::chrono::seconds(3));   // start, first showing, receiver open
    QString idleThreads, receivingThreads;
    const double idle = percentOver(pid, seconds, &idleThreads);

    constexpr double lead = 2.0, tail = 1.0;
    QProcess talk;
    talk.start(talker, {"--talk", QString::number(kChannel16Port), QString::number(lead + seconds + tail)});
    talk.waitForStarted(3000);
    std::this_thread::sleep_for(std::chrono::duration<double>(lead));
    const double receiving = percentOver(pid, seconds, &receivingThreads);
    talk.waitForFinished(int((seconds + tail + 5) * 1000));
    std::this_thread::sleep_for(std::chrono::seconds(1));   // the indication ends
    const double after = percentOver(pid, 2);

    station.terminate();
    if (!station.waitForFinished(5000))
        station.kill();
    station.waitForFinished(2000);
    std::printf("%-10s idle %5.2f %%   receiving one talker %5.2f %% (target <= 2 %%)   after %5.2f %%   "
                "(of a core, %.0f s each)\n",
                qPrintable(platform), idle, receiving, after, seconds);
    std::printf("           scheduler's account, idle:%s\n           scheduler's account, receiving:%s\n", qPrintable(idleThreads),
                qPrintable(receivingThreads));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString here = QCoreApplication::applicationDirPath();
    const QString bin = argc > 1 ? QString::fromLocal8Bit(argv[1]) : here + "/../bin";
    const double seconds = argc > 2 ? std::max(2.0, std::atof(argv[2])) : 10.0;
    const QString talker = here + "/bench_voice_cpu";
    if (!QFileInfo(QDir(bin).filePath("kelvo-station")).isExecutable() || !QFileInfo(talker).isExecutable()) {
        std::printf("needs %s/kelvo-station and %s\n", qPrintable(bin), qPrintable(talker));
        return 1;
    }
    // The station's folder: the program and its cue files, no settings file.
    QTemporaryDir folder;
    QFile::copy(QDir(bin).filePath("kelvo-station"), folder.filePath("kelvo-station"));
    QFile::setPermissions(folder.filePath("kelvo-station"), QFile::permissions(QDir(bin).filePath("kelvo-station")));
    for (const QString& cue : QDir(bin).entryList({"*.wav"}, QDir::Files))
        QFile::copy(QDir(bin).filePath(cue), folder.filePath(cue));

    const bool microphone = !(argc > 3 && QByteArray(argv[3]) == "nomic");
    PrivatePulse pulse;
    QString why;
    if (!pulse.start(QStringLiteral("load-module module-null-sink sink_name=kelvo_sink\nset-default-sink kelvo_sink\n")
                         + (microphone ? "load-module module-null-source source_name=kelvo_mic\nset-default-source kelvo_mic\n"
                                       : ""),
                     &why)) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }
    std::printf("microphone: %s\n", microphone ? "a null source, kept ready" : "none");
    run(folder.path(), talker, pulse.address(), "offscreen", {}, seconds);
    Xvfb x;
    if (x.start())
        run(folder.path(), talker, pulse.address(), "xcb", x.display, seconds);
    else
        std::printf("xcb        skipped: no Xvfb\n");
    return 0;
}
