// SPDX-License-Identifier: GPL-3.0-or-later
// A private PulseAudio server for tests and benchmarks on machines without a sound card: its own
// folder and socket, the devices a caller describes, stopped when the object goes.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <initializer_list>

#include <signal.h>
#include <sys/prctl.h>

struct PrivatePulse {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/kelvo-pulse-XXXXXX")};   // no spaces: the server script takes paths bare
    QProcess server;
    QString socket;

    // `devices`: the server script's lines after its socket, e.g. null sinks and defaults.
    // `tools`: programs the caller needs besides pulseaudio, checked first.
    bool start(const QString& devices, QString* why, std::initializer_list<const char*> tools = {})
    {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
            return *why = "pulseaudio is not installed", false;
        for (const char* tool : tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return *why = QStringLiteral("%1 is not installed").arg(tool), false;
        if (!dir.isValid())
            return *why = "no temporary folder", false;
        socket = dir.filePath("native");
        QFile pa(dir.filePath("default.pa"));
        if (!pa.open(QIODevice::WriteOnly))
            return *why = "cannot write the server script", false;
        pa.write(QStringLiteral("load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n").arg(socket).toUtf8());
        pa.write(devices.toUtf8());
        pa.close();
        return launch(why);
    }

    // Stops the server and starts it again on the same socket with the same devices, as when a
    // desktop's sound server restarts.
    bool restart(QString* why)
    {
        stop();
        QFile::remove(socket);
        return launch(why);
    }

    QString address() const { return "unix:" + socket; }

    ~PrivatePulse() { stop(); }

private:
    bool launch(QString* why)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("PULSE_RUNTIME_PATH", dir.path());
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that dies (a sanitizer's abort) takes its server with it; otherwise the server
        // holds the test's output open and the runner waits for its time-out.
        server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        server.start("pulseaudio", {"--daemonize=no", "--system=false", "--exit-idle-time=-1", "-n", "-F",
                                    dir.filePath("default.pa"), "--use-pid-file=no", "--disable-shm=yes"});
        if (!server.waitForStarted(5000))
            return *why = "pulseaudio did not start", false;
        for (int i = 0; i < 50 && !QFile::exists(socket); ++i)
            QThread::msleep(100);
        QThread::msleep(300);
        return QFile::exists(socket) || (*why = "the server made no socket", false);
    }

    void stop()
    {
        if (server.state() == QProcess::NotRunning)
            return;
        server.terminate();
        if (!server.waitForFinished(3000))
            server.kill();
        server.waitForFinished(1000);
    }
};
