// SPDX-License-Identifier: GPL-3.0-or-later
// How soon push-to-talk is on the air, and what keeping the microphone ready costs. A private
// PulseAudio server has a tone (or silence) as the microphone and a null sink as the loudspeaker.
//
//   microphone start - the capture stage alone: open() until its first block, over many opens;
//   press to air     - the station with its real voice chains and a window stand-in whose pauses
//                      really sleep: the push-to-talk press until the first audio datagram reaches
//                      a socket on the send port (the press's own 200 ms pause included);
//   idle cost        - CPU of this process and of the sound server while the capture stream is
//                      kept ready (corked), against a running stream whose data is thrown away.
//
// Usage: bench_ptt_start [presses, default 25] [seconds per CPU measurement, default 10] [tone|null]
// (the microphone: a 440 Hz tone played into a null sink, captured from a source remapped from its
// monitor; or a null source giving silence)
#include "audio/voice_packet.h"
#include "proc_cpu.h"
#include "support/private_pulse.h"
#include "voice_bench.h"
#include "voice_station.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

using namespace vbench;

namespace {

// A socket on a free loopback port that notes when the first audio datagram comes after arm().
class AirEar {
public:
    AirEar()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(kLoopback);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        socklen_t len = sizeof at;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &len);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~AirEar()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    void arm()
    {
        std::lock_guard lock(m_mutex);
        m_first.reset();
    }
    std::optional<Clock::time_point> first()
    {
        std::lock_guard lock(m_mutex);
        return m_first;
    }

private:
    void run()
    {
        unsigned char buf[2048];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n > 2 && (buf[1] >> 6) == 1) {   // an audio packet
                std::lock_guard lock(m_mutex);
                if (!m_first)
                    m_first = Clock::now();
            }
        }
    }
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_first;
    std::thread m_thread;
};

double cpuPercent(long long serverPid, double seconds, double* serverPercent)
{
    const double self0 = process_cpu_seconds(), server0 = proc_cpu_seconds(serverPid);
    const auto wall0 = Clock::now();
    QThread::msleep(ulong(seconds * 1000));
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    *serverPercent = 100.0 * (proc_cpu_seconds(serverPid) - server0) / wall;
    return 100.0 * (process_cpu_seconds() - self0) / wall;
}

} // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    const double seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 10.0;
    const bool silent = argc > 3 && std::string(argv[3]) == "null";
    PrivatePulse pulse;
    QString why;
    const char* tone = "load-module module-null-sink sink_name=kelvo_air rate=22050 channels=1\n"
                       "load-module module-sine sink=kelvo_air frequency=440\n"
                       "load-module module-remap-source master=kelvo_air.monitor source_name=kelvo_mic channels=1\n";
    const char* silence = "load-module module-null-source source_name=kelvo_mic rate=22050\n";
    if (!pulse.start(QStringLiteral("load-module module-null-sink sink_name=kelvo_speaker rate=44100\n%1"
                                    "set-default-sink kelvo_speaker\nset-default-source kelvo_mic\n")
                         .arg(silent ? silence : tone),
                     &why, {"pactl"})) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    static char name[] = "bench_ptt_start";
    static char* qtArgv[] = {name, nullptr};
    int qtArgc = 1;
    QCoreApplication app(qtArgc, qtArgv);
    const long long serverPid = pulse.server.processId();

    {
        // The capture stage alone.
        std::atomic<bool> seen{false};
        Tap tap([&](const AudioFormat&, qsizetype) { seen = true; });
        const auto made = Clock::now();
        WaveIn mic(pulse.address());
        mic.link(&tap);
        if (!mic.waitReady(3000)) {
            std::printf("the microphone stream did not get ready\n");
            return 1;
        }
        std::printf("microphone stream ready %.1f ms after the stage was made\n", ms(Clock::now() - made));
        std::vector<double> opens, firsts;
        for (int i = 0; i < presses; ++i) {
            QThread::msleep(150 + 13 * (i % 7));
            seen = false;
            const auto t0 = Clock::now();
            if (!mic.open()) {
                std::printf("open %d failed\n", i);
                return 1;
            }
            opens.push_back(ms(Clock::now() - t0));
            while (!seen && Clock::now() - t0 < std::chrono::seconds(3))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            firsts.push_back(ms(Clock::now() - t0));
            QThread::msleep(100);
            mic.close();
        }
        print_stats("microphone: open() call", stats(opens));
        print_stats("microphone: open() to first block", stats(firsts));

        // What the server says of the stream while nobody talks.
        QProcess pactl;
        pactl.start("pactl", {"--server=" + pulse.address(), "list", "source-outputs"});
        pactl.waitForFinished(5000);
        for (const QByteArray& output : pactl.readAllStandardOutput().split('#')) {
            if (!output.contains("\"Kelvo station\""))
                continue;   // the remapped source's own stream
            for (const QByteArray& line : output.split('\n'))
                if (line.contains("Corked:") || line.contains("Sample Specification:") || line.contains("Latency:"))
                    std::printf("kept-ready stream: %s\n", line.trimmed().constData());
        }
        double serverIdle = 0, serverRunning = 0;
        const double idle = cpuPercent(serverPid, seconds, &serverIdle);
        mic.link(nullptr);   // a running stream whose blocks go nowhere
        mic.open();
        const double running = cpuPercent(serverPid, seconds, &serverRunning);
        mic.close();
        std::printf("capture kept ready (corked):   this process %5.2f %%, sound server %5.2f %% of a core\n", idle,
                    serverIdle);
        std::printf("capture running, data dropped: this process %5.2f %%, sound server %5.2f %% of a core\n",
                    running, serverRunning);
    }

    // The station: push-to-talk pressed until the first audio datagram is on the air.
    AirEar ear;
    VoiceStation s(&app, 29600, pulse.address());
    if (!s.ready)
        return 1;
    s.start();
    Station& station = s.station;
    VoiceChains& voice = s.voice;
    s.broadcastTX.setPort(QString::number(ear.port()));
    voice.waveIN1().waitReady(3000);
    std::vector<double> toAir;
    int missed = 0, notOpened = 0;
    for (int i = 0; i < presses; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(100 + 17 * (i % 5));
        ear.arm();
        const auto t0 = Clock::now();
        station.mouseDown(Key::btnAudio, Mods{});
        notOpened += station.panel().lbl_debug1 != QStringLiteral("waveIn1 aperto");
        while (!ear.first() && Clock::now() - t0 < std::chrono::seconds(3))
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (const auto first = ear.first())
            toAir.push_back(ms(*first - t0));
        else
            ++missed;
        QThread::msleep(200);
        station.mouseUp(Key::btnAudio, Mods{});
    }
    print_stats("push-to-talk: press to first audio datagram", stats(toAir));
    std::printf("presses with no datagram within 3 s: %d (microphone not opened: %d); target: median <= 250 ms "
                "(200 ms of it the pause)\n",
                missed, notOpened);
    station.close();
    voice.closeReceiver();
    pulse.server.terminate();
    pulse.server.waitForFinished(3000);
    return 0;
}
