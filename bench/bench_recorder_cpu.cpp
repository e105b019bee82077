// SPDX-License-Identifier: GPL-3.0-or-later
// CPU of kelvo-exchange while its watch recorder records five channels at once, as a share of one
// core over wall time: five simulated talkers (one on each of channels 16, 9, 23, 77 and 84, the
// duplex ones on their send ports) send a GSM 6.10 tone in real time, one 65-byte block per packet
// as a station's encoder hands them over (68.9 packets a second each, an announcement before every
// 17th), to the exchange on loopback. Also the exchange idle with the recorder on, for comparison.
//
// Usage: bench_recorder_cpu [folder of kelvo-exchange, default ../bin] [seconds per run, default 10] [runs, default 3]
#include "audio/gsm_codec.h"
#include "audio/voice_packet.h"
#include "proc_cpu.h"
#include "support/voice_talker.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double percentOver(qint64 pid, double seconds)
{
    const double cpu0 = proc_cpu_seconds(pid);
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = proc_cpu_seconds(pid) - cpu0;
    return 100.0 * cpu / std::chrono::duration<double>(Clock::now() - wall0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Five talkers on one thread: every block period, one packet to each channel's port.
void talk(int base, const QByteArray& gsm, std::atomic<bool>& run)
{
    const int offsets[5] = {16, 9, 123, 77, 184};
    int fds[5];
    int seq[5] = {0, 0, 0, 0, 0};
    for (int& fd : fds)
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);   // a port of its own: a sender each
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<unsigned char> buf;
    const qsizetype blocks = gsm.size() / gsm_block_bytes;
    const auto period = std::chrono::duration<double>(double(gsm_block_samples) / gsm_rate);
    auto next = Clock::now();
    for (long n = 0; run.load(); ++n) {
        for (int t = 0; t < 5; ++t) {
            to.sin_port = htons(std::uint16_t(base + offsets[t]));
            if (n % 17 == 0) {
                voice::build_announcement(buf, n == 0, 3, AudioFormat{WAVE_FORMAT_GSM610, gsm_rate, 0, 1});
                ::sendto(fds[t], buf.data(), voice::kAnnouncementSize, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            seq[t] = (seq[t] + 1) % 16;
            const char* block = gsm.constData() + (n + t) % blocks * gsm_block_bytes;
            voice::build_audio(buf, block, gsm_block_bytes, seq[t], 3, true);
            ::sendto(fds[t], buf.data(), voice::audio_size(gsm_block_bytes), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        next += std::chrono::duration_cast<Clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
    for (int fd : fds)
        ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KELVO_BIN_DIR);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const int base = freeVoiceBase();
    QTemporaryDir dir;
    const VoiceTalker source(440, 200);   // 2.9 s of tone, looped

    std::vector<double> idle, busy;
    qint64 files = 0;
    for (int r = 0; r < runs; ++r) {
        QProcess exchange;
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(r));
        exchange.start(bin + QStringLiteral("/kelvo-exchange"),
                       {QStringLiteral("--local"), QStringLiteral("--listen-port"), QString::number(base + 300),
                        QStringLiteral("--station-port"), QString::number(base + 301), QStringLiteral("--record"),
                        folder, QStringLiteral("--voice-base-port"), QString::number(base)});
        if (!exchange.waitForStarted() || !exchange.waitForReadyRead(5000)) {
            std::fprintf(stderr, "kelvo-exchange did not start\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        idle.push_back(percentOver(exchange.processId(), seconds / 2));
        std::atomic<bool> run{true};
        std::thread talkers(talk, base, source.gsm, std::ref(run));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        busy.push_back(percentOver(exchange.processId(), seconds));
        run = false;
        talkers.join();
        exchange.terminate();
        exchange.waitForFinished(5000);
        files += QDir(folder).entryList(QDir::Files).size();
        std::printf("run %d: idle %.2f %%, recording five channels %.2f %%\n", r + 1, idle.back(), busy.back());
    }
    std::printf("kelvo-exchange CPU, median of %d runs of %.0f s: idle %.2f %%, recording five talkers %.2f %% of a core "
                "(target <= 2 %%); %lld files written\n",
                runs, seconds, median(idle), median(busy), static_cast<long long>(files));
    return median(busy) <= 2.0 ? 0 : 3;
}
