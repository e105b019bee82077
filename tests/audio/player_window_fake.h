// SPDX-License-Identifier: GPL-3.0-or-later
// A player window that records what the player does to it and answers its questions.
#pragma once

#include "audio/player.h"

#include <QDir>
#include <map>
#include <optional>
#include <vector>

struct FakeWindow : PlayerWindow {
    std::map<PlayerButton, bool> enabled;
    std::vector<QString> captions;
    QString folder, selected;
    std::vector<QString> messages;
    std::optional<QString> saveAnswer;
    bool confirmAnswer = true;
    int beeps = 0, refreshes = 0, sleeps = 0;
    bool timerRunning = false, closed = false;

    void setButtonEnabled(PlayerButton b, bool e) override { enabled[b] = e; }
    void setCaption(const QString& c) override { captions.push_back(c); }
    QString selectedName() const override { return selected; }
    QString selectedPath() const override
    {
        return selected.isEmpty() ? QString() : QDir(folder).filePath(selected);
    }
    void refreshList() override { ++refreshes; }
    bool setFolder(const QString& f) override
    {
        if (!QDir(f).exists())
            return false;
        folder = f;
        QDir::setCurrent(f);
        return true;
    }
    std::optional<QString> askSaveName(const QString&, const QString&) override { return saveAnswer; }
    bool confirmTrash(const QString&) override { return confirmAnswer; }
    void showMessage(const QString& t) override { messages.push_back(t); }
    void beep() override { ++beeps; }
    void processEvents() override {}
    void sleepMs(int) override { ++sleeps; }
    void startTimer() override { timerRunning = true; }
    void stopTimer() override { timerRunning = false; }
    void closeWindow() override { closed = true; }
};

