// SPDX-License-Identifier: GPL-3.0-or-later
// Mouth to ear through real audio devices: a private PulseAudio server whose one stereo null sink
// is "the air". Its left channel is the mouth (a sink of its own) and, through a remapped monitor,
// the microphone; its right channel is the loudspeaker (the default sink). Tone bursts played into
// the mouth go WaveIn -> GsmEncoder -> BroadcastTX -> 127.0.0.1 -> BroadcastRX -> GsmDecoder ->
// Resampler -> WaveOut, and one recording of the air's monitor holds both ends on one clock: the
// delay from each burst's onset on the left to its onset on the right is mouth to ear, device
// buffers included.
//
// Skips, saying why, when pulseaudio, pacat or parec is missing or the server does not come up.
//
// Usage: bench_voice_mouth_to_ear [bursts, default 12]
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
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

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace vbench;

namespace {

const char* const kAir =
    "load-module module-null-sink sink_name=kelvo_air channels=2 rate=44100\n"
    "load-module module-remap-sink sink_name=kelvo_mouth master=kelvo_air channels=1 "
    "channel_map=mono master_channel_map=front-left remix=no\n"
    "load-module module-remap-sink sink_name=kelvo_ear master=kelvo_air channels=1 "
    "channel_map=mono master_channel_map=front-right remix=no\n"
    "load-module module-remap-source source_name=kelvo_mic master=kelvo_air.monitor channels=1 "
    "channel_map=mono master_channel_map=front-left remix=no\n"
    "set-default-sink kelvo_ear\n"
    "set-default-source kelvo_mic\n";

// Starts of loud stretches (|x| >= threshold) that follow at least `quiet` quiet samples.
std::vector<std::size_t> onsets(const std::vector<int16_t>& stereo, int channel, int threshold, std::size_t quiet)
{
    std::vector<std::size_t> out;
    std::size_t quietRun = quiet;
    for (std::size_t i = std::size_t(channel), frame = 0; i < stereo.size(); i += 2, ++frame) {
        if (std::abs(int(stereo[i])) >= threshold) {
            if (quietRun >= quiet)
                out.push_back(frame);
            quietRun = 0;
        } else {
            ++quietRun;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const int bursts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    PrivatePulse air;
    QString why;
    if (!air.start(kAir, &why, {"pacat", "parec"})) {
        std::printf("mouth to ear skipped: %s\n", qPrintable(why));
        return 0;
    }
    const QString server = air.address();
    qputenv("PULSE_SERVER", server.toUtf8());   // before the stages connect
    static char name[] = "bench_voice_mouth_to_ear";
    static char* qtArgv[] = {name, nullptr};
    int qtArgc = 1;
    QCoreApplication app(qtArgc, qtArgv);

    WaveIn mic;
    GsmEncoder encoder;
    BroadcastTX sender(kLoopback);
    BroadcastRX receiver;
    GsmDecoder decoder;
    Resampler resampler;
    WaveOut speaker;
    mic.link(&encoder);
    encoder.link(&sender);
    receiver.link(&decoder);
    decoder.link(&resampler);
    resampler.link(&speaker);

    for (int i = 0; i < 30; ++i) {   // the device list arrives shortly after connecting
        QCoreApplication::processEvents();
        if (!QMediaDevices::defaultAudioInput().isNull() && !QMediaDevices::defaultAudioOutput().isNull())
            break;
        QThread::msleep(100);
    }
    const int port = open_on_free_port(receiver, 28000);
    if (!port || !speaker.active()) {
        std::printf("mouth to ear skipped: %s\n", port ? "WaveOut found no output device" : "no free port");
        return 0;
    }
    sender.setPort(QString::number(port));
    if (!mic.open()) {
        std::printf("mouth to ear skipped: WaveIn found no input device\n");
        return 0;
    }
    QThread::msleep(2000);   // the chain settles, carrying the microphone's silence

    QProcess rec;
    const QString recorded = air.dir.filePath("air.raw");
    rec.setStandardOutputFile(recorded);
    rec.start("parec", {"--server=" + server, "--device=kelvo_air.monitor", "--format=s16le", "--rate=44100",
                        "--channels=2", "--raw"});
    if (!rec.waitForStarted(3000)) {
        std::printf("mouth to ear skipped: parec did not start\n");
        return 0;
    }
    // Bursts of 100 ms of 1 kHz, one a second, after half a second of silence.
    const int rate = 22050;
    std::vector<int16_t> mouth(std::size_t(rate) / 2 + std::size_t(bursts) * std::size_t(rate) + std::size_t(rate) / 2);
    for (int b = 0; b < bursts; ++b)
        for (int i = 0; i < rate / 10; ++i)
            mouth[std::size_t(rate / 2 + b * rate + i)] = int16_t(8000 * std::sin(2 * M_PI * 1000 * i / rate));
    QFile tone(air.dir.filePath("mouth.raw"));
    if (!tone.open(QIODevice::WriteOnly))
        return 1;
    tone.write(reinterpret_cast<const char*>(mouth.data()), qint64(mouth.size() * 2));
    tone.close();
    QProcess play;
    play.start("pacat", {"--server=" + server, "--device=kelvo_mouth", "--format=s16le", "--rate=22050",
                         "--channels=1", "--raw", tone.fileName()});
    if (!play.waitForFinished(10000 + bursts * 2000)) {
        std::printf("mouth to ear skipped: pacat did not finish\n");
        return 0;
    }
    QThread::msleep(1000);
    rec.terminate();
    rec.waitForFinished(3000);
    const qsizetype dropped = speaker.droppedBytes();
    const double target = speaker.targetMs();
    const qint64 underruns = speaker.underruns();
    mic.close();
    receiver.close();

    QFile heard(recorded);
    if (!heard.open(QIODevice::ReadOnly)) {
        std::printf("mouth to ear: no recording\n");
        return 1;
    }
    const QByteArray raw = heard.readAll();
    std::vector<int16_t> s(std::size_t(raw.size()) / 2);
    std::memcpy(s.data(), raw.constData(), s.size() * 2);
    const std::size_t quiet = 44100 / 5;   // 200 ms
    const auto left = onsets(s, 0, 2000, quiet), right = onsets(s, 1, 2000, quiet);
    std::vector<double> delays;
    for (std::size_t i = 0; i < left.size(); ++i) {
        const std::size_t until = i + 1 < left.size() ? left[i + 1] : s.size() / 2;
        for (std::size_t r : right)
            if (r >= left[i] && r < until) {
                delays.push_back(1000.0 * double(r - left[i]) / 44100.0);
                break;
            }
    }
    std::printf("recorded %.1f s; bursts played %d, seen at the mouth %zu, heard at the ear %zu; WaveOut dropped %lld bytes\n",
                double(s.size()) / 2 / 44100, bursts, left.size(), delays.size(), (long long)dropped);
    std::printf("WaveOut's jitter buffer: delay kept to %.1f ms at the end, stream ran dry %lld times\n", target,
                (long long)underruns);
    for (double d : delays)
        std::printf(" %.1f", d);
    std::printf(" ms\n");
    print_stats("mouth to ear (target median <= 60 ms)", stats(delays));
    return 0;
}
