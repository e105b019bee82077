// SPDX-License-Identifier: GPL-3.0-or-later
// Two stations in one process, each with its real voice chains, sender and receiver over loopback
// UDP, driven by their panel keys. No audio devices: the talker's tone goes straight into its
// encoder and the listener's resampler feeds a collecting sink instead of the loudspeaker.
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/voice_chains.h"
#include "qt_app.h"
#include "support/collect_sink.h"
#include "support/fakes.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;

bool port_free(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(std::uint16_t(port));
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A base port whose voice ports (channels 16 and 23, and 23's transmit port) are free.
int free_base_port()
{
    for (int base = 31000; base < 40000; base += 250)
        if (port_free(base + 16) && port_free(base + 23) && port_free(base + 123))
            return base;
    return 0;
}

// A station as the program builds it, its voice sent to loopback instead of the broadcast address.
struct LiveStation {
    EventLog log;
    FakeUi ui{log};
    FakeCues cues{log};
    FakeDatagrams dsc{log};
    FakeClock clock;
    FakeTimer rxTimer{log};
    BroadcastTX broadcastTX{kLoopback};
    BroadcastRX broadcastRX;
    CollectSink ear;   // stands in for the loudspeaker; outlives the chains that close it
    QObject uiThread;
    VoiceChains voice{VoiceNet{&broadcastTX, &broadcastRX,
                               [this](const QString& p) { broadcastTX.setPort(p); },
                               [this](const QString& p) { broadcastRX.setPort(p); },
                               [this] { return broadcastRX.port(); },
                               [this] { return broadcastRX.count(); },
                               [this](std::function<void()> f) { broadcastRX.setPayloadCallback(std::move(f)); }},
                      &uiThread};
    QTemporaryDir folder;
    IniSettings settingsFile{settings_path(folder.path())};
    Station station{StationPorts{ui, cues, dsc, clock, voice, rxTimer, settingsFile}};

    explicit LiveStation(int basePort)
    {
        QFile ini(folder.filePath("radiosim.ini"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(QByteArray("[radio]\r\nbase_port=") + QByteArray::number(basePort) + "\r\n");
        ini.close();
        voice.resamplerRX().link(&ear);
        station.create();
        station.show();
    }
    ~LiveStation() { station.close(); }

    bool pttEnabled() const { return station.panel().key(Key::btnAudio).enabled; }
    qsizetype heard() const { std::lock_guard l(ear.m); return ear.bytes.size(); }
    void forget() { std::lock_guard l(ear.m); ear.bytes.clear(); }
};

// Half a second of a tone into the talker's encoder, in 20 ms blocks a little faster than real time.
void speak(LiveStation& talker, double freq)
{
    const AudioFormat pcm{WAVE_FORMAT_PCM, 22050, 16, 1};
    const auto samples = tone::sine(freq, 22050, 22050 / 2);
    for (size_t at = 0; at + 441 <= samples.size(); at += 441) {
        talker.voice.codecTX().write(pcm, reinterpret_cast<const char*>(samples.data() + at), 441 * 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}

// Runs the user-interface events for `ms` or until `done` holds.
template <class Done>
bool settle(int ms, Done done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::processEvents();
    return done();
}

} // namespace

TEST(VoiceStations, TalkerIsHeardOnTheSameChannelOnlyAndLocksTheListenersPushToTalk)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/kelvo-no-server");
    ensure_qt_app();
    const int base = free_base_port();
    ASSERT_NE(base, 0);

    // The talker starts first and holds push-to-talk: its receiver closes (it never hears itself)
    // and the transmit chain opens behind the missing microphone.
    LiveStation talker(base);
    EXPECT_EQ(talker.station.panel().lbl_debug1, "RX aperta start");
    // Start-up puts the sender on channel 16 of the class's ports too.
    EXPECT_EQ(talker.broadcastTX.port(), base + 16);
    talker.station.mouseDown(Key::imgCH16, {});
    EXPECT_EQ(talker.station.panel().lbl_debug1, "RX aperta 16");
    talker.station.mouseDown(Key::btnAudio, {});
    EXPECT_EQ(talker.station.panel().lbl_debug1, "Errore apertura waveIN1");
    EXPECT_FALSE(talker.broadcastRX.active());
    ASSERT_TRUE(talker.broadcastTX.active());
    EXPECT_EQ(talker.broadcastTX.port(), base + 16);

    LiveStation listener(base);
    ASSERT_EQ(listener.station.panel().lbl_debug1, "RX aperta start");
    EXPECT_EQ(listener.station.current_voice_channel(), 16);
    EXPECT_TRUE(listener.pttEnabled());

    // Channel 16 on both: the tone arrives, and the receive indication locks push-to-talk.
    speak(talker, 700);
    EXPECT_TRUE(settle(3000, [&] { return listener.heard() > 60000 && !listener.pttEnabled(); }));
    EXPECT_EQ(listener.station.panel().led, LED_VOICE_RX);
    EXPECT_EQ(listener.station.panel().key(Key::btnAudio).picture, 3);
    EXPECT_TRUE(listener.rxTimer.on);
    EXPECT_GT(listener.station.panel().lbl_debug2.toLong(), 20);
    {
        auto x = tone::channel(listener.ear.samples(), 2, 0);
        x.erase(x.begin(), x.begin() + 4410);
        EXPECT_NEAR(tone::dominant(x, 44100), 700, 10);
    }
    listener.station.mouseDown(Key::btnAudio, {});   // disabled: no transmission over a voice
    EXPECT_TRUE(listener.broadcastRX.active());
    EXPECT_FALSE(listener.broadcastTX.active());
    EXPECT_EQ(listener.station.panel().led, LED_VOICE_RX);

    // The voice stops: two quiet ticks end the indication, the receiver reopens with a zero count.
    listener.station.timerTick();
    listener.station.timerTick();
    EXPECT_TRUE(listener.pttEnabled());
    EXPECT_EQ(listener.station.panel().led, LED_NONE);
    EXPECT_TRUE(listener.broadcastRX.active());
    EXPECT_EQ(listener.broadcastRX.count(), 0);

    // Selecting channel 16 again reopens the receiver: the count starts from 0 again.
    speak(talker, 700);
    ASSERT_TRUE(settle(3000, [&] { return listener.broadcastRX.count() > 20; }));
    listener.station.mouseDown(Key::imgCH16, {});
    EXPECT_EQ(listener.station.panel().lbl_debug1, "RX aperta 16");
    EXPECT_TRUE(listener.broadcastRX.active());
    EXPECT_EQ(listener.broadcastRX.count(), 0);
    listener.station.timerTick();
    listener.station.timerTick();
    EXPECT_TRUE(listener.pttEnabled());

    // 16 against 23: nothing reaches the listener, and its push-to-talk stays free.
    listener.station.mouseDown(Key::imgCH23, {});
    EXPECT_EQ(listener.station.panel().lbl_debug1, "RX aperta 23");
    EXPECT_EQ(listener.broadcastRX.port(), base + 23);
    EXPECT_EQ(listener.broadcastTX.port(), base + 123);
    listener.forget();
    const auto talkerUnheard = [&] {
        speak(talker, 700);
        settle(300, [] { return false; });
        EXPECT_EQ(listener.broadcastRX.count(), 0);
        EXPECT_EQ(listener.heard(), 0);
        EXPECT_TRUE(listener.pttEnabled());
    };
    talkerUnheard();

    // 23 on both: a duplex channel sends 100 ports above where it listens, so they do not hear
    // each other. (In one process the talker's own receiver cannot take the listener's port;
    // that has no bearing on what it sends.)
    talker.station.mouseUp(Key::btnAudio, {});
    talker.station.mouseDown(Key::imgCH23, {});
    EXPECT_EQ(talker.station.current_voice_channel(), 23);
    talker.station.mouseDown(Key::btnAudio, {});
    ASSERT_TRUE(talker.broadcastTX.active());
    EXPECT_EQ(talker.broadcastTX.port(), base + 123);
    talkerUnheard();
    talker.station.mouseUp(Key::btnAudio, {});
    EXPECT_FALSE(talker.broadcastTX.active());
}
