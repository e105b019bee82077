// SPDX-License-Identifier: GPL-3.0-or-later
// Push-to-talk on the real window with the real voice chains: a private PulseAudio server plays a
// tone into the microphone, and a receiver on the send port stands for the other stations.
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gsm_codec.h"
#include "audio/gui/form_player.h"
#include "audio/player.h"
#include "support/collect_sink.h"
#include "audio/tone.h"
#include "audio/voice_net.h"
#include "audio/voice_packet.h"
#include "audio/wave_read.h"
#include "support/private_pulse.h"
#include "support/udp_ports.h"
#include "support/station_window.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr int kToneHz = 440;

// A receiver on the first free port from `from`, its payloads decoded into `heard`; the arrival
// of the first payload is noted.
struct Listener {
    explicit Listener(int from)
    {
        rx.link(&decoder);
        decoder.link(&heard);
        rx.setPayloadCallback([this] {
            if (!firstAt.load().time_since_epoch().count())
                firstAt = Clock::now();
        });
        for (int p = from; p < from + 200 && !port; ++p) {
            if (!udp_ports::is_free(p))
                continue;
            rx.setPort(QString::number(p));
            if (rx.open())
                port = p;
        }
    }
    ~Listener() { rx.close(); }
    BroadcastRX rx;
    GsmDecoder decoder;
    CollectSink heard;
    std::atomic<Clock::time_point> firstAt{};
    int port = 0;
};

// The station window with its real voice chains (sending to loopback) and the real message player.
struct TalkingWindow : StationWindow {
    explicit TalkingWindow(const QString& soundServer, int basePort)
        : chains(voice_net(broadcastTX, broadcastRX), &guiApp(), soundServer)
    {
        QFile ini(dir.filePath("radiosim.ini"));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[radio]\nbase_port=" + QByteArray::number(basePort) + "\n");
        ini.close();
        waveRead1.link(&chains.resampler2());
        chains.resampler2().link(&chains.waveOUT2());
        open(testOptions(), {}, nullptr, &chains);
        form->setOpenPlayer([this] { run_message_player(form.get(), playerChains, dir.path()); });
        showExposed();
        settle(300);   // the first showing opens the receiver after its pause
    }
    ~TalkingWindow()
    {
        form.reset();
        waveRead1.close();
    }

    QPoint talkKey() const { return centre(Key::btnAudio); }
    const KeyView& key() const { return form->station().panel().key(Key::btnAudio); }

    BroadcastTX broadcastTX{kLoopback};
    BroadcastRX broadcastRX;
    VoiceChains chains;
    WaveRead waveRead1;
    StagePlayerChains playerChains{&chains.waveIN1(), &waveRead1, &chains.codecTX(), &chains.resampler2(),
                                   &chains.waveOUT2(), [this] { chains.openReceiver(); },
                                   [this] { chains.closeReceiver(); }};
};

int differing(const QImage& a, const QImage& b, const QRect& r)
{
    if (a.size() != b.size())
        return r.width() * r.height();
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

} // namespace

TEST(PushToTalkWindow, PressPutsTheMicrophoneOnTheAirAndReleaseTakesItOff)
{
    PrivatePulse pulse;
    QString why;
    // The microphone hears a tone played into a null device (a source remapped from its monitor).
    if (!pulse.start(QStringLiteral("load-module module-null-sink sink_name=kelvo_air rate=22050 channels=1\n"
                                    "load-module module-sine sink=kelvo_air frequency=%1\n"
                                    "load-module module-remap-source master=kelvo_air.monitor source_name=kelvo_mic\n"
                                    "set-default-source kelvo_mic\n")
                         .arg(kToneHz),
                     &why))
        GTEST_SKIP() << why.toStdString();
    Listener air(31500);
    ASSERT_NE(air.port, 0);
    TalkingWindow w(pulse.address(), 31300);
    w.broadcastTX.setPort(QString::number(air.port));
    ASSERT_TRUE(w.chains.waveIN1().waitReady(5000)) << "the microphone stream is kept ready from the start";
    ASSERT_TRUE(w.chains.receiverActive());

    const auto pressed = Clock::now();
    QTest::mousePress(w.form.get(), Qt::LeftButton, {}, w.talkKey());
    EXPECT_EQ(w.form->station().panel().lbl_debug1, QStringLiteral("waveIn1 aperto"));
    EXPECT_FALSE(w.chains.receiverActive()) << "a station never hears itself";
    w.settle(800);
    // While talking the key shows its pressed picture, on the screen as in the model.
    EXPECT_EQ(w.key().picture, 5);
    EXPECT_EQ(differing(w.shown(), w.model(), w.form->rect()), 0);
    const auto releasing = Clock::now();
    QTest::mouseRelease(w.form.get(), Qt::LeftButton, {}, w.talkKey());

    // The first words are on the air soon after the press's 200 ms pause (the bound is generous:
    // the benchmark has the figure).
    const Clock::time_point first = air.firstAt;
    ASSERT_NE(first.time_since_epoch().count(), 0) << "no voice datagram reached the send port";
    EXPECT_LT(first - pressed, std::chrono::milliseconds(700));
    // What went out is the microphone's tone, for about the time the key was held.
    const std::vector<double> heard = tone::channel(air.heard.samples(), 1, 0);
    const double heldSeconds = std::chrono::duration<double>(releasing - pressed).count() - 0.2;
    EXPECT_GT(double(heard.size()), 0.7 * heldSeconds * 22050);
    EXPECT_LT(double(heard.size()), 1.1 * heldSeconds * 22050 + 2 * 320);
    EXPECT_NEAR(tone::dominant(heard, 22050), kToneHz, 10);
    EXPECT_GT(tone::median_block_snr_db(heard, kToneHz, 22050, 2205), 10.0);

    // Released: nothing more goes out, and the receiver listens again.
    const qsizetype atRelease = air.heard.bytes.size();
    w.settle(300);
    EXPECT_EQ(air.heard.bytes.size(), atRelease);
    EXPECT_EQ(w.key().picture, 4);
    EXPECT_TRUE(w.chains.receiverActive());
}

// With a real mouse, the release of an Alt press happens while the modal player is up and never
// reaches the station: the player's closing stands for it.
TEST(PushToTalkWindow, PlayerClosedWithTheReleaseLostLeavesTheKeyIdleAndTheReceiverOpen)
{
    TalkingWindow w({}, 31700);
    ASSERT_TRUE(w.chains.receiverActive());
    const QRect keyRect = Form1::keyRect(Key::btnAudio);
    const QImage idle = w.shown();
    ASSERT_EQ(w.key().picture, 4);

    int pictureWhileOpen = -1, differingWhileOpen = -1;
    bool receiverWhileOpen = true, playerSeen = false;
    QTimer::singleShot(400, [&] {
        auto* player = qobject_cast<form_player*>(QApplication::activeModalWidget());
        if (!player)
            return;
        playerSeen = true;
        pictureWhileOpen = w.key().picture;
        differingWhileOpen = differing(w.shown(), w.model(), w.form->rect());
        receiverWhileOpen = w.chains.receiverActive();
        // The mouse button comes up over the player, then the trainee quits it.
        QTest::mouseRelease(player, Qt::LeftButton, Qt::AltModifier, player->rect().center());
        player->button(PlayerButton::btn_quit)->click();
    });
    QTest::mousePress(w.form.get(), Qt::LeftButton, Qt::AltModifier, w.talkKey());   // returns when it closed
    ASSERT_TRUE(playerSeen) << "the Alt press did not open the player";
    EXPECT_EQ(pictureWhileOpen, 5);
    EXPECT_EQ(differingWhileOpen, 0);
    EXPECT_FALSE(receiverWhileOpen);

    w.settle(300);
    EXPECT_EQ(w.key().picture, 4);
    EXPECT_EQ(w.form->station().panel().led, LED_NONE);
    EXPECT_EQ(differing(w.shown(), idle, keyRect), 0) << "the key is not back to its idle picture on the screen";
    EXPECT_EQ(differing(w.shown(), w.model(), w.form->rect()), 0);

    // The receive chain is open: a voice on the channel is counted.
    ASSERT_TRUE(w.chains.receiverActive());
    std::vector<unsigned char> packet;
    voice::build_announcement(packet, true, 3, AudioFormat{WAVE_FORMAT_GSM610, 22050, 0, 1});
    QUdpSocket out;
    out.writeDatagram(reinterpret_cast<const char*>(packet.data()), qint64(packet.size()), QHostAddress::LocalHost,
                      quint16(31700 + 16));
    QElapsedTimer t;
    t.start();
    while (w.chains.receiverCount() == 0 && t.elapsed() < 2000)
        w.settle(10);
    EXPECT_EQ(w.chains.receiverCount(), 1);

    // The next plain press talks as usual: no stale release is waiting for it.
    QTest::mousePress(w.form.get(), Qt::LeftButton, {}, w.talkKey());
    EXPECT_EQ(w.key().picture, 5);
    EXPECT_FALSE(w.chains.receiverActive());
    QTest::mouseRelease(w.form.get(), Qt::LeftButton, {}, w.talkKey());
    EXPECT_EQ(w.key().picture, 4);
    EXPECT_TRUE(w.chains.receiverActive());
}
