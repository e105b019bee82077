// SPDX-License-Identifier: GPL-3.0-or-later
// The evaluation report of an exercise: per station the calls it made and answered with the
// response times, what it left unanswered, the records refused, and per exercise event who
// reacted and how fast. As JSON for the console and as a printable HTML page.
#pragma once

#include <QJsonObject>
#include <QString>

namespace exchange {

struct ClassroomView;

QJsonObject evaluationJson(const ClassroomView& room);

// Where the report's play buttons find a recording: prefix + file + suffix. `inPage`: a player in
// the page (the console serves the sound); otherwise a link to the file itself.
struct ReportAudio {
    QString prefix, suffix;
    bool inPage = false;
};

// A whole HTML page, styled for the screen and for printing, from evaluationJson().
QByteArray evaluationHtml(const QJsonObject& evaluation, const ReportAudio& audio = {});

} // namespace exchange
