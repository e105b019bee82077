// SPDX-License-Identifier: GPL-3.0-or-later
// A watch recorder on free voice ports, writing into a folder of its own, with the transmissions
// it tells collected in `ended`. start() says whether it took its ports (`error` says why not).
#pragma once

#include "exchange/watch_recorder.h"
#include "support/voice_talker.h"

#include <QTemporaryDir>
#include <vector>

struct RecorderRig {
    // `silenceMs` 0 keeps the recorder's own silence that ends a transmission.
    explicit RecorderRig(int silenceMs = 0) : base(freeVoiceBase()), recorder(dir.path(), base)
    {
        if (silenceMs)
            recorder.setSilenceMs(silenceMs);
        QObject::connect(&recorder, &exchange::WatchRecorder::ended,
                         [this](const exchange::VoiceTransmission& t) { ended.push_back(t); });
    }
    bool start() { return base != 0 && recorder.start(error); }

    int base;
    QTemporaryDir dir;
    exchange::WatchRecorder recorder;
    std::vector<exchange::VoiceTransmission> ended;
    QString error;
};
