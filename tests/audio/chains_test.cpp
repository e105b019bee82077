// SPDX-License-Identifier: GPL-3.0-or-later
// The station's voice chains around a stand-in network receiver and sender.
#include "audio/voice_chains.h"
#include "qt_app.h"
#include "support/collect_sink.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <thread>

namespace {

// A source stage standing in for the voice receiver: the test feeds it from another thread.
struct FakeReceiver : Stage {
    bool active() const override { return isOpen; }
    void write(const AudioFormat&, const char*, qsizetype) override {}
    void receive(const AudioFormat& f, const QByteArray& payload)
    {
        deliver(f, payload.constData(), payload.size());
        ++count;
        if (callback)
            callback();
    }
    std::atomic<bool> isOpen{false};
    std::atomic<long> count{0};
    std::function<void()> callback;
    int port = 0;
protected:
    bool doOpen() override { isOpen = true; count = 0; return true; }
    void doClose() override { isOpen = false; }
};

QByteArray gsm_tone()
{
    GsmEncoder enc;
    CollectSink sink;
    enc.link(&sink);
    enc.open();
    const auto pcm = tone::sine(1000, 22050, 22050);
    enc.write(AudioFormat{WAVE_FORMAT_PCM, 22050, 16, 1}, reinterpret_cast<const char*>(pcm.data()),
              qsizetype(pcm.size() * 2));
    return sink.bytes;
}

} // namespace

TEST(VoiceChains, ReceivedPayloadsReachTheUiThreadWithoutALoudspeaker)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/kelvo-no-server");
    ensure_qt_app();
    FakeReceiver rx;
    CollectSink txSink;
    VoiceNet net;
    net.sender = &txSink;
    net.receiver = &rx;
    net.setReceiverPort = [&](const QString& p) { rx.port = p.toInt(); };
    net.receiverPort = [&] { return rx.port; };
    net.receiverCount = [&] { return long(rx.count); };
    net.setPayloadCallback = [&](std::function<void()> cb) { rx.callback = std::move(cb); };
    QObject ui;
    CollectSink ear;   // outlives the chains, which close it at the end
    VoiceChains chains(net, &ui);

    int calls = 0;
    bool onUiThread = true;
    chains.setDataAvailableHandler([&] {
        ++calls;
        onUiThread = onUiThread && QThread::currentThread() == ui.thread();
    });
    chains.setReceiverPort("17016");
    EXPECT_EQ(chains.receiverPort(), 17016);
    ASSERT_TRUE(chains.openReceiver());
    EXPECT_FALSE(chains.WaveOut1().active());   // no device here
    EXPECT_TRUE(chains.CodecRX().active());

    chains.resamplerRX().link(&ear);
    ear.open();
    const QByteArray gsm = gsm_tone();
    std::thread feeder([&] {
        for (qsizetype i = 0; i + 65 <= gsm.size(); i += 65 * 4)
            rx.receive(GsmEncoder::output_format, gsm.mid(i, 65 * 4));
    });
    feeder.join();
    const int expected = int((gsm.size() / 65 + 3) / 4);
    QElapsedTimer t;
    t.start();
    while (calls < expected && t.elapsed() < 5000)
        QCoreApplication::processEvents();
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(chains.receiverCount(), expected);

    auto x = tone::channel(ear.samples(), 2, 0);
    ASSERT_GT(x.size(), 20000u);
    x.erase(x.begin(), x.begin() + 4000);
    EXPECT_NEAR(tone::dominant(x, 44100), 1000, 10);
    EXPECT_GT(tone::snr_db(x, 1000, 44100), 10.0);

    chains.closeReceiver();
    EXPECT_FALSE(chains.receiverActive());
    EXPECT_FALSE(chains.CodecRX().active());
}

TEST(VoiceChains, CaptureWithoutAMicrophoneFailsQuietly)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/kelvo-no-server");
    ensure_qt_app();
    FakeReceiver rx;
    CollectSink txSink;
    VoiceNet net;
    net.sender = &txSink;
    net.receiver = &rx;
    QObject ui;
    VoiceChains chains(net, &ui);
    EXPECT_FALSE(chains.openCapture());
    EXPECT_TRUE(chains.codecTX().active());   // the stages behind it were opened
    EXPECT_TRUE(txSink.active());
    chains.closeCapture();
    EXPECT_FALSE(chains.codecTX().active());
    EXPECT_FALSE(txSink.active());
}

TEST(VoiceChains, ANotificationRaisedBeforeACloseIsNotHandledAfterIt)
{
    // The end of reception closes and reopens the receiver; a payload notified just before must
    // not start a new receive indication afterwards.
    qputenv("PULSE_SERVER", "unix:/nonexistent/kelvo-no-server");
    ensure_qt_app();
    FakeReceiver rx;
    VoiceNet net;
    net.receiver = &rx;
    net.setPayloadCallback = [&](std::function<void()> cb) { rx.callback = std::move(cb); };
    QObject ui;
    VoiceChains chains(net, &ui);
    int calls = 0;
    chains.setDataAvailableHandler([&] { ++calls; });
    ASSERT_TRUE(chains.openReceiver());
    std::thread([&] { rx.receive(GsmEncoder::output_format, QByteArray(65, 'x')); }).join();
    chains.closeReceiver();
    ASSERT_TRUE(chains.openReceiver());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    std::thread([&] { rx.receive(GsmEncoder::output_format, QByteArray(65, 'x')); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    chains.closeReceiver();
}
