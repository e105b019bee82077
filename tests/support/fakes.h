// SPDX-License-Identifier: GPL-3.0-or-later
// Recorders standing in for the window, the sounds, the network, the clock and the voice chains,
// so that the station runs without a display, without sound and without waiting.
#pragma once

#include "station/FileIni.h"
#include "station/station.h"
#include "support/station_probe.h"

#include <QTemporaryDir>
#include <QTime>
#include <string>
#include <vector>

// Everything the fakes see, in order: "repaint", "events", "sleep 200", "beep", "error ...",
// "cue 1", "send 127.0.0.1:8090", "voice rx-port 17016", "voice rx-open", ...
struct EventLog {
    std::vector<std::string> events;
    void add(std::string e) { events.push_back(std::move(e)); }
    std::vector<std::string> matching(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0)
                out.push_back(e);
        return out;
    }
    void clear() { events.clear(); }
};

// The window as the trainee sees it: only "repaint" and "let the window repaint" (processEvents)
// put the model on the screen; a pause records the screen it shows.
struct FakeUi : UiPort {
    explicit FakeUi(EventLog& log) : log(log) {}
    EventLog& log;
    const PanelModel* model = nullptr;
    PanelModel screen;
    std::vector<std::pair<int, PanelModel>> pauses;   // each pause with the screen shown during it
    QPoint pos{1, 1};
    std::vector<QString> errors;
    std::function<void()> onProcessEvents;   // lets a test queue a nested event
    std::function<void()> onOpenPlayer;
    int sleptMs = 0;
    void paint()
    {
        if (model)
            screen = *model;
    }
    void repaint() override { paint(); log.add("repaint"); }
    void processEvents() override
    {
        paint();
        log.add("events");
        if (onProcessEvents) {
            auto f = std::move(onProcessEvents);
            onProcessEvents = nullptr;
            f();
        }
    }
    void sleep(int ms) override
    {
        sleptMs += ms;
        pauses.emplace_back(ms, screen);
        log.add("sleep " + std::to_string(ms));
    }
    void beep() override { log.add("beep"); }
    void errorBox(const QString& text) override { errors.push_back(text); log.add("error " + text.toStdString()); }
    QPoint windowPosition() const override { return pos; }
    void moveWindow(QPoint p) override { pos = p; log.add("move"); }
    void openPlayer() override { log.add("player"); if (onOpenPlayer) onOpenPlayer(); }
};

struct FakeCues : CuePort {
    explicit FakeCues(EventLog& log) : log(log) {}
    EventLog& log;
    std::vector<unsigned> played;
    void play_cue(unsigned index) override { played.push_back(index); log.add("cue " + std::to_string(index)); }
};

struct SentDatagram {
    QByteArray payload;
    QHostAddress to;
    quint16 port;
    bool broadcast;
};

struct FakeDatagrams : DatagramPort {
    explicit FakeDatagrams(EventLog& log) : log(log) {}
    EventLog& log;
    std::vector<SentDatagram> sent;
    bool refuse = false;
    bool send(const QByteArray& payload, const QHostAddress& to, quint16 port, bool broadcast,
              QString* error) override
    {
        if (refuse) {
            if (error) *error = QStringLiteral("Network is unreachable");
            log.add("send refused");
            return false;
        }
        sent.push_back({payload, to, port, broadcast});
        log.add("send " + to.toString().toStdString() + ":" + std::to_string(port));
        return true;
    }
};

struct FakeClock : ClockPort {
    QTime now{10, 42, 7};
    QTime utcTimeOfDay() const override { return now; }
};

struct FakeTimer : TimerPort {
    explicit FakeTimer(EventLog& log) : log(log) {}
    EventLog& log;
    bool on = false;
    int interval = 0;
    void start(int ms) override { on = true; interval = ms; log.add("timer start"); }
    void stop() override { on = false; log.add("timer stop"); }
    bool running() const override { return on; }
};

struct FakeVoice : VoicePort {
    explicit FakeVoice(EventLog& log) : log(log) {}
    EventLog& log;
    bool rxCanOpen = true, captureCanOpen = true;
    bool rxOpen = false, captureOpen = false;
    int rxPort = 17016, txPort = 17016;
    long count = 0;
    std::vector<int> rxPorts;   // every port the receiver was set to, in order
    std::function<void()> dataAvailable;
    bool openReceiver() override { rxOpen = rxCanOpen; count = 0; log.add("voice rx-open"); return rxOpen; }
    void closeReceiver() override { rxOpen = false; log.add("voice rx-close"); }
    bool receiverActive() const override { return rxOpen; }
    void setReceiverPort(const QString& p) override
    {
        bool ok = false;
        int v = p.toInt(&ok);
        rxPort = ok ? v : 17380;
        rxPorts.push_back(rxPort);
        log.add("voice rx-port " + std::to_string(rxPort));
    }
    int receiverPort() const override { return rxPort; }
    long receiverCount() const override { return count; }
    void setSenderPort(const QString& p) override
    {
        bool ok = false;
        int v = p.toInt(&ok);
        txPort = ok ? v : 17380;
        log.add("voice tx-port " + std::to_string(txPort));
    }
    void closeSender() override { log.add("voice tx-close"); }
    bool openCapture() override { captureOpen = captureCanOpen; log.add("voice capture-open"); return captureOpen; }
    void closeCapture() override { captureOpen = false; log.add("voice capture-close"); }
    void setDataAvailableHandler(std::function<void()> h) override { dataAvailable = std::move(h); }
};

// A station with recorders for every port, its settings file in a fresh temporary folder.
struct StationRig {
    EventLog log;
    FakeUi ui{log};
    FakeCues cues{log};
    FakeDatagrams net{log};
    FakeClock clock;
    FakeVoice voice{log};
    FakeTimer rxTimer{log};
    QTemporaryDir folder;
    IniSettings settingsFile{settings_path(folder.path())};
    Station station{StationPorts{ui, cues, net, clock, voice, rxTimer, settingsFile}};
    StationProbe probe{station};

    StationRig() { ui.model = &station.panel(); }

    // Created and shown, as at the start of the program; the log then starts empty.
    void start()
    {
        station.create();
        station.show();
        log.clear();
        cues.played.clear();
    }
    void press(Key k, Mods m = {}) { station.mouseDown(k, m); }
    void release(Key k, Mods m = {}) { station.mouseUp(k, m); }
    void click(Key k, Mods m = {}) { press(k, m); release(k, m); }
    void type(const char* digits)
    {
        for (const char* c = digits; *c; ++c)
            click(keypadKey(*c - '0'));
    }
    QString line(int n) const { return station.panel().label(n).text; }
    bool bold(int n) const { return station.panel().label(n).bold; }
    int mode() const { return mode_number(station.state().panel_mode); }
};
