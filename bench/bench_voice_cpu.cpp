// SPDX-License-Identifier: GPL-3.0-or-later
// CPU of a station's voice receiving side, as a share of one core over wall time
// (getrusage(RUSAGE_SELF): every thread of this process, not its children):
//   idle      - BroadcastRX open on its port, its receive thread running, no traffic;
//   receiving - a talker in a child process (this program again, with --talk) sends a 1 kHz tone
//               in real time: 20 ms capture blocks -> GsmEncoder -> BroadcastTX -> 127.0.0.1;
//               here BroadcastRX -> GsmDecoder -> Resampler -> a counting sink;
//   playing   - the same with WaveOut into the null sink of a private PulseAudio server instead
//               of the counting sink (skipped, with the reason, when that server cannot run).
//               The server's own CPU is given apart.
// The talker's CPU is reported apart as well (from wait4), for the sending side.
//
// Usage: bench_voice_cpu [seconds per measurement, default 10]
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "audio/wave_out.h"
#include "proc_cpu.h"
#include "voice_bench.h"
#include "support/private_pulse.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

extern char** environ;

using namespace vbench;

namespace {

// The talking station: a tone to `port` on loopback in real time for `seconds`.
int talk(int port, double seconds)
{
    GsmEncoder encoder;
    BroadcastTX sender(kLoopback);
    encoder.link(&sender);
    sender.setPort(QString::number(port));
    if (!encoder.open() || !sender.active())
        return 1;
    const AudioFormat pcm{WAVE_FORMAT_PCM, gsm_rate, 16, 1};
    std::vector<int16_t> block(441);
    const int writes = int(seconds * 50);
    const auto start = Clock::now();
    for (int w = 0; w < writes; ++w) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(20) * w);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * double(std::size_t(w) * block.size() + i) / gsm_rate));
        encoder.write(pcm, reinterpret_cast<const char*>(block.data()), qsizetype(block.size() * 2));
    }
    encoder.close();
    return 0;
}

struct Talker {
    pid_t pid = -1;
    bool start(int port, double seconds)
    {
        const std::string p = std::to_string(port), s = std::to_string(seconds);
        char self[] = "/proc/self/exe";
        char mode[] = "--talk";
        char* argv[] = {self, mode, const_cast<char*>(p.c_str()), const_cast<char*>(s.c_str()), nullptr};
        return posix_spawn(&pid, self, nullptr, nullptr, argv, environ) == 0;
    }
    // Waits for the talker; its CPU in seconds, or -1 when it failed.
    double wait()
    {
        int status = 0;
        rusage u{};
        if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return -1;
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
};

// Process CPU over `seconds` of wall time, as a percentage of one core.
double measure(double seconds)
{
    const double cpu0 = process_cpu_seconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = process_cpu_seconds() - cpu0;
    return 100.0 * cpu / std::chrono::duration<double>(Clock::now() - wall0).count();
}

// Receives a talker for `seconds` through RX -> decoder -> resampler -> `ear`; prints the result.
// `speaker`, when the chain ends in one, is asked what it dropped.
bool receive(const char* what, Stage& ear, double seconds, const std::function<qsizetype()>& heard,
             const WaveOut* speaker = nullptr)
{
    // The window starts once the talker is under way and playback has started taking audio (the
    // device takes nothing for a while after it opens).
    constexpr double lead = 2.0, tail = 1.0;
    BroadcastRX receiver;
    GsmDecoder decoder;
    Resampler resampler;
    receiver.link(&decoder);
    decoder.link(&resampler);
    resampler.link(&ear);
    const int port = open_on_free_port(receiver, 27800);
    if (!port) {
        std::printf("%s: no free port for the receiver\n", what);
        return false;
    }
    Talker talker;
    if (!talker.start(port, lead + seconds + tail)) {
        std::printf("%s: cannot start the talker\n", what);
        return false;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(lead));
    const qsizetype dropped0 = speaker ? speaker->droppedBytes() : 0;
    const long count0 = receiver.count();
    const qsizetype heard0 = heard();
    const double percent = measure(seconds);
    const long datagrams = receiver.count() - count0;
    const qsizetype bytes = heard() - heard0;
    const qsizetype dropped = speaker ? speaker->droppedBytes() - dropped0 : 0;
    const qsizetype waiting = speaker ? speaker->bufferedBytes() : 0;
    const double talkerCpu = talker.wait();
    receiver.close();
    std::printf("%-10s %6.2f %% of a core over %.1f s (target <= 5 %%); %ld datagrams, %.1f s of 44.1 kHz stereo out, lost %ld\n",
                what, percent, seconds, datagrams, double(bytes) / (44100.0 * 4), receiver.lost());
    if (talkerCpu >= 0)
        std::printf("           talker process: %.2f %% of a core\n", 100.0 * talkerCpu / (lead + seconds + tail));
    else
        std::printf("           talker process failed\n");
    if (speaker)
        std::printf("           WaveOut dropped %.3f s of audio in the first %.1f s after opening, %.3f s in the window\n",
                    double(dropped0) / (44100.0 * 4), lead, double(dropped) / (44100.0 * 4));
    if (speaker)
        std::printf("           WaveOut holding %.0f ms for the device at the end of the window\n",
                    1000.0 * double(waiting) / (44100.0 * 4));
    return true;
}


} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--talk") == 0)
        return talk(std::atoi(argv[2]), std::atof(argv[3]));
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;

    {
        BroadcastRX receiver;
        if (!open_on_free_port(receiver, 27800)) {
            std::printf("idle: no free port for the receiver\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::printf("%-10s %6.2f %% of a core over %.1f s (target <= 1 %%)\n", "idle", measure(seconds), seconds);
        receiver.close();
    }

    CollectSink sink({.openAtStart = true, .keep = false});
    receive("receiving", sink, seconds, [&] { return sink.byteCount.load(); });

    PrivatePulse pulse;   // one null sink as the default output
    QString why;
    if (!pulse.start("load-module module-null-sink sink_name=kelvo_sink\n"
                     "set-default-sink kelvo_sink\n",
                     &why)) {
        std::printf("playing    skipped: %s\n", qPrintable(why));
        return 0;
    }
    qputenv("PULSE_SERVER", pulse.address().toUtf8());   // before the stages connect
    static char name[] = "bench_voice_cpu";
    static char* qtArgv[] = {name, nullptr};
    int qtArgc = 1;
    QCoreApplication app(qtArgc, qtArgv);
    for (int i = 0; i < 30 && QMediaDevices::defaultAudioOutput().isNull(); ++i) {
        QCoreApplication::processEvents();   // the device list arrives shortly after connecting
        QThread::msleep(100);
    }
    WaveOut speaker;
    // WaveOut opens with the chain; check here that the null sink takes it at all.
    if (!speaker.open()) {
        std::printf("playing    skipped: WaveOut found no output device on the private server\n");
        return 0;
    }
    speaker.close();
    const double server0 = proc_cpu_seconds(pulse.server.processId());
    const auto wall0 = Clock::now();
    std::atomic<qsizetype> played{0};   // nothing comes back out of the speaker: count what goes in
    Tap counted([&](const AudioFormat&, qsizetype size) { played += size; });
    counted.link(&speaker);
    receive("playing", counted, seconds, [&] { return played.load(); }, &speaker);
    const double serverCpu = proc_cpu_seconds(pulse.server.processId()) - server0;
    std::printf("           PulseAudio server: %.2f %% of a core\n",
                100.0 * serverCpu / std::chrono::duration<double>(Clock::now() - wall0).count());
    return 0;
}
