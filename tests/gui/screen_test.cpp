// SPDX-License-Identifier: GPL-3.0-or-later
// What the trainee sees: the window as the platform shows it (its flushed picture, not a fresh
// rendering), taken during the handlers' pauses and after a datagram with no input at all.
#include "support/station_window.h"

#include <QElapsedTimer>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

namespace {

// Pixels that differ between two pictures of the window (a different LCD line differs by hundreds).
int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return a.width() * a.height();
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            n += pa[x] != pb[x];
    }
    return n;
}

QByteArray record(const char* tx, const char* rx, const char* call, const char* cat, const char* ch = "77",
                  const char* comply = "N")
{
    return dsc::compose(dsc::plain_record(tx, rx, call, cat, ch, comply));
}

struct Shot {
    int pauseMs = 0;        // 0: taken back in the event loop
    QString lcd;            // the model's LCD lines, for the messages
    int differing = 0;      // pixels where the screen is not the model
};

// A station window on a free DSC port whose pauses are not slept: each is the moment at which the
// screen is compared with the model, as a trainee would see it during the real pause.
struct ScreenRig : StationWindow {
    ScreenRig()
    {
        Form1Options options = testOptions();
        options.sleep = [this](int ms) { shots.push_back(look(ms)); };
        open(options);
        showExposed();
        settle();
        shots.clear();
    }

    Shot look(int pauseMs)
    {
        Shot s;
        s.pauseMs = pauseMs;
        s.lcd = lcd();
        s.differing = differingPixels(shown(), model());
        return s;
    }

    void receive(const QByteArray& datagram)
    {
        QUdpSocket out;
        out.writeDatagram(datagram, QHostAddress::LocalHost, form->dscPort());
        const size_t before = shots.size();
        for (int waited = 0; shots.size() == before && waited < 3000; waited += 10)   // until the banner's pause
            settle(10);
        settle();
    }

    QString line(int n) const { return form->station().panel().label(n).text; }

    ~ScreenRig() { form.reset(); }   // its pauses note shots
    std::vector<Shot> shots;
};

void expectShown(const Shot& s, const char* when)
{
    EXPECT_EQ(s.differing, 0) << when << ": the screen is not the model (pause " << s.pauseMs << " ms, LCD "
                              << s.lcd.toStdString() << ")";
}

} // namespace

TEST(Form1Screen, ReceivedCallsAndRepliesArePaintedWithNoInputEvent)
{
    struct Case {
        const char* what;
        QByteArray datagram;
        const char* line1;
    };
    // The station is 274111001; the records come from another station through the exchange.
    const Case cases[] = {
        {"individual call", record("274222002", "274111001", "INDIVID ", "ROUTINE "), "-RECEIVED INDIVIDUAL CALL-"},
        {"individual ack", record("274222002", "274111001", "INDIVID ", "ROUT_ACK", "77", "Y"),
         "-RECEIVED INDIVIDUAL ACK-"},
        {"distress ack", record("274222002", "274111001", "DISTRESS", "DIST_ACK", "16"), "-RECEIVED DISTRESS ACK -"},
        {"position request", record("274222002", "274111001", "INDIVID ", "POS_REQ "),
         " - RECEIVED POSITION REQUEST -"},
        {"group call", record("274222002", "027411101", "GROUP   ", "SAFETY  "), " - RECEIVED GROUP CALL -"},
        {"call for another ship", record("274222002", "274999999", "INDIVID ", "ROUTINE "),
         " ****************************"},
    };
    for (const Case& c : cases) {
        ScreenRig rig;
        rig.receive(c.datagram);
        ASSERT_FALSE(rig.shots.empty()) << c.what;
        // During the banner's pause the screen shows the banner and the lit lamp...
        EXPECT_EQ(rig.shots.front().pauseMs, 1500) << c.what;
        EXPECT_TRUE(rig.shots.front().lcd.contains(QStringLiteral("RECEIVING DSC DATA"))) << c.what;
        expectShown(rig.shots.front(), c.what);
        // ...and once the handler is back in the event loop, the call itself, untouched by the mouse.
        EXPECT_EQ(rig.line(c.what == std::string("call for another ship") ? 3 : 1), QString::fromLatin1(c.line1))
            << c.what;
        expectShown(rig.look(0), c.what);
    }
}

TEST(Form1Screen, KeypadEntryAndTransmissionShowTheirScreensDuringThePauses)
{
    ScreenRig rig;
    rig.click(Key::btnRoutine);
    for (char d : QByteArray("274222002"))
        rig.click(keypadKey(d - '0'));
    rig.click(keypadKey(11));   // OK
    rig.click(keypadKey(8));
    rig.shots.clear();
    // A refused "89": the wrong number and the pressed key stay on the screen for the 1000 ms pause.
    QTest::mousePress(rig.form.get(), Qt::LeftButton, {}, Form1::keyRect(keypadKey(9)).center());
    ASSERT_EQ(rig.shots.size(), 1u);
    EXPECT_EQ(rig.shots[0].pauseMs, 1000);
    EXPECT_TRUE(rig.shots[0].lcd.contains(QStringLiteral("Channel =  89"))) << rig.shots[0].lcd.toStdString();
    expectShown(rig.shots[0], "refused channel");
    QTest::mouseRelease(rig.form.get(), Qt::LeftButton, {}, Form1::keyRect(keypadKey(9)).center());
    rig.settle();
    expectShown(rig.look(0), "after the refusal");

    // An allowed channel: the ready screen after the 300 ms pause, then DSC TX with its 1500 ms pause
    // on the cleared screen and the pressed key, and the idle screen after it.
    rig.click(keypadKey(7));
    rig.click(keypadKey(2));
    rig.settle();
    EXPECT_EQ(rig.line(3), QStringLiteral("Press <DSC TX> to send"));
    expectShown(rig.look(0), "ready screen");
    rig.shots.clear();
    rig.click(Key::btnTX);
    ASSERT_EQ(rig.net.sent.size(), 1u);
    ASSERT_FALSE(rig.shots.empty());
    for (const Shot& s : rig.shots)
        expectShown(s, "DSC TX pause");
    EXPECT_TRUE(std::any_of(rig.shots.begin(), rig.shots.end(), [](const Shot& s) { return s.pauseMs == 1500; }));
    rig.settle();
    EXPECT_EQ(rig.line(4), QStringLiteral(" *   WATCHING CH-70 VHF     *"));
    expectShown(rig.look(0), "idle after sending");
}

TEST(Form1Screen, VoiceIndicationIsPaintedAtTheFirstPayloadAndATalkerCostsFewPaints)
{
    ScreenRig rig;
    const long before = rig.form->paintCount();
    // Fifty payloads a second for one second, each notified on the user-interface thread.
    QElapsedTimer t;
    t.start();
    for (int i = 1; i <= 50; ++i) {
        rig.voice.count = i;
        rig.voice.dataAvailable();
        if (i == 1) {
            rig.settle(20);
            EXPECT_EQ(rig.form->station().panel().led, LED_VOICE_RX);
            expectShown(rig.look(0), "first voice payload");
        }
        rig.settle(20);
    }
    const long paints = rig.form->paintCount() - before;
    EXPECT_LE(paints, 10) << "paints for one second of a talker";
    EXPECT_GE(paints, 1);
}
