// The JSON the console's API answers with: records, stations with the calls in flight, and the
// exercise's state.
#pragma once

#include "exchange/console/record_book.h"

#include <QJsonObject>
#include <vector>

namespace exchange {

class Classroom;

// One record: {"seq":N,"origin":..} followed by the fields of the JSON log line.
QByteArray recordJson(const BookEntry& e);
// A JSON array of records.
QByteArray recordsJson(const std::vector<const BookEntry*>& entries);

// {"now", "stations": [...], "calls": [...], "exercise": {...}|null}
QJsonObject stationsJson(const Classroom& classroom, const RecordBook& book);

// What the form offers: {"natures": [{"code", "name"}], "calls": [...], "categories": [...]}.
QJsonObject metaJson();

// The kind of a station by its MMSI: "coast" or "ship" (virtual), "group", or "trainee".
QString stationKind(const Classroom& classroom, const QByteArray& mmsi);

} // namespace exchange
