// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON the console's API answers with: records, stations with the calls in flight, and the
// exercise's state.
#pragma once

#include "exchange/console/classroom_view.h"
#include "exchange/console/record_book.h"

#include <QJsonObject>
#include <vector>

namespace exchange {


// One record: {"seq":N,"origin":..} followed by the fields of the JSON log line.
QByteArray recordJson(const BookEntry& e);
// A JSON array of records.
QByteArray recordsJson(const std::vector<const BookEntry*>& entries);

// {"now", "stations": [...], "calls": [...], "callsTotal", "exercise": {...}|null}. Each station
// lists at most kMaxOwesListed calls it owes an answer to ("owesMore": the others); "calls" holds
// the first kMaxCallsListed, distress alerts first, then the newest.
constexpr qsizetype kMaxOwesListed = 8;
constexpr size_t kMaxCallsListed = 100;
QJsonObject stationsJson(const ClassroomView& room);
// {"state", "positionMs", "events", "sent"} or null.
QJsonValue exerciseJson(const std::optional<ClassroomView::ExerciseState>& exercise);

// What the form offers: {"natures": [{"code", "name"}], "calls": [...], "categories": [...]}.
QJsonObject metaJson();

} // namespace exchange
