// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/debrief.h"

namespace exchange {
namespace {

QString seconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg((ms + 500) / 1000);
}

QString trimmed(const QByteArray& field)
{
    return dsc::cp1252(field).trimmed();
}

} // namespace

QString Debrief::who(const QByteArray& mmsi) const
{
    const QString m = dsc::cp1252(mmsi);
    const auto it = m_names.find(mmsi);
    return it == m_names.end() ? m : QStringLiteral("%1 (%2)").arg(*it, m);
}

bool Debrief::follows(const QByteArray& mmsi)
{
    if (m_counts.contains(mmsi))
        return true;
    if (m_counts.size() >= kMaxStations && !m_names.contains(mmsi))
        return false;
    m_counts.insert(mmsi, Counts{});
    return true;
}

int Debrief::observe(qint64 ms, const dsc::DscRecord& r)
{
    const bool addressed = r.CALL == dsc::CALL_INDIVID || r.CALL == dsc::CALL_GROUP
        || (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DIST_ACK);
    const bool toOther = addressed && r.RXMMSI != r.TXMMSI;
    // A record of a station not followed, or to one, is left out whole.
    if (!follows(r.TXMMSI) || (toOther && r.RXMMSI != dsc::ALL_SHIPS_MMSI && !follows(r.RXMMSI))) {
        ++m_dropped.records;
        return -1;
    }
    ++m_version;
    m_counts[r.TXMMSI].sent++;
    if (toOther)
        m_counts[r.RXMMSI].received++;

    auto open = [&](const QString& kind, const QByteArray& to, const QByteArray& answerCategory) {
        if (m_calls.size() >= kMaxCalls) {
            ++m_dropped.calls;
            return -1;
        }
        Call c;
        c.ms = ms;
        c.from = r.TXMMSI;
        c.to = to;
        c.kind = kind;
        c.answerCategory = answerCategory;
        m_calls.push_back(c);
        return int(m_calls.size()) - 1;
    };
    // An answer closes the oldest open call it answers.
    auto close = [&](const QByteArray& answerCategory, auto matches) {
        for (Call& c : m_calls)
            if (c.answeredMs < 0 && c.answerCategory == answerCategory && matches(c)) {
                c.answeredMs = ms;
                c.answeredBy = r.TXMMSI;
                if (answerCategory == dsc::CAT_ROUT_ACK)
                    c.outcome = r.COMPLY == "Y" ? QStringLiteral("able to comply, channel %1").arg(trimmed(r.CH))
                                                : QStringLiteral("unable to comply");
                return -1;
            }
        return -1;
    };
    if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_ROUT_ACK) {
        return close(dsc::CAT_ROUT_ACK, [&](const Call& c) { return c.from == r.RXMMSI && c.to == r.TXMMSI; });
    } else if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_POS_ACK) {
        return close(dsc::CAT_POS_ACK, [&](const Call& c) { return c.from == r.RXMMSI && c.to == r.TXMMSI; });
    } else if (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DIST_ACK) {
        return close(dsc::CAT_DIST_ACK, [&](const Call& c) { return c.from == r.RXMMSI; });
    } else if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_POS_REQ) {
        return open(QStringLiteral("position request"), r.RXMMSI, dsc::CAT_POS_ACK);
    } else if (r.CALL == dsc::CALL_INDIVID) {
        return open(QStringLiteral("individual %1 call").arg(trimmed(r.CATEGORY)), r.RXMMSI, dsc::CAT_ROUT_ACK);
    } else if (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DISTRESS) {
        const QString nature = dsc::nature_name(dsc::leading_number(r.DANGER));
        return open(nature.isEmpty() ? QStringLiteral("distress alert") : QStringLiteral("distress alert (%1)").arg(nature),
             {}, dsc::CAT_DIST_ACK);
    }
    return -1;
}

QString Debrief::report() const
{
    QStringList out;
    out << QStringLiteral("Debriefing");
    for (auto it = m_counts.begin(); it != m_counts.end(); ++it)
        out << QStringLiteral("  %1: %2 sent, %3 received").arg(who(it.key())).arg(it->sent).arg(it->received);
    QStringList answered, open;
    for (const Call& c : m_calls) {
        const QString to = c.to.isEmpty() ? QString() : QStringLiteral(" to %1").arg(who(c.to));
        if (c.answeredMs >= 0) {
            QString line = QStringLiteral("  %1 from %2%3 acknowledged by %4 after %5")
                               .arg(c.kind, who(c.from), to, who(c.answeredBy), seconds(c.answeredMs - c.ms));
            if (!c.outcome.isEmpty())
                line += QStringLiteral(": ") + c.outcome;
            answered << line;
        } else {
            open << QStringLiteral("  %1 from %2%3 at +%4: no answer").arg(c.kind, who(c.from), to, seconds(c.ms));
        }
    }
    if (!answered.isEmpty())
        out << QStringLiteral("Acknowledged:") << answered;
    if (!open.isEmpty())
        out << QStringLiteral("Left unanswered:") << open;
    if (m_counts.isEmpty())
        out << QStringLiteral("  no records");
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace exchange
