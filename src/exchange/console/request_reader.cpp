// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/request_reader.h"

#include "exchange/compose_fields.h"
#include "exchange/exercise.h"
#include "exchange/record_check.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace exchange {
namespace {

std::variant<QJsonObject, QString> object_of(const QByteArray& body)
{
    if (body.size() > kMaxBodyBytes)
        return QStringLiteral("the body is larger than %1 bytes").arg(kMaxBodyBytes);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("the body is not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset);
    if (!doc.isObject())
        return QStringLiteral("the body is not a JSON object");
    return doc.object();
}

// A field value as text: strings as they are, whole numbers written out.
std::optional<QString> text_of(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    // In range before it is converted: a number beyond qint64 has no whole value to compare with.
    if (v.isDouble() && std::abs(v.toDouble()) < 1e9 && v.toDouble() == double(qint64(v.toDouble())))
        return QString::number(qint64(v.toDouble()));
    return std::nullopt;
}

} // namespace

std::variant<QByteArray, QString> read_send_body(const QByteArray& body, bool relayAll)
{
    auto parsed = object_of(body);
    if (auto* problem = std::get_if<QString>(&parsed))
        return *problem;
    const QJsonObject o = std::get<QJsonObject>(parsed);
    if (o.contains(QLatin1String("text")) == o.contains(QLatin1String("fields")))
        return QStringLiteral("the body holds either \"text\" or \"fields\"");
    if (o.contains(QLatin1String("text"))) {
        if (!o.value(QLatin1String("text")).isString())
            return QStringLiteral("\"text\" is the record as a string");
        const QByteArray record = o.value(QLatin1String("text")).toString().toUtf8();
        const QString problem = recordProblem(record);
        if (!problem.isEmpty() && !relayAll)
            return QStringLiteral("not a well-formed record (%1)").arg(problem);
        return record;
    }
    if (!o.value(QLatin1String("fields")).isObject())
        return QStringLiteral("\"fields\" is an object of named fields");
    const QJsonObject fields = o.value(QLatin1String("fields")).toObject();
    static const char* const names[] = {"from", "to", "call", "category", "channel", "nature", "pos", "time", "comply"};
    QStringList args;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        if (std::none_of(std::begin(names), std::end(names), [&](const char* n) { return it.key() == QLatin1String(n); }))
            return QStringLiteral("unknown field \"%1\"").arg(it.key());
        const auto value = text_of(it.value());
        if (!value)
            return QStringLiteral("field \"%1\" is not a string").arg(it.key());
        if (value->trimmed().isEmpty())
            continue;   // a field left empty on the form
        args << QStringLiteral("--") + it.key();
        if (it.key() == QLatin1String("pos"))
            args << value->split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        else
            args << value->trimmed();
    }
    auto record = compose_from_fields(args);
    if (auto* problem = std::get_if<QString>(&record)) {
        // The command line's names, as the form names them.
        return problem->replace(QRegularExpression(QStringLiteral("--([a-z]+)")), QStringLiteral("\"\\1\""));
    }
    return std::get<QByteArray>(record);
}

std::variant<VirtualStation, QString> read_station_body(const QByteArray& body,
                                                        const std::vector<VirtualStation>& known)
{
    auto parsed = object_of(body);
    if (auto* problem = std::get_if<QString>(&parsed))
        return *problem;
    const QJsonObject o = std::get<QJsonObject>(parsed);
    const QString kind = o.value(QLatin1String("kind")).toString();
    const QString name = o.value(QLatin1String("name")).toString();
    const auto mmsi = text_of(o.value(QLatin1String("mmsi")));
    if (kind != QLatin1String("coast") && kind != QLatin1String("ship"))
        return QStringLiteral("\"kind\" is coast or ship");
    static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9_.-]{1,24}$"));
    if (!word.match(name).hasMatch())
        return QStringLiteral("\"name\" is one word of letters, digits, '-', '_' or '.' (at most 24)");
    if (!mmsi || !QRegularExpression(QStringLiteral("^[0-9]{9}$")).match(*mmsi).hasMatch())
        return QStringLiteral("\"mmsi\" is nine digits");
    // The station-list line the same station would have in a file: one reader, one set of checks.
    QString line = QStringLiteral("%1 %2 %3").arg(kind, name, *mmsi);
    if (o.contains(QLatin1String("channel"))) {
        const auto channel = text_of(o.value(QLatin1String("channel")));
        if (!channel || !QRegularExpression(QStringLiteral("^[0-9]{1,2}$")).match(*channel).hasMatch())
            return QStringLiteral("\"channel\" is a working channel number");
        line += QStringLiteral(" channel ") + *channel;
    }
    if (o.contains(QLatin1String("pos"))) {
        const QString pos = o.value(QLatin1String("pos")).toString();
        static const QRegularExpression six(QStringLiteral("^\\s*([0-9]+\\s+){2}[NSns]\\s+([0-9]+\\s+){2}[EWew]\\s*$"));
        if (!six.match(pos).hasMatch())
            return QStringLiteral("\"pos\" reads 43 28 N 009 15 E");
        line += QStringLiteral(" pos ") + pos.simplified();
    }
    auto ex = parse_exercise(line, known);
    if (auto* e = std::get_if<ParseError>(&ex))
        return e->message;
    return std::get<Exercise>(ex).stations.back();
}

std::variant<std::pair<QByteArray, QString>, QString> read_name_body(const QByteArray& body)
{
    auto parsed = object_of(body);
    if (auto* problem = std::get_if<QString>(&parsed))
        return *problem;
    const QJsonObject o = std::get<QJsonObject>(parsed);
    const auto mmsi = text_of(o.value(QLatin1String("mmsi")));
    const QString name = o.value(QLatin1String("name")).toString().simplified();
    if (!mmsi || !QRegularExpression(QStringLiteral("^[0-9]{9}$")).match(*mmsi).hasMatch())
        return QStringLiteral("\"mmsi\" is nine digits");
    static const QRegularExpression printable(QStringLiteral("^[^\\x00-\\x1f\\x7f]{1,32}$"));
    if (!printable.match(name).hasMatch())
        return QStringLiteral("\"name\" is 1 to 32 printable characters");
    return std::pair{mmsi->toLatin1(), name};
}

std::variant<QString, QString> read_exercise_body(const QByteArray& body)
{
    auto parsed = object_of(body);
    if (auto* problem = std::get_if<QString>(&parsed))
        return std::variant<QString, QString>(std::in_place_index<1>, *problem);
    const QString action = std::get<QJsonObject>(parsed).value(QLatin1String("action")).toString();
    if (action != QLatin1String("start") && action != QLatin1String("pause") && action != QLatin1String("stop"))
        return std::variant<QString, QString>(std::in_place_index<1>, QStringLiteral("\"action\" is start, pause or stop"));
    return std::variant<QString, QString>(std::in_place_index<0>, action);
}

std::optional<qint64> read_since(const QString& value)
{
    if (value.isEmpty())
        return 0;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,15}$"));
    if (!digits.match(value).hasMatch())
        return std::nullopt;
    return value.toLongLong();
}

} // namespace exchange
