// The evaluation report of an exercise: per station the calls it made and answered with the
// response times, what it left unanswered, the records refused, and per exercise event who
// reacted and how fast. As JSON for the console and as a printable HTML page.
#pragma once

#include "exchange/console/record_book.h"

#include <QJsonObject>

namespace exchange {

class Classroom;

QJsonObject evaluationJson(const Classroom& classroom, const RecordBook& book);

// A whole HTML page, styled for the screen and for printing, from evaluationJson().
QByteArray evaluationHtml(const QJsonObject& evaluation);

} // namespace exchange
