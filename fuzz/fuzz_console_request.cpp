// The console's readers of what browsers send: request bodies (a record to send, a station to add,
// an exercise action), the `since` of the records query, and the headers the access rules read.
// Any bytes give a value or a reason; and any text put into the report's HTML stays text.
#include "exchange/console/access_rules.h"
#include "exchange/console/html_text.h"
#include "exchange/console/request_reader.h"
#include "exchange/record_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    for (bool relayAll : {false, true}) {
        const auto sent = exchange::read_send_body(body, relayAll);
        // A record the console would send is one the relay itself accepts, unless told otherwise.
        if (const auto* record = std::get_if<QByteArray>(&sent); record && !relayAll && !exchange::recordProblem(*record).isEmpty())
            __builtin_trap();
    }
    std::vector<exchange::VirtualStation> known(1);
    known[0].name = QStringLiteral("Coast-Radio");
    known[0].mmsi = "002470001";
    const auto station = exchange::read_station_body(body, known);
    if (const auto* s = std::get_if<exchange::VirtualStation>(&station); s && (s->mmsi.size() != 9 || s->mmsi == "002470001"))
        __builtin_trap();
    (void)exchange::read_exercise_body(body);
    const auto named = exchange::read_name_body(body);
    if (const auto* n = std::get_if<0>(&named); n && (n->first.size() != 9 || n->second.isEmpty()))
        __builtin_trap();
    (void)exchange::read_since(QString::fromLatin1(body));

    // The same bytes as a request's Host, Origin, token and Authorization, a line each: only the
    // token itself lets anyone in.
    const QList<QByteArray> lines = body.split('\n');
    const auto line = [&](int i) { return i < lines.size() ? lines[i] : QByteArray(); };
    exchange::Caller caller{QString::fromLatin1(line(0)), line(1), QString::fromLatin1(line(2)), line(3), size % 2 == 1};
    exchange::AccessRules rules;
    const QString secret = QStringLiteral("0123456789abcdef0123456789abcdef");
    rules.setCredential(exchange::Area::Instructor, secret);
    if (rules.check(exchange::Area::Instructor, caller) == exchange::Verdict::Allowed && caller.token != secret
        && caller.authorization != "Bearer " + secret.toLatin1())
        __builtin_trap();
    (void)exchange::AccessRules().check(exchange::Area::Instructor, caller);

    const QString text = exchange::html(QString::fromUtf8(body));
    if (text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('>')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\'')))
        __builtin_trap();
    return 0;
}
