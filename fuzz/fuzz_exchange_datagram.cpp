// Feeds arbitrary datagrams to what the exchange does with one: the record check, both traffic
// log lines and the debriefing. The JSON line must always read back as one JSON object.
#include "exchange/debrief.h"
#include "exchange/log_format.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

void handle(const QByteArray& bytes, bool relayed) {
    // One time and sender for every datagram, as for a batch the exchange reads at once.
    static const QDateTime time(QDate(2026, 1, 2), QTime(10, 0));
    static const QString sender = QStringLiteral("10.0.0.5:4000");
    exchange::Traffic t = exchange::inspect(time, sender, bytes);
    t.relayed = relayed;
    if (exchange::logLine(t).contains(QLatin1Char('\n')))
        __builtin_trap();
    const QByteArray json = exchange::jsonLine(t);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject() || json.contains('\n')
        || doc.object().value(QStringLiteral("size")).toInt() != int(bytes.size()))
        __builtin_trap();
    if (t.problem.isEmpty() && doc.object().value(QStringLiteral("raw")).toString() != QString::fromLatin1(bytes))
        __builtin_trap();
    if (t.problem.isEmpty()) {
        exchange::Debrief debrief;
        debrief.observe(0, t.fields);
        debrief.observe(1000, t.fields);   // the same record again: a call and its answer may look alike
        (void)debrief.report();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    handle(bytes, size % 2 == 0);
    // The same bytes made printable and spliced into a complete record, so that well-formed
    // records with odd field contents are reached as often as junk.
    QByteArray printable = bytes.left(100);
    for (char& c : printable)
        c = char(0x20 + static_cast<unsigned char>(c) % 95);
    QByteArray record = "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,"
                        "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N";
    record.insert(qsizetype(size % size_t(record.size() + 1)), printable);
    handle(record, true);
    return 0;
}
