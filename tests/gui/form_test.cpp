// SPDX-License-Identifier: GPL-3.0-or-later
// The station window: geometry, title, the mouse on the keys, the DSC port taken, screenshots.
#include "support/station_window.h"

#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <map>

namespace {

// A window with recorders behind it, on a free DSC port so that tests never meet a real station.
struct WindowRig : StationWindow {
    explicit WindowRig(const QString& folder = {}, quint16 dscPort = 0)
    {
        Form1Options options = testOptions();
        options.dscPort = dscPort;
        open(options, folder);
    }
    void press(Key k, Qt::KeyboardModifiers m = {}) { QTest::mousePress(form.get(), Qt::LeftButton, m, centre(k)); }
    void release(QPoint at, Qt::KeyboardModifiers m = {}) { QTest::mouseRelease(form.get(), Qt::LeftButton, m, at); }
    void hover(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, form->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &move);
    }
};

void saveShot(QWidget& w, const QString& name)
{
    w.grab().save(screenshotFolder() + QStringLiteral("/") + name + QStringLiteral(".png"));
    QPixmap hi(w.size() * 2);
    hi.setDevicePixelRatio(2);
    hi.fill(Qt::black);
    w.render(&hi);
    hi.save(screenshotFolder() + QStringLiteral("/") + name + QStringLiteral("@2x.png"));
}

} // namespace

TEST(Form1Window, FixedClientAreaTitleAndOwnNumbersWithoutSettingsFile)
{
    WindowRig rig;
    rig.form->show();
    EXPECT_EQ(rig.form->size(), QSize(672, 330));
    EXPECT_EQ(rig.form->minimumSize(), rig.form->maximumSize());
    EXPECT_TRUE(rig.form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(rig.form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(rig.form->windowTitle(), QStringLiteral("KELVO v. 12.9 ( LOCAL ) "));
    EXPECT_EQ(rig.panel().lbl_mmsi, QStringLiteral("274111001"));
    EXPECT_EQ(rig.panel().lbl_group, QStringLiteral("027411101"));
    EXPECT_TRUE(rig.form->dscReceptionAvailable());
    EXPECT_TRUE(rig.errors.empty());
    // First showing opened the voice receiver on channel 16.
    EXPECT_EQ(rig.voice.rxPorts, std::vector<int>{17016});
}

TEST(Form1Window, EveryKeySitsWhereThePanelHasItAndNoTwoOverlap)
{
    EXPECT_EQ(Form1::keyRect(Key::btnGroup), QRect(409, 99, 85, 35));
    EXPECT_EQ(Form1::keyRect(Key::btnDistress2), QRect(335, 153, 140, 50));
    EXPECT_EQ(Form1::keyRect(Key::num10), QRect(510, 103, 42, 23));
    EXPECT_EQ(Form1::keyRect(Key::num0), QRect(556, 103, 42, 23));
    EXPECT_EQ(Form1::keyRect(Key::num11), QRect(602, 103, 42, 23));
    EXPECT_EQ(Form1::keyRect(Key::num6), QRect(602, 48, 42, 23));
    EXPECT_EQ(Form1::keyRect(Key::imgDW), QRect(233, 254, 65, 26));
    EXPECT_EQ(Form1::keyRect(Key::imgCH84), QRect(592, 253, 65, 26));
    for (int i = 0; i < KeyCount; ++i) {
        const QRect r = Form1::keyRect(static_cast<Key>(i));
        EXPECT_TRUE(QRect(0, 0, 672, 330).contains(r)) << i;
        EXPECT_EQ(Form1::keyAt(r.center()), static_cast<Key>(i));
        // The channel keys overlap their neighbour by one pixel column; their pictures are
        // narrower than their places, so nothing shows of it.
        for (int j = i + 1; j < KeyCount; ++j)
            if (!(i >= static_cast<int>(Key::imgCH16) && j <= static_cast<int>(Key::imgCH84))) {
                EXPECT_FALSE(r.intersects(Form1::keyRect(static_cast<Key>(j)))) << i << " " << j;
            }
    }
    EXPECT_FALSE(Form1::keyAt(QPoint(100, 100)).has_value());   // the LCD is no key
}

// The scripts that drive a running station click at the points of tests/e2e/key_positions.sh;
// each must land on the key it names, and every key must have one.
TEST(Form1Window, ScriptedClickPointsLandOnTheirKeys)
{
    static const char* const names[KeyCount] = {
        "btnRoutine", "btnSafety", "btnUrgency", "btnDistress", "btnPosReq", "btnGroup", "btnDistress2",
        "btnTX", "btnAudio", "imgESC", "imgENT", "imgUP", "imgDW",
        "num0", "num1", "num2", "num3", "num4", "num5", "num6", "num7", "num8", "num9", "num10", "num11",
        "imgCH16", "imgCH9", "imgCH23", "imgCH77", "imgCH84"};
    QFile file(qEnvironmentVariable("KELVO_SOURCE") + "/tests/e2e/key_positions.sh");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QRegularExpression entry(R"re(^KEYPOS\[(\w+)\]="(\d+) (\d+)"$)re");
    std::map<QString, QPoint> points;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const auto m = entry.match(line.trimmed());
        if (m.hasMatch())
            points[m.captured(1)] = QPoint(m.captured(2).toInt(), m.captured(3).toInt());
    }
    EXPECT_EQ(points.size(), std::size_t(KeyCount));
    for (int i = 0; i < KeyCount; ++i) {
        const auto it = points.find(names[i]);
        ASSERT_NE(it, points.end()) << names[i];
        EXPECT_EQ(Form1::keyAt(it->second), static_cast<Key>(i)) << names[i];
    }
}

TEST(Form1Window, HintFollowsThePointerAndALockedKeyIgnoresTheMouse)
{
    WindowRig rig;
    rig.form->show();
    rig.hover(rig.centre(Key::btnRoutine));
    EXPECT_EQ(rig.panel().lbl_info, QStringLiteral("Press ALT key for All Ships Call"));
    rig.hover(rig.centre(Key::btnAudio));
    EXPECT_EQ(rig.panel().lbl_info, QStringLiteral("Press ALT key for Audio Recorder functions"));
    rig.hover(QPoint(100, 100));
    EXPECT_EQ(rig.panel().lbl_info, QString());

    StationProbe(rig.form->station()).blocca_tasti_chiamate();
    rig.hover(rig.centre(Key::btnSafety));
    EXPECT_EQ(rig.panel().lbl_info, QString());
    rig.press(Key::btnSafety);
    rig.release(rig.centre(Key::btnSafety));
    EXPECT_EQ(rig.panel().key(Key::btnSafety).picture, 3);   // still locked
    EXPECT_FALSE(rig.panel().key(Key::btnSafety).enabled);
}

// Needs the navigation key handlers of the panel work.
TEST(Form1Window, EscShowsItsPressedPictureUntilTheReleaseEvenOffTheKey)
{
    WindowRig rig;
    rig.form->show();
    rig.press(Key::imgESC);
    EXPECT_EQ(rig.panel().key(Key::imgESC).picture, 0);
    rig.release(QPoint(100, 100));   // released over the LCD: the ESC key still gets it
    EXPECT_EQ(rig.panel().key(Key::imgESC).picture, -1);
}

// Needs the composition handlers of the panel work.
TEST(Form1Window, AltHeldOnTheReleaseOfACallKeyOpensTheAllShipsCall)
{
    WindowRig rig;
    rig.form->show();
    rig.press(Key::btnRoutine, Qt::AltModifier);
    rig.release(rig.centre(Key::btnRoutine), Qt::AltModifier);
    EXPECT_EQ(rig.form->station().state().panel_mode, PanelMode::AllShipsRoutine);
}

// Needs the real settings file code: FormClose writes the position, the next start restores it.
TEST(Form1Window, PositionIsSavedAtCloseAndRestoredAtTheNextStart)
{
    QTemporaryDir folder;
    {
        WindowRig first(folder.path());
        first.form->show();
        first.form->move(200, 150);
        const QPoint where = first.form->pos();
        first.form->close();
        EXPECT_TRUE(first.errors.empty());
        WindowRig second(folder.path());
        second.form->show();
        EXPECT_EQ(second.form->pos(), where);
    }
}

TEST(Form1Window, CloseIsAcceptedEvenWhenThePositionCannotBeWritten)
{
    WindowRig rig(QStringLiteral("/proc/no-such-folder"));
    rig.form->show();
    EXPECT_TRUE(rig.form->close());
}

TEST(Form1Window, TakenDscPortIsReportedAndTheStationRunsWithoutReception)
{
    guiApp();
    QUdpSocket squatter;
    ASSERT_TRUE(squatter.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    WindowRig rig({}, squatter.localPort());
    rig.form->show();
    ASSERT_EQ(rig.errors.size(), 1u);
    const QString expected = QStringLiteral("DSC reception is unavailable: UDP port %1 is already in use "
                                            "(is another station running on this PC?)")
                                 .arg(squatter.localPort());
    EXPECT_TRUE(rig.errors[0].startsWith(expected)) << rig.errors[0].toStdString();
    EXPECT_TRUE(rig.errors[0].endsWith(QStringLiteral("Could not bind socket. Address and port are already in use.")));
    EXPECT_FALSE(rig.form->dscReceptionAvailable());
    EXPECT_EQ(rig.form->windowTitle(), QStringLiteral("KELVO v. 12.9 ( LOCAL ) "));
    rig.hover(rig.centre(Key::btnDistress));
    EXPECT_EQ(rig.panel().lbl_info, QStringLiteral("Press ALT key for All Ships Call"));
}

TEST(Form1Window, Screenshots)
{
    WindowRig rig;
    rig.form->show();
    saveShot(*rig.form, QStringLiteral("idle_panel"));

    StationProbe s(rig.form->station());
    s.blocca_tasti_chiamate();
    s.Inizializza_label();
    s.set_line(1, QStringLiteral(" - INDIVIDUAL ROUTINE CALL -"), true);
    s.set_line(2, QStringLiteral(" Enter MMSI:"));
    s.set_line(3, QStringLiteral(" 27411100"));
    s.view().set_opaque(3, true);
    s.set_line(4, QStringLiteral(" Enter channel:"));
    s.set_line(9, QStringLiteral("( Press OK or CLR buttons )"));
    s.set_key_picture(Key::num5, 5);
    s.set_key_picture(Key::imgENT, 1);
    s.enable_tx_key();
    s.reset_channel_key_images();
    s.set_key_picture(Key::imgCH77, 7);
    s.set_key_picture(Key::btnAudio, 5);
    s.view().set_led(LED_DSC_TX);
    s.show_key_hint(1);
    rig.form->repaint();
    saveShot(*rig.form, QStringLiteral("busy_panel"));

    s.abilita_tasti_chiamate();
    s.set_key_picture(Key::btnDistress2, 2);
    s.set_key_picture(Key::btnUrgency, 8);
    s.set_key_picture(Key::btnTX, 2);
    s.set_key_picture(Key::btnAudio, 3);
    s.set_key_picture(Key::num11, 11);   // the bottom keypad row, pressed
    s.view().set_led(LED_VOICE_RX);
    rig.form->repaint();
    saveShot(*rig.form, QStringLiteral("pressed_panel"));
    SUCCEED();
}
