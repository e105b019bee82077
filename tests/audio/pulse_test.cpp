// SPDX-License-Identifier: GPL-3.0-or-later
// Real devices: a private PulseAudio server with two null devices. A tone played into the
// "microphone" device is captured, GSM coded and decoded, resampled and played; the loudspeaker
// device's monitor must carry the tone.
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "qt_app.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QAudioDevice>
#include <QMediaDevices>
#include <cstring>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "support/private_pulse.h"
#include "support/udp_ports.h"

namespace {

const char* const kDevices =
    "load-module module-null-sink sink_name=kelvo_mic\n"
    "load-module module-null-sink sink_name=kelvo_sink\n"
    // Qt lists no monitor sources: a remapped one stands in for the microphone.
    "load-module module-remap-source master=kelvo_mic.monitor source_name=kelvo_mic_in\n"
    "set-default-sink kelvo_sink\n"
    "set-default-source kelvo_mic_in\n";

// The sound tests fork a server and a recorder; a program whose earlier tests have started
// threads is a poor place for that (the thread sanitizer loses their locks), so once an earlier
// test of this program has set up Qt, this test runs again as a child process of its own, whose
// outcome is reported here.
enum class Child { NotNeeded, Ran, Skipped };
Child run_in_fresh_process()
{
    if (!QCoreApplication::instance() || qEnvironmentVariableIsSet("KELVO_PULSE_CHILD"))
        return Child::NotNeeded;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KELVO_PULSE_CHILD", "1");
    env.remove("PULSE_SERVER");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setWorkingDirectory(QDir::tempPath());   // earlier tests may have left a removed folder current
    child.start(QFile::symLinkTarget("/proc/self/exe"),
                {QString("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name())});
    const bool finished = child.waitForFinished(60000);
    const QByteArray out = child.readAll();
    if (!finished) {
        child.kill();
        child.waitForFinished(1000);
    }
    EXPECT_TRUE(finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        << out.toStdString();
    return out.contains("[  SKIPPED ]") ? Child::Skipped : Child::Ran;
}

} // namespace

TEST(VoicePulse, ToneThroughCaptureCodecAndPlayback)
{
    if (QStandardPaths::findExecutable("pulseaudio").isEmpty() || QStandardPaths::findExecutable("pacat").isEmpty())
        GTEST_SKIP() << "pulseaudio (with pacat/parec) is not installed";
    switch (run_in_fresh_process()) {
    case Child::NotNeeded: break;
    case Child::Ran: return;
    case Child::Skipped: GTEST_SKIP() << "skipped in the child process";
    }
    PrivatePulse pulse;
    QString why;
    ASSERT_TRUE(pulse.start(kDevices, &why)) << why.toStdString();
    const QString server = pulse.address();
    qputenv("PULSE_SERVER", server.toUtf8());   // before the stages connect
    ensure_qt_app();

    // Record the loudspeaker side.
    const QString recorded = pulse.dir.filePath("heard.raw");
    QProcess rec;
    rec.setStandardOutputFile(recorded);
    rec.start("parec", {"--server=" + server, "--device=kelvo_sink.monitor", "--format=s16le",
                        "--rate=44100", "--channels=1", "--raw"});
    ASSERT_TRUE(rec.waitForStarted(3000));

    WaveIn mic;
    GsmEncoder enc;
    GsmDecoder dec;
    Resampler rs;
    WaveOut speaker;
    mic.link(&enc);
    enc.link(&dec);
    dec.link(&rs);
    rs.link(&speaker);
    bool opened = false;
    for (int i = 0; i < 20 && !opened; ++i) {   // the device list arrives shortly after connecting
        QCoreApplication::processEvents();
        opened = !QMediaDevices::defaultAudioInput().isNull() && mic.open();
        if (!opened) {
            mic.close();
            QThread::msleep(100);
        }
    }
    ASSERT_TRUE(opened);
    ASSERT_TRUE(speaker.active());

    // Play three seconds of 1 kHz into the microphone device.
    const auto pcm = tone::sine(1000, 22050, 3 * 22050);
    const QString source = pulse.dir.filePath("tone.raw");
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(pcm.data()), qint64(pcm.size() * 2));
    f.close();
    QProcess play;
    play.start("pacat", {"--server=" + server, "--device=kelvo_mic", "--format=s16le", "--rate=22050",
                         "--channels=1", "--raw", source});
    ASSERT_TRUE(play.waitForFinished(10000));
    QThread::msleep(500);
    mic.close();
    rec.terminate();
    rec.waitForFinished(3000);

    QFile heard(recorded);
    ASSERT_TRUE(heard.open(QIODevice::ReadOnly));
    const QByteArray raw = heard.readAll();
    std::vector<int16_t> s(size_t(raw.size()) / 2);
    if (!s.empty())
        std::memcpy(s.data(), raw.constData(), s.size() * 2);
    auto x = tone::channel(s, 1, 0);
    // Keep the loud part: the tone arrives after the device buffers.
    size_t first = 0;
    while (first < x.size() && std::abs(x[first]) < 1000)
        ++first;
    ASSERT_LT(first + 44100, x.size()) << "no tone reached the loudspeaker";
    std::vector<double> part(x.begin() + std::ptrdiff_t(first + 4410), x.begin() + std::ptrdiff_t(first + 44100));
    EXPECT_NEAR(tone::dominant(part, 44100), 1000, 10);
    EXPECT_GT(tone::median_block_snr_db(part, 1000, 44100, 2205), 6.0);   // 50 ms blocks
}

// What a trainee hears after hostile announcements: GSM "at 1 Hz", "at 8 Hz" and beyond the rates
// a voice has, each with payloads up to a full datagram, go to the real playback stage on a
// private sound server; the station stays silent, then the next good stream is heard.
TEST(VoicePulse, HostileFormatsAreSilentAndTheNextStreamIsHeard)
{
    if (QStandardPaths::findExecutable("pulseaudio").isEmpty() || QStandardPaths::findExecutable("parec").isEmpty())
        GTEST_SKIP() << "pulseaudio (with parec) is not installed";
    switch (run_in_fresh_process()) {
    case Child::NotNeeded: break;
    case Child::Ran: return;
    case Child::Skipped: GTEST_SKIP() << "skipped in the child process";
    }
    PrivatePulse pulse;
    QString why;
    ASSERT_TRUE(pulse.start("load-module module-null-sink sink_name=kelvo_sink\nset-default-sink kelvo_sink\n", &why))
        << why.toStdString();
    const QString server = pulse.address();
    qputenv("PULSE_SERVER", server.toUtf8());
    ensure_qt_app();
    // Recording starts before the stages start their threads (a fork after them is not for the
    // thread sanitizer).
    const QString recorded = pulse.dir.filePath("heard.raw");
    QProcess rec;
    rec.setStandardOutputFile(recorded);
    rec.start("parec", {"--server=" + server, "--device=kelvo_sink.monitor", "--format=s16le", "--rate=44100",
                        "--channels=1", "--raw", "--latency-msec=20"});
    ASSERT_TRUE(rec.waitForStarted(3000));
    for (int i = 0; i < 150 && QFileInfo(recorded).size() < 8820; ++i)   // recording for 0.1 s at least
        QThread::msleep(20);
    ASSERT_GE(QFileInfo(recorded).size(), 8820) << "parec records nothing";

    for (int i = 0; i < 30 && QMediaDevices::defaultAudioOutput().isNull(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }

    GsmEncoder enc;
    BroadcastTX tx(0x7F000001u);
    BroadcastRX rx;
    GsmDecoder dec;
    Resampler rs;
    WaveOut speaker;
    enc.link(&tx);
    rx.link(&dec);
    dec.link(&rs);
    rs.link(&speaker);
    int port = 0;
    for (int p = 27500; p < 27600 && !port; ++p) {
        if (!udp_ports::is_free(p))
            continue;
        rx.setPort(QString::number(p));
        if (rx.open())
            port = p;
    }
    ASSERT_NE(port, 0);
    ASSERT_TRUE(speaker.active());
    tx.setPort(QString::number(port));

    // The sender announces whatever format it is handed.
    ASSERT_TRUE(tx.open());
    const QByteArray junk(16383, '\x21');
    for (int rate : {1, 8, 3999, 48001, 65535})
        for (qsizetype size : {65, 1300, 1365, 16383})
            tx.write(AudioFormat{WAVE_FORMAT_GSM610, rate, 0, 1}, junk.constData(), size);
    QThread::msleep(500);
    EXPECT_TRUE(rx.active());
    EXPECT_GE(rx.count(), 5 * 4);
    tx.close();

    // The next talk: one second of 1 kHz, in 20 ms blocks at the pace of a microphone.
    ASSERT_TRUE(enc.open());
    const auto pcm = tone::sine(1000, 22050, 22050);
    for (size_t at = 0; at < pcm.size(); at += 441) {
        enc.write(AudioFormat{WAVE_FORMAT_PCM, 22050, 16, 1}, reinterpret_cast<const char*>(pcm.data() + at),
                  qsizetype(std::min<size_t>(441, pcm.size() - at) * 2));
        QThread::msleep(20);
    }
    QThread::msleep(400);
    enc.close();
    rx.close();
    rec.terminate();
    rec.waitForFinished(3000);

    QFile heard(recorded);
    ASSERT_TRUE(heard.open(QIODevice::ReadOnly));
    const QByteArray raw = heard.readAll();
    std::vector<int16_t> s(size_t(raw.size()) / 2);
    if (!s.empty())
        std::memcpy(s.data(), raw.constData(), s.size() * 2);
    const auto x = tone::channel(s, 1, 0);
    size_t first = 0;
    while (first < x.size() && std::abs(x[first]) < 1000)
        ++first;
    // Silence while the hostile streams came (0.6 s and more of the recording), then the tone.
    EXPECT_GT(first, size_t(44100 / 2)) << "something was heard before the good stream";
    ASSERT_LT(first + 22050, x.size()) << "the good stream was not heard";
    std::vector<double> part(x.begin() + std::ptrdiff_t(first + 4410), x.begin() + std::ptrdiff_t(first + 22050));
    EXPECT_NEAR(tone::dominant(part, 44100), 1000, 10);
}

// Channel keys, push-to-talk and the end of every reception close and open the loudspeakers many
// times while audio keeps coming. Sinks made and deleted in quick turns on the two loudspeaker
// threads took Qt's sound back end down within seconds (a station gone in the middle of a class).
TEST(VoicePulse, LoudspeakersOpenedAndClosedInQuickTurnsWhileAudioComesKeepTheStationAlive)
{
    if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
        GTEST_SKIP() << "pulseaudio is not installed";
    switch (run_in_fresh_process()) {
    case Child::NotNeeded: break;
    case Child::Ran: return;
    case Child::Skipped: GTEST_SKIP() << "skipped in the child process";
    }
    PrivatePulse pulse;
    QString why;
    ASSERT_TRUE(pulse.start("load-module module-null-sink sink_name=kelvo_sink\nset-default-sink kelvo_sink\n", &why))
        << why.toStdString();
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    ensure_qt_app();
    WaveOut speakers[2];
    static const char block[4 * 441] = {};   // 10 ms of silence
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 4000) {
        WaveOut& s = speakers[next() % 2];
        switch (next() % 10) {
        case 0: s.open(); break;
        case 1: s.close(); break;
        default: s.write(WaveOut::playback_format, block, sizeof block); break;
        }
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    EXPECT_TRUE(speakers[0].open() && speakers[0].active());
}
