// SPDX-License-Identifier: GPL-3.0-or-later
// Exercise scripts and station lists: plain text an instructor writes by hand, one entry a line.
//
//   # comments start with '#'
//   coast  Coast-Radio 002470001 pos 43 28 N 009 15 E channel 16
//   ship   Aurora      211222333 pos 44 10 N 008 55 E group 021122200
//   at 0:10 Coast-Radio allships SAFETY channel 16
//   at 0:40 Aurora      distress 3
//   at 1:30 Coast-Radio posreq 274111001
//   at 2:00 Coast-Radio call 274111001 ROUTINE channel 72
//   at 2:30 Aurora      group 027411101 channel 77
//
// Offsets are seconds ("90") or minutes and seconds ("1:30") from the start of the exercise.
#pragma once

#include "exchange/virtual_station.h"

#include <QString>
#include <variant>
#include <vector>

namespace exchange {

struct ExerciseEvent {
    enum Kind { AllShips, Distress, PosReq, Call, Group };
    int line = 0;
    int offsetMs = 0;
    QString station;          // name or MMSI of a declared station
    Kind kind = AllShips;
    QByteArray to;            // addressed MMSI or group
    QByteArray category = "ROUTINE ";
    int channel = 16;
    int nature = 1;
};

struct Exercise {
    std::vector<VirtualStation> stations;
    std::vector<ExerciseEvent> events;   // in order of their offsets
    const VirtualStation* find(const QString& nameOrMmsi) const;
};

struct ParseError {
    int line = 0;
    QString message;
    QString text() const { return QStringLiteral("line %1: %2").arg(line).arg(message); }
};

// Parses a whole script; every error carries the number of its line. `known` are stations declared
// elsewhere (command line) that events may name.
std::variant<Exercise, ParseError> parse_exercise(const QString& text,
                                                  const std::vector<VirtualStation>& known = {});

// The record an event sends, built from its station.
QByteArray event_record(const ExerciseEvent& e, const VirtualStation& from, QTime utc);

} // namespace exchange
