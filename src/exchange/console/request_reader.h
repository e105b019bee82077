// SPDX-License-Identifier: GPL-3.0-or-later
// Readers of what the instructor's console receives over HTTP: request bodies and query values.
// They are the console's outside input: any bytes give a value or the reason they are refused.
#pragma once

#include "exchange/virtual_station.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace exchange {

// The largest request body the console reads.
constexpr qsizetype kMaxBodyBytes = 64 * 1024;

// POST /api/send: {"text": RECORD} or {"fields": {"from": .., "to": .., "call": .., "category": ..,
// "channel": .., "nature": .., "pos": "43 28 N 009 15 E", "time": "hh:mm", "comply": "Y"}} with the
// names and checks of `kelvo-exchange compose`. Returns the record to deliver, or what is wrong.
// A text that is not a well-formed record is refused unless `relayAll`.
std::variant<QByteArray, QString> read_send_body(const QByteArray& body, bool relayAll);

// POST /api/stations: {"kind": "coast"|"ship", "name": .., "mmsi": .., "channel": N, "pos": ".."}.
// `known` are the stations already hosted: names and MMSIs must not repeat.
std::variant<VirtualStation, QString> read_station_body(const QByteArray& body,
                                                        const std::vector<VirtualStation>& known);

// POST /api/names: {"mmsi": .., "name": ..}, the instructor's name for a trainee's station.
// Returns {mmsi, name} or what is wrong.
std::variant<std::pair<QByteArray, QString>, QString> read_name_body(const QByteArray& body);

// POST /api/exercise: {"action": "start"|"pause"|"stop"}.
std::variant<QString, QString> read_exercise_body(const QByteArray& body);

// The `since` of GET /api/records: a whole number from 0; nullopt when it is not one.
std::optional<qint64> read_since(const QString& value);

} // namespace exchange
