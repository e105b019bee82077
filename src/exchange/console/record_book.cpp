// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/record_book.h"

namespace exchange {

const BookEntry& RecordBook::add(const Traffic& t, bool fromVirtualStation)
{
    BookEntry e;
    e.seq = ++m_seq;
    e.traffic = t;
    const bool fromNetwork = t.sender.contains(QLatin1Char(':'));
    if (t.sender == QLatin1String("instructor"))
        e.origin = "instructor";
    else if (fromVirtualStation && !fromNetwork)
        e.origin = "virtual station";
    // Addresses of a bounded number of stations: records from ever new MMSIs add none.
    if (fromNetwork && t.problem.isEmpty()
        && (m_addresses.size() < kMaxAddresses || m_addresses.contains(t.fields.TXMMSI))) {
        QString& address = m_addresses[t.fields.TXMMSI];
        if (address != t.sender) {
            address = t.sender;
            ++m_addressesVersion;
        }
    }
    if (!t.problem.isEmpty()) {
        ++m_rejectedTotal;
        if (m_rejected.size() >= kRejectedKept)
            m_rejected.pop_front();
        m_rejected.push_back(e);
    }
    if (m_entries.size() >= m_capacity)
        m_entries.pop_front();
    m_entries.push_back(std::move(e));
    return m_entries.back();
}

std::vector<const BookEntry*> RecordBook::since(qint64 seq, size_t max) const
{
    std::vector<const BookEntry*> out;
    if (m_entries.empty() || seq >= m_seq)
        return out;
    // Sequence numbers are consecutive: the first wanted entry is found by subtraction.
    const qint64 first = m_entries.front().seq;
    const size_t skip = size_t(std::max<qint64>(0, seq + 1 - first));
    for (size_t i = skip; i < m_entries.size() && out.size() < max; ++i)
        out.push_back(&m_entries[i]);
    return out;
}

} // namespace exchange
