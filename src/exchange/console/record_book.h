// SPDX-License-Identifier: GPL-3.0-or-later
// Every datagram the exchange took in or sent, numbered in order, for the instructor's console.
#pragma once

#include "exchange/log_format.h"

#include <QHash>
#include <deque>

namespace exchange {

struct BookEntry {
    qint64 seq = 0;        // 1, 2, 3 ... in the order the exchange saw them
    Traffic traffic;
    const char* origin = "station";   // "station", "virtual station" or "instructor"
};

class RecordBook {
public:
    explicit RecordBook(size_t capacity = 50000) : m_capacity(capacity) {}

    // Takes a datagram; `fromVirtualStation` tells the origin of a record the exchange sent itself.
    const BookEntry& add(const Traffic& t, bool fromVirtualStation);

    // At most `max` entries with a sequence number above `seq`, oldest first. Beyond the capacity
    // the oldest entries are forgotten.
    std::vector<const BookEntry*> since(qint64 seq, size_t max = SIZE_MAX) const;
    const std::deque<BookEntry>& entries() const { return m_entries; }
    qint64 lastSeq() const { return m_seq; }

    static constexpr qsizetype kMaxAddresses = 1024;
    // The address a station last sent from ("10.0.0.12:53393"), empty if it never did.
    QString addressOf(const QByteArray& mmsi) const { return m_addresses.value(mmsi); }
    const QHash<QByteArray, QString>& addresses() const { return m_addresses; }
    quint64 addressesVersion() const { return m_addressesVersion; }   // grows with every change

    // The newest refused records (at most kRejectedKept), and how many were refused in all.
    static constexpr size_t kRejectedKept = 100;
    const std::deque<BookEntry>& rejected() const { return m_rejected; }
    qint64 rejectedTotal() const { return m_rejectedTotal; }

private:
    size_t m_capacity;
    std::deque<BookEntry> m_entries;
    qint64 m_seq = 0;
    QHash<QByteArray, QString> m_addresses;
    quint64 m_addressesVersion = 0;
    std::deque<BookEntry> m_rejected;
    qint64 m_rejectedTotal = 0;
};

} // namespace exchange
