// SPDX-License-Identifier: GPL-3.0-or-later
// Send: a recorded message goes out through the station's transmit chain like live speech.
#include "audio/player.h"
#include "audio/voice_chains.h"
#include "audio/wave_read.h"
#include "player_window_fake.h"
#include "qt_app.h"
#include "support/collect_sink.h"
#include "tone.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QTemporaryDir>
#include <QThread>

namespace {

void writeTone(const QString& path, int rate, int channels, int format, double freq)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const auto mono = tone::sine(freq, rate, rate / 2);
    std::vector<int16_t> pcm;
    for (int16_t s : mono)
        for (int c = 0; c < channels; ++c)
            pcm.push_back(s);
    sf_writef_short(f, pcm.data(), sf_count_t(mono.size()));
    sf_close(f);
}

} // namespace

TEST(PlayerSend, TheFileIsHeardOnTheChannelWithItsOwnToneWhileTheOwnReceiverStaysClosed)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/kelvo-no-server");
    ensure_qt_app();
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("example");
    struct Case { const char* name; int rate, channels, format; double freq; };
    const Case cases[] = {{"stereo44.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 700},
                          {"mono8.wav", 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1200},
                          {"gsm.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_GSM610, 500}};
    for (const Case& c : cases)
        writeTone(dir.filePath(QString("example/") + c.name), c.rate, c.channels, c.format, c.freq);

    CollectSink ownReceiver;   // stands in for the station's own receiver
    CollectSink channel; // what the voice sender puts on the air
    VoiceNet net;
    net.sender = &channel;
    net.receiver = &ownReceiver;
    QObject ui;
    VoiceChains station(net, &ui);
    WaveRead waveRead1;
    waveRead1.link(&station.resampler2());
    StagePlayerChains chains(&station.waveIN1(), &waveRead1, &station.codecTX(), &station.resampler2(),
                             &station.waveOUT2(), [&] { station.openReceiver(); },
                             [&] { station.closeReceiver(); });
    station.openReceiver();
    FakeWindow window;
    PlayerLogic player(window, chains, dir.path());
    player.FormShow();
    EXPECT_FALSE(ownReceiver.active());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.selected = c.name;
        player.btn_sendClick();
        EXPECT_TRUE(channel.active());
        player.timer_playerTimer();
        EXPECT_EQ(window.captions.back(), "Audio Player ( Broadcast )");
        for (int i = 0; i < 300 && waveRead1.active(); ++i)
            QThread::msleep(10);
        QThread::msleep(50);
        const QByteArray air = channel.bytes;
        player.timer_playerTimer(); // the end of the file: back to idle
        EXPECT_EQ(window.captions.back(), "Audio Player");
        EXPECT_FALSE(channel.active());
        EXPECT_FALSE(ownReceiver.active());
        EXPECT_EQ(station.waveIN1().next(), &station.codecTX());
        EXPECT_EQ(waveRead1.next(), &station.resampler2());

        // A receiving station decodes what went out.
        ASSERT_FALSE(channel.formats.empty());
        EXPECT_EQ(channel.formats.back(), GsmEncoder::output_format);
        GsmDecoder decoder;
        CollectSink ear;
        decoder.link(&ear);
        decoder.open();
        decoder.write(GsmEncoder::output_format, air.constData(), air.size() / 65 * 65);
        auto x = tone::channel(ear.samples(), ear.formats.empty() ? 1 : ear.formats.back().channels, 0);
        ASSERT_GT(x.size(), 8000u);
        const int rate = ear.formats.back().rate;
        x.erase(x.begin(), x.begin() + rate / 20);
        EXPECT_NEAR(tone::dominant(x, rate), c.freq, 20);
        decoder.close();
        std::lock_guard l(channel.m);
        channel.bytes.clear();
        channel.formats.clear();
    }
    player.FormClose();
    EXPECT_TRUE(ownReceiver.active());
}
