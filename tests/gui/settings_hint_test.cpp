// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file a station uses, shown as the window's tool tip outside its keys.
#include "gui_support.h"
#include "station/gui/form1.h"
#include "support/fakes.h"

#include <QHelpEvent>
#include <QTemporaryDir>
#include <QToolTip>
#include <gtest/gtest.h>

namespace {

QString toolTipAt(Form1& form, QPoint at)
{
    QHelpEvent help(QEvent::ToolTip, at, form.mapToGlobal(at));
    QApplication::sendEvent(&form, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

TEST(SettingsHint, ToolTipOutsideTheKeysNamesTheSettingsFileInUse)
{
    guiApp();
    QTemporaryDir home;
    EventLog log;
    FakeCues cues{log};
    FakeDatagrams net{log};
    FakeClock clock;
    FakeVoice voice{log};
    Form1Options options;
    options.dscPort = 0;
    options.errorBox = [](const QString&) {};
    StationPaths paths = StationPaths::beside(home.path());
    paths.settingsFile = home.filePath("config/kelvo/radiosim.ini");
    Form1 form(cues, net, clock, voice, paths, options);
    form.show();

    const QPoint outside(Form1::kClientWidth - 4, Form1::kClientHeight - 4);
    ASSERT_FALSE(Form1::keyAt(outside));
    EXPECT_EQ(toolTipAt(form, outside), "Settings file: " + paths.settingsFile);
    // On a key the tool tip is still its keyboard key.
    EXPECT_EQ(toolTipAt(form, Form1::keyRect(Key::btnRoutine).center()), keyboardHint(Key::btnRoutine));
    QToolTip::hideText();
}
