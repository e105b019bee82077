// The console's readers of what browsers send: request bodies (a record to send, a station to add,
// an exercise action) and the `since` of the records query. Any bytes give a value or a reason.
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
    return 0;
}
