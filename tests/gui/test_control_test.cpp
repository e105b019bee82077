// SPDX-License-Identifier: GPL-3.0-or-later
// The control socket that classroom scripts use to drive a running station.
#include "station/gui/test_control.h"
#include "support/station_window.h"

#include <QLocalSocket>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ControlRig : StationWindow {
    // `pausesRunEvents`: the panel's pauses run the event loop, as a busy station's window lets
    // everything queued run while a handler pauses (a client's hang-up included).
    explicit ControlRig(bool pausesRunEvents = false)
    {
        Form1Options options = testOptions();
        if (pausesRunEvents)
            options.sleep = [](int ms) {
                QEventLoop pause;
                QTimer::singleShot(ms, &pause, &QEventLoop::quit);
                pause.exec();
            };
        open(options);
        qputenv("KELVO_TEST_CONTROL", dir.filePath("station.sock").toLocal8Bit());
        control = std::make_unique<TestControl>(form.get(), form->station());
        started = control->startFromEnvironment();
        qunsetenv("KELVO_TEST_CONTROL");
    }
    // Sends one command; returns everything read until the station hangs up.
    QByteArray command(const QByteArray& line)
    {
        QLocalSocket s;
        s.connectToServer(dir.filePath("station.sock"));
        s.write(line);
        QByteArray got;
        const bool closed = QTest::qWaitFor([&] {
            got += s.readAll();
            return s.state() == QLocalSocket::UnconnectedState;
        }, 30000);
        EXPECT_TRUE(closed) << line.constData();
        return got + s.readAll();
    }

    std::unique_ptr<TestControl> control;
    bool started = false;
};

}  // namespace

TEST(TestControl, OffWithoutTheEnvironmentVariable)
{
    StationWindow w;
    Form1& form = w.open();
    TestControl control(&form, form.station());
    EXPECT_FALSE(control.startFromEnvironment());
}

TEST(TestControl, EachCommandIsAnsweredAndTheConnectionClosed)
{
    ControlRig rig;
    ASSERT_TRUE(rig.started);
    const QByteArray idle = rig.command("dump\n");
    EXPECT_TRUE(idle.contains(" *   WATCHING CH-70 VHF     *\n")) << idle.constData();
    EXPECT_TRUE(idle.endsWith("mode 0\n")) << idle.constData();

    const QPoint routine = Form1::keyRect(Key::btnRoutine).center();
    EXPECT_EQ(rig.command("click " + QByteArray::number(routine.x()) + ' ' + QByteArray::number(routine.y()) + '\n'),
              "ok\n");
    EXPECT_TRUE(rig.command("dump\n").contains("- INDIVIDUAL ROUTINE CALL -"));

    // Anything after the first line of a connection is not taken as a second command.
    EXPECT_EQ(rig.command("nonsense\nclick 1 1\n"), "unknown\n");
    EXPECT_EQ(rig.command("click 12\n"), "unknown\n");
}

TEST(TestControl, CountsWhatTheStationDidAndHoldsAKeyBetweenPressAndRelease)
{
    ControlRig rig;
    ASSERT_TRUE(rig.started);
    EXPECT_EQ(rig.command("counts\n"), "handled 0\nsent 0\nheard 0\n");
    Station& s = rig.form->station();
    StationProbe probe(s);
    s.receiveDatagram("TXMMSI=244000001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=SAFETY  ,DANGER=00,LATD=00,"
                          "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N");
    probe.settings().mode = 1;
    probe.send_record("TXMMSI=274111001");
    probe.settings().mode = 2;   // a station with no network sends nothing, and counts nothing
    probe.send_record("TXMMSI=274111001");

    // Push-to-talk held: the microphone is open between the press and the release.
    const QPoint talk = Form1::keyRect(Key::btnAudio).center();
    const QByteArray at = QByteArray::number(talk.x()) + ' ' + QByteArray::number(talk.y()) + '\n';
    EXPECT_EQ(rig.command("press " + at), "ok\n");
    EXPECT_TRUE(rig.voice.captureOpen);
    EXPECT_EQ(rig.command("release " + at), "ok\n");
    EXPECT_FALSE(rig.voice.captureOpen);

    // A voice that begins to arrive is counted once, however many packets it brings.
    rig.voice.count = 5;
    probe.BroadcastRXDataAvailable();
    rig.voice.count = 9;
    probe.BroadcastRXDataAvailable();
    EXPECT_EQ(rig.command("counts\n"), "handled 1\nsent 1\nheard 1\n");
}

// Scripts are not polite: plain socat hangs up as soon as it has sent its line, even while the
// click it asked for pauses the panel; a broken client sends anything, or never reads its answer.
// None of them may stop the station or the clients that follow.
TEST(TestControl, ClientsThatHangUpSendGarbageOrNeverReadCannotHurtTheStation)
{
    ControlRig rig(true);
    ASSERT_TRUE(rig.started);
    const QString path = rig.dir.filePath("station.sock");
    auto at = [](Key k) {
        const QPoint p = Form1::keyRect(k).center();
        return QByteArray::number(p.x()) + ' ' + QByteArray::number(p.y()) + '\n';
    };
    // Sent, and gone before the station has read it.
    auto hangUp = [&](const QByteArray& line) {
        QLocalSocket s;
        s.connectToServer(path);
        EXPECT_TRUE(s.waitForConnected(30000));
        s.write(line);
        s.flush();
        s.abort();
    };

    // The routine key pauses the panel after its release: the clients hang up during that pause.
    // Their commands still run, in order.
    hangUp("click " + at(Key::btnRoutine));
    for (int i = 0; i < 9; ++i)
        hangUp("click " + at(Key::num0));
    const QByteArray typed = rig.command("dump\n");
    EXPECT_TRUE(typed.contains("- INDIVIDUAL ROUTINE CALL -")) << typed.constData();
    EXPECT_TRUE(typed.contains("000000000")) << typed.constData();

    // Garbage: bytes with no line end (cut off past the longest command), a line that is no command.
    QLocalSocket flood;
    flood.connectToServer(path);
    ASSERT_TRUE(flood.waitForConnected(30000));
    flood.write(QByteArray(int(TestControl::kMaxLine) * 4, '\xff'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 30000));
    EXPECT_EQ(rig.command(QByteArray("\x00\x01 click\xfe 1 1\n", 15)), "unknown\n");
    EXPECT_EQ(rig.command("click one two\n"), "unknown\n");

    // A client that never reads its answer, and one that never says anything, hold up nobody.
    QLocalSocket deaf, silent;
    deaf.connectToServer(path);
    silent.connectToServer(path);
    ASSERT_TRUE(deaf.waitForConnected(30000) && silent.waitForConnected(30000));
    deaf.write("dump\n");
    deaf.flush();
    EXPECT_EQ(rig.command("click " + at(Key::imgESC)), "ok\n");
    EXPECT_TRUE(rig.command("dump\n").endsWith("mode 0\n"));
}
