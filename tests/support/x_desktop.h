// SPDX-License-Identifier: GPL-3.0-or-later
// A trainee's desktop of the test's own: an X server (Xvfb) with a window manager (openbox) and
// X's key auto-repeat on, as desktops have it; keys held, windows focused, minimised and closed
// with xdotool as a user does (XTest: the server's own auto-repeat acts on a held key); the real
// station program on it; and what the station puts on the air, recorded by port.
//
// Needs root: the test moves into a network namespace of its own with a broadcast route, so that
// the station's voice broadcasts reach the recorder (and fixed ports meet nobody).
#pragma once

#include "audio/gsm_codec.h"
#include "support/collect_sink.h"
#include "audio/voice_packet.h"
#include "support/private_pulse.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace desktop {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// Waits for `done` with a generous ceiling, looking every 20 ms; false when the ceiling passed.
inline bool waitFor(const std::function<bool()>& done, int ceilingMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ceilingMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

inline bool quiet(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Moves this thread, and the programs it starts, into a fresh network namespace whose one
// interface (a veth pair with both ends here) carries the limited broadcast back to this host.
inline bool ownNetworkWithBroadcast(QString* why)
{
    static int done = -1;
    if (done < 0) {
        done = 0;
        if (geteuid() != 0)
            return *why = "needs root (a network namespace of its own)", false;
        if (unshare(CLONE_NEWNET) != 0)
            return *why = "no network namespace", false;
        done = quiet("ip", {"link", "set", "lo", "up"}) && quiet("ip", {"link", "add", "air0", "type", "veth", "peer", "name", "air1"})
            && quiet("ip", {"addr", "add", "10.79.0.1/24", "broadcast", "10.79.0.255", "dev", "air0"})
            && quiet("ip", {"link", "set", "air0", "up"}) && quiet("ip", {"link", "set", "air1", "up"})
            && quiet("ip", {"route", "add", "default", "dev", "air0"});
    }
    return done == 1 || (*why = "could not make the namespace's network", false);
}

struct XDesktop {
    QProcess xvfb, wm;
    QString display;

    bool start(QString* why)
    {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xset", "xlogo"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return *why = QStringLiteral("%1 is not installed").arg(tool), false;
        // The server takes a free display itself and tells which (tests run side by side).
        keepWithTest(xvfb);
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        if (!xvfb.waitForStarted(5000))
            return *why = "Xvfb did not start", false;
        waitFor([&] {
            xvfb.waitForReadyRead(100);
            return xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning;
        }, 20000);
        const QByteArray number = xvfb.readLine().trimmed();
        if (number.isEmpty())
            return *why = "Xvfb found no display", false;
        display = ":" + QString::fromLatin1(number);
        // The socket is there a moment before the server answers on it.
        if (!waitFor([&] { return run("xset", {"q"}).contains("auto repeat"); }, 20000))
            return *why = "the X server does not answer", false;
        wm.setProcessEnvironment(env());
        keepWithTest(wm);
        // The window manager is there once it has named itself on the root window.
        auto managed = [&] { return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"); };
        // It comes up in well under a second; now and then one never does, and another is started.
        for (int attempt = 0; attempt < 5 && !managed(); ++attempt) {
            if (attempt > 0)
                std::printf("openbox did not come up on %s within 8 s; starting another\n", qPrintable(display));
            stop(wm);
            wm.start("openbox", {"--sm-disable"});
            if (wm.waitForStarted(5000))
                waitFor([&] { return managed() || wm.state() == QProcess::NotRunning; }, 8000);
        }
        if (!managed())
            return *why = QStringLiteral("the window manager did not start on %1 (%2, exit status %3)")
                              .arg(display, wm.state() == QProcess::Running ? "running" : "ended")
                              .arg(wm.exitCode()),
                   false;
        run("xset", {"r", "on"});
        if (!run("xset", {"q"}).contains("auto repeat:  on"))
            return *why = "X key auto-repeat is not on", false;
        return true;
    }

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("DISPLAY", display);
        return e;
    }

    // Runs a program of the desktop to its end; its output.
    QByteArray run(const QString& program, const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(program, args);
        p.waitForFinished(20000);
        return p.readAllStandardOutput();
    }
    QByteArray xdotool(const QStringList& args) const { return run("xdotool", args); }

    // The one visible window whose title matches `name`, waited for.
    QString window(const QString& name) const
    {
        QString id;
        waitFor([&] {
            id = QString::fromUtf8(xdotool({"search", "--onlyvisible", "--name", name})).section('\n', 0, 0).trimmed();
            return !id.isEmpty();
        }, 20000);
        return id;
    }

    static void keepWithTest(QProcess& p)
    {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    }
    static void stop(QProcess& p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(5000))
            p.kill();
        p.waitForFinished(2000);
    }
    ~XDesktop()
    {
        stop(wm);
        stop(xvfb);
    }
};

// The station program from the build, in a folder of its own with the settings file given.
struct StationProgram {
    QTemporaryDir dir;
    QProcess proc;
    QString control;

    StationProgram()
    {
        const QString bin = QStringLiteral(KELVO_BIN_DIR);
        QFile::copy(bin + "/kelvo-station", dir.filePath("kelvo-station"));
        QFile::setPermissions(dir.filePath("kelvo-station"), QFile::permissions(bin + "/kelvo-station"));
        for (const QString& cue : QDir(bin).entryList({"*.wav"}, QDir::Files))
            QFile::copy(bin + "/" + cue, dir.filePath(cue));
        control = dir.filePath("control.sock");
    }
    QString settingsPath() const { return dir.filePath("radiosim.ini"); }
    void writeSettings(const QByteArray& bytes) const
    {
        QFile f(settingsPath());
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
    QByteArray settings() const
    {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Starts the program on the desktop and waits until its window is up and answers.
    QString start(const XDesktop& x, const QString& soundServer)
    {
        QProcessEnvironment e = x.env();
        e.insert("QT_QPA_PLATFORM", "xcb");
        e.insert("KELVO_TEST_CONTROL", control);
        e.insert("XDG_RUNTIME_DIR", dir.path());
        if (!soundServer.isEmpty())
            e.insert("PULSE_SERVER", soundServer);
        proc.setProcessEnvironment(e);
        XDesktop::keepWithTest(proc);
        proc.start(dir.filePath("kelvo-station"), {});
        proc.waitForStarted(5000);
        const QString id = x.window("^KELVO");
        waitFor([&] { return command("dump").contains("WATCHING"); }, 20000);
        return id;
    }
    // One line to the test control; its answer.
    QByteArray command(const QByteArray& line) const
    {
        QLocalSocket s;
        s.connectToServer(control);
        if (!s.waitForConnected(2000))
            return {};
        s.write(line + '\n');
        QByteArray answer;
        while (s.state() == QLocalSocket::ConnectedState && s.waitForReadyRead(5000))
            answer += s.readAll();
        return answer + s.readAll();
    }
    QByteArray panelLine(const QByteArray& name) const
    {
        for (const QByteArray& l : command("panel").split('\n'))
            if (l.startsWith(name + ' '))
                return l.mid(name.size() + 1);
        return {};
    }
    bool ended(int ceilingMs) { return proc.state() == QProcess::NotRunning || proc.waitForFinished(ceilingMs); }
    ~StationProgram() { XDesktop::stop(proc); }
};

// Everything that arrives on a few UDP ports, with its time, its sender's port and its bytes.
class Air {
public:
    struct Datagram {
        Clock::time_point at;
        int port;
        int from;
        std::vector<unsigned char> bytes;
    };

    explicit Air(std::initializer_list<int> ports)
    {
        for (int port : ports) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            const int one = 1;   // beside the station's own receiver, which listens on its port too
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(quint16(port));
            a.sin_addr.s_addr = htonl(INADDR_ANY);
            if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                m_ok = false;
                continue;
            }
            m_fds.push_back({fd, POLLIN, 0});
            m_ports.push_back(port);
        }
        m_thread = std::thread([this] { listen(); });
    }
    ~Air()
    {
        m_stop = true;
        m_thread.join();
        for (const pollfd& p : m_fds)
            ::close(p.fd);
    }
    bool ok() const { return m_ok; }

    std::vector<Datagram> on(int port) const
    {
        std::lock_guard l(m_mutex);
        std::vector<Datagram> out;
        for (const Datagram& d : m_log)
            if (d.port == port)
                out.push_back(d);
        return out;
    }
    size_t count(int port) const { return on(port).size(); }
    // The time of the last datagram on `port`, once none has come for `quietMs`.
    Clock::time_point lastAfterQuiet(int port, int quietMs, int ceilingMs) const
    {
        Clock::time_point last{};
        waitFor([&] {
            const auto all = on(port);
            last = all.empty() ? Clock::time_point{} : all.back().at;
            return !all.empty() && msSince(last) > quietMs;
        }, ceilingMs);
        return last;
    }
    void clear()
    {
        std::lock_guard l(m_mutex);
        m_log.clear();
    }

private:
    void listen()
    {
        std::vector<unsigned char> buf(65536);
        while (!m_stop) {
            if (::poll(m_fds.data(), m_fds.size(), 50) <= 0)
                continue;
            for (size_t i = 0; i < m_fds.size(); ++i) {
                if (!(m_fds[i].revents & POLLIN))
                    continue;
                sockaddr_in from{};
                socklen_t len = sizeof from;
                const ssize_t n = ::recvfrom(m_fds[i].fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (n < 0)
                    continue;
                std::lock_guard l(m_mutex);
                m_log.push_back({Clock::now(), m_ports[i], ntohs(from.sin_port), {buf.begin(), buf.begin() + n}});
            }
        }
    }

    bool m_ok = true;
    std::vector<pollfd> m_fds;
    std::vector<int> m_ports;
    mutable std::mutex m_mutex;
    std::vector<Datagram> m_log;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Voice datagrams taken apart: the transmissions (one per sender socket), how many opened a
// stream (announcements with the format-changed flag), the longest silence between audio packets
// of a transmission, and the audio decoded.
struct Talk {
    std::map<int, int> datagramsBySocket;
    int streamsOpened = 0;
    double longestGapMs = 0;
    double spanMs = 0;
    std::vector<int16_t> pcm;
    int rate = 0;

    explicit Talk(const std::vector<Air::Datagram>& datagrams)
    {
        GsmDecoder decoder;
        CollectSink heard;
        decoder.link(&heard);
        decoder.open();
        AudioFormat format{};
        std::optional<Clock::time_point> first, previous;
        for (const Air::Datagram& d : datagrams) {
            ++datagramsBySocket[d.from];
            const voice::Parsed p = voice::parse(d.bytes.data(), d.bytes.size());
            if (!p.ok)
                continue;
            if (p.type == voice::Announcement) {
                streamsOpened += p.formatChanged;
                format = p.format;
                rate = int(format.rate);
                continue;
            }
            if (previous)
                longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(d.at - *previous).count());
            previous = d.at;
            if (!first)
                first = d.at;
            spanMs = std::chrono::duration<double, std::milli>(d.at - *first).count();
            decoder.write(format, reinterpret_cast<const char*>(p.payload), qsizetype(p.payloadSize));
        }
        pcm = heard.samples();
        decoder.close();
    }
};

} // namespace desktop
