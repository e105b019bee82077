// The control socket that classroom scripts use to drive a running station.
#include "station/gui/test_control.h"
#include "support/station_window.h"

#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ControlRig : StationWindow {
    ControlRig()
    {
        open();
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
        }, 5000);
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
    s.IdUDPServer1UDPRead("TXMMSI=244000001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=SAFETY  ,DANGER=00,LATD=00,"
                          "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N");
    StationProbe(s).settings().mode = 1;
    s.send_record("TXMMSI=274111001");
    StationProbe(s).settings().mode = 2;   // a station with no network sends nothing, and counts nothing
    s.send_record("TXMMSI=274111001");

    // Push-to-talk held: the microphone is open between the press and the release.
    const QPoint talk = Form1::keyRect(Key::btnAudio).center();
    const QByteArray at = QByteArray::number(talk.x()) + ' ' + QByteArray::number(talk.y()) + '\n';
    EXPECT_EQ(rig.command("press " + at), "ok\n");
    EXPECT_TRUE(rig.voice.captureOpen);
    EXPECT_EQ(rig.command("release " + at), "ok\n");
    EXPECT_FALSE(rig.voice.captureOpen);

    // A voice that begins to arrive is counted once, however many packets it brings.
    rig.voice.count = 5;
    s.BroadcastRXDataAvailable();
    rig.voice.count = 9;
    s.BroadcastRXDataAvailable();
    EXPECT_EQ(rig.command("counts\n"), "handled 1\nsent 1\nheard 1\n");
}
