// SPDX-License-Identifier: GPL-3.0-or-later
// The panel worked from the keyboard gives the same records and screens as the mouse.
#include "support/station_window.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

// One panel key worked, by the mouse (with Alt where `alt`) or by its keyboard key.
struct Step {
    Key key;
    bool alt;
    Qt::Key qtKey;
    Qt::KeyboardModifiers qtMods;
};

Step mouseAndKey(Key k, Qt::Key q, Qt::KeyboardModifiers m = {}, bool alt = false)
{
    return Step{k, alt, q, m};
}

std::vector<Step> digits(const char* text)
{
    std::vector<Step> out;
    for (const char* c = text; *c; ++c)
        out.push_back(mouseAndKey(keypadKey(*c - '0'), Qt::Key(Qt::Key_0 + (*c - '0'))));
    return out;
}

// What one run leaves: the LCD after each step and every datagram sent.
struct Trace {
    std::vector<QString> screens;
    std::vector<QByteArray> sent;
};

struct KeyRun : StationWindow {
    KeyRun()
    {
        Form1Options options = testOptions();
        options.sleep = [](int) {};   // the pauses change nothing of what is compared
        open(options).show();
        form->activateWindow();
        form->setFocus();
    }
    void work(const Step& s, bool byKeyboard)
    {
        if (byKeyboard) {
            QTest::keyPress(form.get(), s.qtKey, s.qtMods);
            QTest::keyRelease(form.get(), s.qtKey, s.qtMods);
        } else {
            click(s.key, s.alt ? Qt::AltModifier : Qt::NoModifier);
        }
        trace.screens.push_back(lcd());
    }
    Trace play(const std::vector<std::vector<Step>>& script, bool byKeyboard, const QByteArray& received = {})
    {
        if (!received.isEmpty())
            form->station().receiveDatagram(received);
        for (const auto& part : script)
            for (const Step& s : part)
                work(s, byKeyboard);
        for (const SentDatagram& d : net.sent)
            trace.sent.push_back(d.payload);
        return trace;
    }

    Trace trace;
};

void expectSame(const std::vector<std::vector<Step>>& script, size_t records, const QByteArray& received = {})
{
    const Trace mouse = KeyRun().play(script, false, received);
    const Trace keys = KeyRun().play(script, true, received);
    ASSERT_EQ(mouse.sent.size(), records);
    EXPECT_EQ(keys.sent, mouse.sent);
    ASSERT_EQ(keys.screens.size(), mouse.screens.size());
    for (size_t i = 0; i < keys.screens.size(); ++i)
        EXPECT_EQ(keys.screens[i], mouse.screens[i]) << "after step " << i;
}

} // namespace

TEST(Keyboard, IndividualAndAllShipsCallsAsWithTheMouse)
{
    expectSame({{mouseAndKey(Key::btnSafety, Qt::Key_S)},
                digits("274222002"),
                {mouseAndKey(keypadKey(11), Qt::Key_Enter, Qt::KeypadModifier)},
                digits("8"),
                {mouseAndKey(keypadKey(10), Qt::Key_Backspace)},   // CLR
                digits("72"),
                {mouseAndKey(Key::btnTX, Qt::Key_T)},
                // Shift on the keyboard is the mouse's Alt: an all-ships urgency call.
                {mouseAndKey(Key::btnUrgency, Qt::Key_U, Qt::ShiftModifier, true)},
                {mouseAndKey(Key::btnTX, Qt::Key_T)}},
               2);
}

TEST(Keyboard, DistressAlertAsWithTheMouse)
{
    expectSame({{mouseAndKey(Key::btnDistress2, Qt::Key_X)},
                {mouseAndKey(Key::imgDW, Qt::Key_Down), mouseAndKey(Key::imgDW, Qt::Key_Down),
                 mouseAndKey(Key::imgUP, Qt::Key_Up)},
                {mouseAndKey(Key::imgENT, Qt::Key_Return), mouseAndKey(Key::imgENT, Qt::Key_Return)},
                {mouseAndKey(Key::btnTX, Qt::Key_T)},
                {mouseAndKey(Key::imgESC, Qt::Key_Escape)}},
               1);
}

TEST(Keyboard, ReplyToAReceivedCallAsWithTheMouse)
{
    const QByteArray call = dsc::compose(dsc::plain_record("274222002", "274111001", dsc::CALL_INDIVID,
                                                           dsc::CAT_ROUTINE, "77"));
    expectSame({{mouseAndKey(Key::imgENT, Qt::Key_Return)},
                {mouseAndKey(Key::imgENT, Qt::Key_Return)},
                {mouseAndKey(Key::btnTX, Qt::Key_T)}},
               1, call);
}

TEST(Keyboard, HeldKeyIsOnePressAndALockedKeyIgnoresIt)
{
    KeyRun run;
    // Auto-repeat of a held digit while composing types it once.
    run.work(mouseAndKey(Key::btnRoutine, Qt::Key_R), true);
    QTest::keyPress(run.form.get(), Qt::Key_5);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"), true);
    QApplication::sendEvent(run.form.get(), &repeat);
    QTest::keyRelease(run.form.get(), Qt::Key_5);
    EXPECT_EQ(StationProbe(run.form->station()).composer().entry_mmsi(), "5");
    // A key already down when the window got the keyboard arrives as repeats: the first is its press.
    QKeyEvent late(QEvent::KeyPress, Qt::Key_6, Qt::NoModifier, QStringLiteral("6"), true);
    QApplication::sendEvent(run.form.get(), &late);
    QApplication::sendEvent(run.form.get(), &late);
    QTest::keyRelease(run.form.get(), Qt::Key_6);
    EXPECT_EQ(StationProbe(run.form->station()).composer().entry_mmsi(), "56");
    // The call keys are locked while composing: S does nothing.
    run.work(mouseAndKey(Key::btnSafety, Qt::Key_S), true);
    EXPECT_EQ(StationProbe(run.form->station()).composer().entry_mmsi(), "56");
    EXPECT_EQ(run.form->station().panel().label(1).text, QStringLiteral(" - INDIVIDUAL ROUTINE CALL -"));
    EXPECT_EQ(keyboardHint(Key::btnRoutine), QStringLiteral("Keyboard: R  (Shift + R: all ships)"));
}
