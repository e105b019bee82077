// SPDX-License-Identifier: GPL-3.0-or-later
// What the console shows of the classroom, copied on the relay's thread in one go so that the
// JSON and the HTML are made on the console's thread: the relay pays for a copy of bounded size
// (the debriefing follows a bounded number of stations and calls), never for the pages' work.
#pragma once

#include "exchange/classroom.h"
#include "exchange/console/record_book.h"
#include "exchange/watch_recorder.h"

#include <array>
#include <optional>

namespace exchange {

struct ClassroomView {
    struct ExerciseState {
        QString state;
        qint64 positionMs = 0;
        int events = 0, sent = 0;
    };

    Debrief debrief;
    std::vector<VirtualStation> stations;
    QHash<QByteArray, QString> addresses;
    std::vector<Classroom::Fired> fired;
    std::optional<ExerciseState> exercise;
    std::vector<BookEntry> rejected;   // the newest refused records
    qint64 rejectedTotal = 0;
    std::vector<VoiceTransmission> voice;
    qint64 startEpochMs = 0;

    // On the relay's thread. `voice`: the recorded transmissions, for the report.
    static ClassroomView of(const Classroom& room, const RecordBook& book,
                            const std::vector<VoiceTransmission>* voice = nullptr);
    static std::optional<ExerciseState> exerciseOf(const Classroom& room);
    // What the stations and calls shown depend on, but for the exercise and the time: the same
    // key, the same view.
    using Key = std::array<quint64, 3>;
    static Key keyOf(const Classroom& room, const RecordBook& book);

    // Wall-clock time (ms since the epoch) of a debriefing time.
    qint64 epochMs(qint64 ms) const { return startEpochMs + ms; }
    bool isVirtual(const QByteArray& mmsi) const;
    // "coast" or "ship" (virtual), "group", or "trainee".
    QString kindOf(const QByteArray& mmsi) const;
};

} // namespace exchange
