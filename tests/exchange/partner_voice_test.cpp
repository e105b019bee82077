// SPDX-License-Identifier: GPL-3.0-or-later
// A practice partner's spoken answer, taken in by a station's receive chain on channel 77: on the
// wire and through the decoder (named Voice... so that the thread-sanitizer stage runs it), and
// out of the loudspeaker of a private sound server (not under the thread sanitizer: starting the
// server and the recorder in the test's process hides that thread's locks from it).
#include "audio/broadcast_rx.h"
#include "audio/gsm_codec.h"
#include "audio/qt_app.h"
#include "audio/resampler.h"
#include "audio/wave_out.h"
#include "exchange/virtual_station.h"
#include "exchange/voice_sender.h"
#include "support/collect_sink.h"
#include "support/private_pulse.h"
#include "support/udp_ports.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>

using namespace exchange;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr int kPauseMs = 400;

// Keeps the decoded speech and hands it on to the rest of the chain, if any.
using Ear = CollectSink;
constexpr CollectSink::Options kEar{.keepWhileClosed = true, .passOn = true};

struct Heard {
    std::optional<PartnerVoice::Said> said;
    Clock::time_point answeredAt;
    std::vector<Clock::time_point> arrivals;   // of the payloads the receiver delivered
    long count = 0, lost = 0;
    bool playing = false;                      // the stage after the ear was open to the end
};

// A coast station acknowledges a call on channel 77 and speaks; a station's receiver and decoder
// on 77 take it in, the decoded speech going through `ear` to `playback` (if any).
void partner_speaks(Ear& ear, Stage* playback, Heard& heard)
{
    BroadcastRX rx;
    GsmDecoder decoder;
    rx.link(&decoder);
    decoder.link(&ear);
    ear.link(playback);
    std::mutex arrivalsLock;
    rx.setPayloadCallback([&] {
        std::lock_guard l(arrivalsLock);
        heard.arrivals.push_back(Clock::now());
    });
    int base = 0;
    for (int b = 27400; b < 27900 && !base; b += 7) {
        if (!udp_ports::is_free(b + 77))
            continue;
        rx.setPort(QString::number(b + 77));
        if (rx.open())
            base = b;
    }
    ASSERT_NE(base, 0);

    PartnerVoice::Setup setup;
    setup.destinations = {kLoopback};
    setup.basePort = base;
    setup.pauseMs = kPauseMs;
    PartnerVoice voice(setup, PartnerPhrases::parse("individual_ack = {mmsi}, {name}. Channel {channel}.", nullptr),
                       {});
    if (!voice.canSpeak())
        GTEST_SKIP() << "no espeak-ng voice data";
    std::mutex saidLock;
    std::condition_variable saidCv;
    voice.setSaid([&](const PartnerVoice::Said& s) {
        std::lock_guard l(saidLock);
        heard.said = s;
        saidCv.notify_all();
    });

    VirtualStation coast, trainee;
    coast.kind = VirtualStation::Coast;
    coast.name = "Coast Radio";
    coast.mmsi = "002470001";
    trainee.mmsi = "274111001";
    dsc::DscRecord call;
    dsc::Decodifica_stringa(individual_call(trainee, coast.mmsi, dsc::CAT_ROUTINE, 77), call);
    heard.answeredAt = Clock::now();
    voice.answered(*answer(coast, call, QTime(9, 41)), coast.name);
    {
        std::unique_lock l(saidLock);
        ASSERT_TRUE(saidCv.wait_for(l, std::chrono::seconds(30), [&] { return heard.said.has_value(); }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));   // the last packets on their way, and played
    heard.playing = playback && playback->active();
    rx.close();
    heard.count = rx.count();
    heard.lost = rx.lost();
    std::lock_guard l(arrivalsLock);
}

double seconds_spoken(const Heard& h) { return double(h.said->samples) / h.said->rate; }

} // namespace

TEST(VoicePartners, ASpokenAnswerReachesAReceiverOnTheWorkingChannel)
{
    Ear ear(kEar);
    Heard heard;
    partner_speaks(ear, nullptr, heard);
    if (HasFatalFailure() || IsSkipped())
        return;

    EXPECT_EQ(heard.said->channel, 77);
    EXPECT_EQ(heard.said->text, "Two seven four one one one zero zero one, Coast Radio. Channel seven seven.");
    const double spoken = seconds_spoken(heard);
    ASSERT_GT(spoken, 1.5) << "espeak-ng said next to nothing";

    // Every datagram passed the receiver's checks: each was a payload or one of the announcements
    // that lead every 17 packets, none came out of sequence.
    ASSERT_FALSE(heard.arrivals.empty());
    const long payloads = long(heard.arrivals.size());
    EXPECT_EQ(heard.count, payloads + (payloads + 16) / 17);
    EXPECT_EQ(heard.lost, 0);

    // After the pause, paced as speech: no burst, no stall.
    const double pause = std::chrono::duration<double>(heard.arrivals.front() - heard.answeredAt).count();
    EXPECT_GE(pause, kPauseMs / 1000.0);
    EXPECT_LT(pause, 3.0);
    const double spread = std::chrono::duration<double>(heard.arrivals.back() - heard.arrivals.front()).count();
    EXPECT_GT(spread, 0.85 * spoken);
    EXPECT_LT(spread, 1.3 * spoken + 0.5);

    // The decoder makes speech of it: the whole phrase, far above silence.
    for (const AudioFormat& f : ear.formats)
        EXPECT_EQ(f, (AudioFormat{WAVE_FORMAT_PCM, gsm_rate, 16, 1}));
    const std::vector<std::int16_t> pcm = ear.samples();
    const double decoded = double(pcm.size()) / gsm_rate;
    EXPECT_GT(decoded, 0.95 * spoken);
    EXPECT_LT(decoded, 1.02 * spoken + 0.05);
    double energy = 0;
    for (std::int16_t s : pcm)
        energy += double(s) * s;
    const double rms = std::sqrt(energy / double(pcm.size()));
    EXPECT_GT(rms, 800) << "decoded speech of rms " << rms;
}

// What the trainee hears: the phrase starts after the pause (and the playback's delay) and lasts
// as long as it was spoken.
TEST(PartnerSound, TheTraineeHearsThePhraseAfterThePause)
{
    PrivatePulse pulse;
    QString why;
    if (!pulse.start("load-module module-null-sink sink_name=kelvo_sink\nset-default-sink kelvo_sink\n", &why,
                     {"parec"}))
        GTEST_SKIP() << why.toStdString();
    qputenv("PULSE_SERVER", pulse.address().toUtf8());   // before the stages connect
    const QString recorded = pulse.dir.filePath("heard.raw");
    QProcess rec;
    rec.setStandardOutputFile(recorded);
    rec.start("parec", {"--server=" + pulse.address(), "--device=kelvo_sink.monitor", "--format=s16le",
                        "--rate=44100", "--channels=1", "--raw", "--latency-msec=20"});
    ASSERT_TRUE(rec.waitForStarted(3000));
    for (int i = 0; i < 150 && QFileInfo(recorded).size() < 8820; ++i)   // recording for 0.1 s at least
        QThread::msleep(20);
    ensure_qt_app();
    for (int i = 0; i < 30 && QMediaDevices::defaultAudioOutput().isNull(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }

    Ear ear(kEar);
    Resampler resampler;
    WaveOut speaker;
    resampler.link(&speaker);
    Heard heard;
    const qint64 recordedBefore = QFileInfo(recorded).size();   // about when the partner answers
    partner_speaks(ear, &resampler, heard);
    if (HasFatalFailure() || IsSkipped())
        return;
    rec.terminate();
    rec.waitForFinished(3000);
    ASSERT_TRUE(heard.playing) << "the playback stage did not open on the private server";

    QFile file(recorded);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray raw = file.readAll();
    const auto* x = reinterpret_cast<const std::int16_t*>(raw.constData());
    const qsizetype n = raw.size() / 2, atAnswer = recordedBefore / 2;
    qsizetype first = atAnswer, last = -1;
    while (first < n && std::abs(x[first]) < 1000)
        ++first;
    for (qsizetype i = first; i < n; ++i)
        if (std::abs(x[i]) >= 1000)
            last = i;
    ASSERT_GT(last, first) << "nothing was heard";
    const double onset = double(first - atAnswer) / 44100, heardFor = double(last - first) / 44100;
    const double spoken = seconds_spoken(heard);
    EXPECT_GT(onset, kPauseMs / 1000.0);
    EXPECT_LT(onset, kPauseMs / 1000.0 + 1.0);
    EXPECT_GT(heardFor, 0.7 * spoken);   // espeak-ng's trailing silence is not heard
    EXPECT_LT(heardFor, 1.1 * spoken);
}

// A channel that never falls quiet: the partner gives up after its bound, says so, and says nothing.
TEST(VoicePartners, APartnerGivesUpOnAChannelThatNeverFallsQuiet)
{
    PartnerVoice::Setup setup;
    setup.destinations = {kLoopback};
    setup.basePort = 27400;
    setup.pauseMs = 0;
    setup.giveUpMs = 300;
    std::mutex m;
    std::condition_variable cv;
    QStringList notices;
    bool said = false;
    PartnerVoice voice(setup, PartnerPhrases::parse("individual_ack = {name}.", nullptr), [&](const QString& n) {
        std::lock_guard l(m);
        notices << n;
        cv.notify_all();
    });
    if (!voice.canSpeak())
        GTEST_SKIP() << "no espeak-ng voice data";
    voice.setChannelWatch([](int) { return std::optional(Clock::now()); });   // a voice all along
    voice.setSaid([&](const PartnerVoice::Said&) {
        std::lock_guard l(m);
        said = true;
    });
    VirtualStation coast, trainee;
    coast.kind = VirtualStation::Coast;
    coast.name = "Coast Radio";
    coast.mmsi = "002470001";
    trainee.mmsi = "274111001";
    dsc::DscRecord call;
    dsc::Decodifica_stringa(individual_call(trainee, coast.mmsi, dsc::CAT_ROUTINE, 77), call);
    voice.answered(*answer(coast, call, QTime(9, 41)), coast.name);
    std::unique_lock l(m);
    ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(20), [&] { return !notices.isEmpty(); }));
    EXPECT_TRUE(notices[0].startsWith("Coast Radio gives up on channel 77")) << notices[0].toStdString();
    EXPECT_FALSE(said);
}
