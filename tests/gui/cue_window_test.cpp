// SPDX-License-Identifier: GPL-3.0-or-later
// The cues of the real window as heard on a private PulseAudio server's null sink, while the
// window's handlers sleep on the user-interface thread.
#include "audio/suoni.h"
#include "support/sink_ear.h"
#include "support/station_window.h"

#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

namespace {

constexpr int kLoud = 1000;
constexpr long long kGap = SinkEar::kRate / 10;
const QString kBin = QStringLiteral(KELVO_BIN_DIR);

// Where the cue's file first gets loud (the transmit tone fades in).
long long fileOnset(unsigned cue)
{
    return first_loud(CueEngine::decode(kBin + "/" + cue_file(cue)), kLoud);
}

long long fileLength(unsigned cue)
{
    return loud_length(CueEngine::decode(kBin + "/" + cue_file(cue)), kLoud, kGap);
}

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// The station window with the real cue player on the private server; the rest are recorders.
struct HeardWindow : StationWindow {
    explicit HeardWindow(const QString& server, quint16 dscPort = 0)
        : player(kBin, [this] { ++beeps; }, server)
    {
        Form1Options options = testOptions();
        options.dscPort = dscPort ? dscPort : freePort();
        open(options, {}, &player).show();
    }
    ~HeardWindow() { form.reset(); }   // before the cue player it plays through
    void pump(int ms)
    {
        const auto until = SinkEar::Clock::now() + std::chrono::milliseconds(ms);
        while (SinkEar::Clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    int beeps = 0;
    CuePlayer player;
};

} // namespace

TEST(CuesOnTheWindow, TransmitToneStartsAtThePressOfDscTxWhileTheHandlerSleeps)
{
    EarOnSink sink;
    QString why;
    if (!sink.start(&why))
        GTEST_SKIP() << why.toStdString();
    HeardWindow w(sink.address());
    // An all-ships routine call: its ready screen has DSC TX enabled.
    QTest::mousePress(w.form.get(), Qt::LeftButton, Qt::AltModifier, w.centre(Key::btnRoutine));
    QTest::mouseRelease(w.form.get(), Qt::LeftButton, Qt::AltModifier, w.centre(Key::btnRoutine));
    ASSERT_EQ(w.form->station().state().panel_mode, PanelMode::AllShipsRoutine);
    w.pump(300);   // the click of the call-key lock dies away

    const auto pressed = SinkEar::Clock::now();
    QTest::mousePress(w.form.get(), Qt::LeftButton, {}, w.centre(Key::btnTX));   // sends, sleeps 1500 ms
    const auto returned = SinkEar::Clock::now();
    QTest::mouseRelease(w.form.get(), Qt::LeftButton, {}, w.centre(Key::btnTX));
    EXPECT_GE(returned - pressed, std::chrono::milliseconds(1400)) << "the handler did not pause";
    ASSERT_EQ(w.net.sent.size(), 1u);
    sink.ear.waitUntilRecorded(SinkEar::Clock::now());

    const auto heard = sink.ear.samples();
    const auto stretches = loud_stretches(heard, kLoud, kGap, sink.ear.indexAt(pressed) - SinkEar::kRate / 100);
    ASSERT_FALSE(stretches.empty()) << "no transmit tone";
    const double onset = sink.ear.msAfter(pressed, stretches.front().first - fileOnset(cue_tx));
    EXPECT_GT(onset, -10);
    // The handler sleeps 1500 ms: a tone that waited for it would be that late. A busy machine may
    // delay the sound server by a few hundred milliseconds; bench/bench_cue_latency has the tight figure.
    EXPECT_LT(onset, 600) << "the tone waited for the handler";
    EXPECT_GE(double(stretches.front().length()), 0.95 * double(fileLength(cue_tx)));
    EXPECT_EQ(w.beeps, 0);
}

TEST(CuesOnTheWindow, CallAlarmIsHeardWholeWhenASecondDatagramFollowsWithinTheBanner)
{
    EarOnSink sink;
    QString why;
    if (!sink.start(&why))
        GTEST_SKIP() << why.toStdString();
    const quint16 port = freePort();
    HeardWindow w(sink.address(), port);
    ASSERT_TRUE(w.form->dscReceptionAvailable());

    // A call for this station, and right behind it the exchange relays a call for another one.
    const QByteArray forUs = "TXMMSI=274222002,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,"
                             "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N";
    QByteArray forOther = forUs;
    forOther.replace("RXMMSI=274111001", "RXMMSI=274333003");
    QUdpSocket out;
    const auto sent = SinkEar::Clock::now();
    out.writeDatagram(forUs, QHostAddress::LocalHost, port);
    out.writeDatagram(forOther, QHostAddress::LocalHost, port);
    w.pump(3600);   // two banners of 1500 ms
    sink.ear.waitUntilRecorded(SinkEar::Clock::now());

    const auto heard = sink.ear.samples();
    const auto stretches = loud_stretches(heard, kLoud, kGap, sink.ear.indexAt(sent));
    ASSERT_FALSE(stretches.empty()) << "no call alarm";
    // The call-key lock clicks and the alarm follows at once: one stretch, at the end of the banner.
    const LoudStretch& s = stretches.front();
    EXPECT_GT(sink.ear.msAfter(sent, s.first), 1400);
    EXPECT_LT(sink.ear.msAfter(sent, s.first), 2500);
    EXPECT_GE(double(s.length()), 0.95 * double(fileLength(cue_call_alarm)));
    EXPECT_EQ(stretches.size(), 1u);
}
