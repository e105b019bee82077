// SPDX-License-Identifier: GPL-3.0-or-later
// A whole station wired as the program wires it, with its real voice chains (sending to
// loopback) and recorders for the window, cues, DSC and clock; its pauses are really slept. The
// voice benchmarks drive it through its keys.
#pragma once

#include "audio/voice_net.h"
#include "station/station.h"
#include "support/fakes.h"
#include "voice_bench.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace vbench {

// Sleeps the station's pauses and counts them.
struct SleepingUi : FakeUi {
    using FakeUi::FakeUi;
    int slept = 0;
    void sleep(int ms) override
    {
        slept += ms;
        QThread::msleep(ulong(ms));
    }
};

struct VoiceStation {
    // A program folder whose settings give `basePort`; the microphone on `soundServer` (empty: the
    // user's). `ready` is false when the settings file could not be written.
    VoiceStation(QObject* app, int basePort, const QString& soundServer = {})
        : voice(voice_net(broadcastTX, broadcastRX), app, soundServer)
    {
        QFile ini(folder.filePath("radiosim.ini"));
        ready = ini.open(QIODevice::WriteOnly)
            && ini.write("[radio]\nbase_port=" + QByteArray::number(basePort) + "\n") > 0;
    }
    // The window's creation and first showing: settings read, the receiver open on channel 16.
    void start()
    {
        station.create();
        station.show();
    }

    QTemporaryDir folder;
    bool ready = false;
    BroadcastTX broadcastTX{kLoopback};
    BroadcastRX broadcastRX;
    VoiceChains voice;
    EventLog log;
    SleepingUi ui{log};
    FakeCues cues{log};
    FakeDatagrams dsc{log};
    FakeClock clock;
    FakeTimer rxTimer{log};
    IniSettings settingsFile{settings_path(folder.path())};
    Station station{StationPorts{ui, cues, dsc, clock, voice, rxTimer, settingsFile}};
};

} // namespace vbench
