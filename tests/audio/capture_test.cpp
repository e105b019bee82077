// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone stage on a private PulseAudio server: kept ready between talks, quick to open,
// silent once closed, and back after its source or the whole server went away.
#include "audio/wave_in.h"
#include "support/private_pulse.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Counts what reaches it, open or not: a closed microphone must not hand on anything.
struct BlockCounter : Stage {
    std::atomic<long> bytes{0};
    bool active() const override { return true; }
    void write(const AudioFormat& f, const char*, qsizetype size) override
    {
        if (f == WaveIn::capture_format)
            bytes += size;
    }

protected:
    bool doOpen() override { return true; }
    void doClose() override {}
};

bool waitFor(const std::function<bool()>& done, int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

void pactl(const PrivatePulse& pulse, const QStringList& args)
{
    QProcess p;
    p.start("pactl", QStringList{"--server=" + pulse.address()} + args);
    ASSERT_TRUE(p.waitForFinished(5000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

} // namespace

TEST(VoiceMicrophone, KeptReadyOpensAtOnceAndComesBackAfterItsSourceOrServerWentAway)
{
    PrivatePulse pulse;
    QString why;
    // A loudspeaker too, playing: without a source, the server offers its monitor, which is no
    // microphone.
    if (!pulse.start("load-module module-null-sink sink_name=kelvo_speaker\n"
                     "load-module module-sine sink=kelvo_speaker frequency=1000\n"
                     "load-module module-null-source source_name=kelvo_mic rate=22050\n"
                     "set-default-source kelvo_mic\n",
                     &why, {"pactl"}))
        GTEST_SKIP() << why.toStdString();

    WaveIn mic(pulse.address());
    BlockCounter heard;
    mic.link(&heard);
    ASSERT_TRUE(mic.waitReady(5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(heard.bytes, 0) << "a microphone kept ready hands on nothing";

    // Open: no wait for the stream, and blocks within a few of their own length (generous here,
    // the benchmark has the figure).
    auto t0 = Clock::now();
    ASSERT_TRUE(mic.open());
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(100));
    EXPECT_TRUE(waitFor([&] { return heard.bytes > 0; }, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Close: nothing more, at once.
    mic.close();
    const long atClose = heard.bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(heard.bytes, atClose);
    EXPECT_GT(atClose, 22050 * 2 / 10) << "about 200 ms of 22050 Hz mono 16-bit";

    // The microphone goes in the middle of a talk: the server moves the stream to the loudspeaker's
    // monitor, which is no microphone: nothing of it goes on, and push-to-talk then finds no
    // microphone, as on a station that has none.
    ASSERT_TRUE(mic.open());
    EXPECT_TRUE(waitFor([&] { return heard.bytes > atClose; }, 1000));
    pactl(pulse, {"unload-module", "module-null-source"});
    EXPECT_TRUE(waitFor([&] { return !mic.ready(); }, 2000));
    // (A null sink left to itself works in blocks of two seconds: its monitor's first block may
    // take that long.)
    const long afterMove = heard.bytes;
    EXPECT_FALSE(waitFor([&] { return heard.bytes > afterMove; }, 2500)) << "the loudspeaker's monitor went on the air";
    mic.close();
    EXPECT_FALSE(mic.open());
    EXPECT_FALSE(mic.active());
    mic.close();

    // A microphone again: the next open connects anew.
    pactl(pulse, {"load-module", "module-null-source", "source_name=kelvo_mic2"});
    pactl(pulse, {"set-default-source", "kelvo_mic2"});
    heard.bytes = 0;
    ASSERT_TRUE(mic.open());
    EXPECT_TRUE(waitFor([&] { return heard.bytes > 0; }, 1000));
    mic.close();

    // The server restarts while nobody talks: the next open connects to the new one.
    ASSERT_TRUE(pulse.restart(&why)) << why.toStdString();
    heard.bytes = 0;
    ASSERT_TRUE(mic.open());
    EXPECT_TRUE(waitFor([&] { return heard.bytes > 0; }, 1000));
    mic.close();
    EXPECT_TRUE(waitFor([&] { return mic.ready(); }, 1000)) << "kept ready again, corked";
}
