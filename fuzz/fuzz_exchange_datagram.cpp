// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary datagrams to what the exchange does with one: the record check, both traffic
// log lines, the debriefing, and the practice partners' answers with the words they speak after
// them. The JSON line must always read back as one JSON object; a partner answers a well-formed
// record with a well-formed record of its own, addressed to the caller.
#include "exchange/debrief.h"
#include "exchange/log_format.h"
#include "exchange/record_check.h"
#include "exchange/spoken_answer.h"
#include "exchange/virtual_host.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

using namespace exchange;

// Delayed work is kept and run when the datagram has been handled, as the event loop would.
struct Later : Scheduler {
    std::vector<std::function<void()>> due;
    void after(int, std::function<void()> work) override { due.push_back(std::move(work)); }
    QTime utcTimeOfDay() const override { return QTime(9, 41); }
};

std::vector<VirtualStation> partners()
{
    VirtualStation coast;
    coast.kind = VirtualStation::Coast;
    coast.name = QStringLiteral("Coast-1");
    coast.mmsi = "002470001";
    coast.workingChannel = 12;
    VirtualStation ship;
    ship.name = QStringLiteral("Ship-1");
    ship.mmsi = "211222333";
    ship.workingChannel = 72;
    return {coast, ship};
}

struct Exchange {
    Later later;
    Debrief debrief;
    qint64 ms = 0;
    VirtualHost host{partners(), 4000, later, [this](const QByteArray& answer, const QString& from) { answered(answer, from); }};
    const QByteArray* caller = nullptr;   // the record being answered

    void handle(const QByteArray& bytes, bool relayed)
    {
        // One time and sender for every datagram, as for a batch the exchange reads at once.
        static const QDateTime time(QDate(2026, 1, 2), QTime(10, 0));
        static const QString sender = QStringLiteral("10.0.0.5:4000");
        Traffic t = inspect(time, sender, bytes);
        t.relayed = relayed;
        if (logLine(t).contains(QLatin1Char('\n')))
            __builtin_trap();
        const QByteArray json = jsonLine(t);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject() || json.contains('\n')
            || doc.object().value(QStringLiteral("size")).toInt() != int(bytes.size()))
            __builtin_trap();
        if (t.problem.isEmpty() && doc.object().value(QStringLiteral("raw")).toString() != QString::fromLatin1(bytes))
            __builtin_trap();
        if (!t.problem.isEmpty() && !relayed)
            return;
        // A relayed record: debriefed, and answered by the partners it concerns.
        debrief.observe(ms += 1000, t.fields);
        caller = t.problem.isEmpty() ? &bytes : nullptr;
        host.onRecord(t.fields);
        for (auto& work : std::exchange(later.due, {}))
            work();
        caller = nullptr;
    }

    void answered(const QByteArray& answer, const QString& from)
    {
        dsc::DscRecord a, rx;
        dsc::Decodifica_stringa(answer, a);
        if (caller) {
            dsc::Decodifica_stringa(*caller, rx);
            if (!recordProblem(answer).isEmpty() || a.RXMMSI != rx.TXMMSI || !host.isVirtual(a.TXMMSI))
                __builtin_trap();
        }
        // The answer goes through the exchange like any record (partners ignore one another's).
        debrief.observe(ms += 4000, inspect(QDateTime(), from, answer).fields);
        host.onRecord(a);
        static const PartnerPhrases phrases;
        const auto spoken = spoken_answer(phrases, from, answer);
        if (spoken && (spoken->text.isEmpty() || spoken->text.size() > 6 * PartnerPhrases::max_phrase_chars * 10))
            __builtin_trap();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Exchange exchange;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    exchange.handle(bytes, size % 2 == 0);
    // The same bytes made printable and spliced into a complete record, so that well-formed
    // records with odd field contents are reached as often as junk.
    QByteArray printable = bytes.left(100);
    for (char& c : printable)
        c = char(0x20 + static_cast<unsigned char>(c) % 95);
    QByteArray record = "TXMMSI=274111001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,"
                        "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N";
    record.insert(qsizetype(size % size_t(record.size() + 1)), printable);
    exchange.handle(record, true);
    (void)exchange.debrief.report();
    return 0;
}
