// SPDX-License-Identifier: GPL-3.0-or-later
// The console's JSON answers, shared by its routes and its actions.
#pragma once

#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>

namespace exchange {

using HttpStatus = QHttpServerResponse::StatusCode;

inline QHttpServerResponse json(const QByteArray& body, HttpStatus status = HttpStatus::Ok)
{
    QHttpServerResponse r(QByteArrayLiteral("application/json"), body, status);
    r.setHeader("Cache-Control", "no-store");
    return r;
}

inline QHttpServerResponse json(const QJsonObject& o, HttpStatus status = HttpStatus::Ok)
{
    return json(QJsonDocument(o).toJson(QJsonDocument::Compact), status);
}

inline QHttpServerResponse problem(const QString& text, HttpStatus status = HttpStatus::BadRequest)
{
    return json(QJsonObject{{"error", text}}, status);
}

} // namespace exchange
