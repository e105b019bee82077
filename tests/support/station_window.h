// SPDX-License-Identifier: GPL-3.0-or-later
// The station window under test: recorders stand for the cues, the DSC sender, the clock and the
// voice chains (a test may hand in a real cue player or real chains instead), the window listens
// on a free DSC port so that it never meets a real station, and error boxes are collected.
#pragma once

#include "gui/gui_support.h"
#include "station/gui/form1.h"
#include "support/fakes.h"

#include <QEventLoop>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

struct StationWindow {
    StationWindow() { guiApp(); }
    ~StationWindow() { form.reset(); }   // before the recorders and whatever its options reach

    // The options of a window under test: a free DSC port; everything else as the window's own.
    static Form1Options testOptions()
    {
        Form1Options o;
        o.dscPort = 0;
        return o;
    }

    // Makes the window with its settings in `folder` (the rig's own empty folder when none). An
    // error box the options leave unset is collected in `errors`.
    Form1& open(Form1Options options = testOptions(), const QString& folder = {}, CuePort* cuePort = nullptr,
                VoicePort* voicePort = nullptr)
    {
        if (!options.errorBox)
            options.errorBox = [this](const QString& text) { errors.push_back(text); };
        form = std::make_unique<Form1>(cuePort ? *cuePort : cues, net, clock, voicePort ? *voicePort : voice,
                                       folder.isEmpty() ? dir.path() : folder, options);
        return *form;
    }
    // Shows the window and waits until the platform has it on the screen.
    void showExposed()
    {
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // Runs an event loop for a while with no input, as the program's own loop does when nobody
    // touches the mouse (waiting for events, not polling).
    static void settle(int ms = 150)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The window as the platform shows it (its flushed picture), and a fresh rendering of the model.
    QImage shown() const { return rgb(form->screen()->grabWindow(form->winId())); }
    QImage model() const { return rgb(form->grab()); }
    static QImage rgb(const QPixmap& p) { return p.toImage().convertToFormat(QImage::Format_RGB32); }

    static QPoint centre(Key k) { return Form1::keyRect(k).center(); }
    void click(Key k, Qt::KeyboardModifiers m = {})
    {
        QTest::mousePress(form.get(), Qt::LeftButton, m, centre(k));
        QTest::mouseRelease(form.get(), Qt::LeftButton, m, centre(k));
    }
    Station& station() { return form->station(); }
    // The nine LCD lines as one text, each ended by '|'.
    QString lcd() const
    {
        QString text;
        for (const LcdLine& l : form->station().panel().lines)
            text += l.text + QLatin1Char('|');
        return text;
    }
    const PanelModel& panel() { return form->station().panel(); }

    QTemporaryDir dir;
    EventLog log;
    FakeCues cues{log};
    FakeDatagrams net{log};
    FakeClock clock;
    FakeVoice voice{log};
    std::vector<QString> errors;
    std::unique_ptr<Form1> form;
};
