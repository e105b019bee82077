// SPDX-License-Identifier: GPL-3.0-or-later
// Exercise scripts and station lists as the instructor writes them (--exercise, --stations): any
// text is read or refused with its line. A script that is read names only stations it declares
// (or the one given on the command line), keeps its events in time order, and every event sends a
// well-formed record from its station.
#include "exchange/exercise.h"
#include "exchange/record_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace exchange;
    static const std::vector<VirtualStation> known = [] {
        VirtualStation s;
        s.kind = VirtualStation::Coast;
        s.name = QStringLiteral("Coast-1");
        s.mmsi = "002470001";
        return std::vector<VirtualStation>{s};
    }();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto parsed = parse_exercise(text, known);
    if (const auto* error = std::get_if<ParseError>(&parsed)) {
        if (error->line < 1 || error->message.isEmpty())
            __builtin_trap();
        return 0;
    }
    const Exercise& ex = std::get<Exercise>(parsed);
    int lastOffset = 0;
    for (const ExerciseEvent& e : ex.events) {
        const VirtualStation* from = ex.find(e.station);
        if (!from || e.offsetMs < lastOffset || e.offsetMs > (24 * 3600 + 59) * 1000)
            __builtin_trap();
        lastOffset = e.offsetMs;
        const QByteArray record = event_record(e, *from, QTime(23, 59));
        dsc::DscRecord r;
        dsc::Decodifica_stringa(record, r);
        if (!recordProblem(record).isEmpty() || r.TXMMSI != from->mmsi)
            __builtin_trap();
    }
    return 0;
}
