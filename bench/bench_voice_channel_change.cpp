// SPDX-License-Identifier: GPL-3.0-or-later
// How long a channel key holds the user-interface thread beyond its own 200 ms pause: the station
// with its real voice chains (receiver, sender, decoder, resampler, loudspeaker on a private
// PulseAudio null sink when one can be started, else no output device) and a window stand-in whose
// pauses really sleep. The keys are pressed round the five channels, first on quiet channels, then
// while a talker sends a GSM stream to every channel's port; each press is timed on the wall clock
// and its pauses are taken off. The close of the receive chain alone is timed as well.
//
// Usage: bench_voice_channel_change [presses per phase, default 40]
#include "audio/voice_packet.h"
#include "support/private_pulse.h"
#include "voice_bench.h"
#include "voice_station.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace vbench;

namespace {

// The window as the voice handlers use it: pauses are real sleeps, and counted.
// Sends a GSM stream (an announcement, then 65-byte blocks every 20 ms) to the given ports on
// loopback until stopped.
class Talker {
public:
    explicit Talker(std::vector<int> ports) : m_ports(std::move(ports))
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Talker()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void run()
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        std::vector<unsigned char> packet;
        const std::string block(65, '\x5a');
        for (int seq = 1; !m_stop; seq = (seq + 1) % 16) {
            for (int port : m_ports) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = htonl(kLoopback);
                to.sin_port = htons(std::uint16_t(port));
                if (seq % 8 == 1) {
                    voice::build_announcement(packet, false, 3, AudioFormat{WAVE_FORMAT_GSM610, 22050, 0, 1});
                    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                }
                voice::build_audio(packet, block.data(), block.size(), seq, 3, true);
                ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::close(fd);
    }

    std::vector<int> m_ports;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    PrivatePulse pulse;
    QString why;
    const bool withPulse = pulse.start("load-module module-null-sink sink_name=kelvo_speaker rate=44100\n"
                                       "set-default-sink kelvo_speaker\n",
                                       &why);
    qputenv("PULSE_SERVER", withPulse ? pulse.address().toUtf8() : QByteArray("unix:/nonexistent/kelvo"));
    static char name[] = "bench_voice_channel_change";
    static char* qtArgv[] = {name, nullptr};
    int qtArgc = 1;
    QCoreApplication app(qtArgc, qtArgv);
    for (int i = 0; withPulse && i < 30 && QMediaDevices::defaultAudioOutput().isNull(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }

    // The station's own program folder, with a base port away from the default one.
    const int base = 29400;
    VoiceStation s(&app, base);
    if (!s.ready)
        return 1;
    s.start();
    Station& station = s.station;
    VoiceChains& voice = s.voice;
    SleepingUi& ui = s.ui;
    if (!voice.receiverActive()) {
        std::printf("channel change skipped: the receiver cannot listen on port %d\n", base + 16);
        return 0;
    }
    std::printf("loudspeaker: %s\n", withPulse && voice.WaveOut1().active()
                                         ? "private PulseAudio null sink"
                                         : qPrintable("none (" + (withPulse ? QString("no device") : why) + ")"));

    const Key keys[] = {Key::imgCH9, Key::imgCH23, Key::imgCH77, Key::imgCH84, Key::imgCH16};
    auto phase = [&](const char* what) {
        std::vector<double> blocked, closeOnly, openOnly;
        for (int i = 0; i < presses; ++i) {
            QCoreApplication::processEvents();   // the notifications of the last channel
            QThread::msleep(30 + 7 * (i % 5));  // the receive thread somewhere in its wait
            const int before = ui.slept;
            const auto t0 = Clock::now();
            station.mouseDown(keys[i % 5], Mods{});
            blocked.push_back(ms(Clock::now() - t0) - (ui.slept - before));
            if (!voice.receiverActive()) {
                std::printf("%s: the receiver did not reopen\n", what);
                return;
            }
            QThread::msleep(30);
            const auto c0 = Clock::now();
            voice.closeReceiver();
            closeOnly.push_back(ms(Clock::now() - c0));
            const auto o0 = Clock::now();
            voice.openReceiver();
            openOnly.push_back(ms(Clock::now() - o0));
        }
        print_stats((std::string(what) + ": channel key beyond its pauses").c_str(), stats(blocked));
        print_stats((std::string(what) + ": receive chain close").c_str(), stats(closeOnly));
        print_stats((std::string(what) + ": receive chain open").c_str(), stats(openOnly));
    };
    phase("quiet channels");
    {
        Talker talker({base + 16, base + 9, base + 23, base + 77, base + 84});
        QThread::msleep(200);
        phase("while a talker sends");
    }
    station.close();
    std::printf("target: channel key beyond its pauses <= 5 ms\n");
    // Stop the sound server while the application is still there; left to the end of main, after
    // the application, it stayed running.
    voice.closeReceiver();
    if (withPulse) {
        pulse.server.terminate();
        pulse.server.waitForFinished(3000);
    }
    return 0;
}
