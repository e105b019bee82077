// SPDX-License-Identifier: GPL-3.0-or-later
// The console's live stream: every page keeps a WebSocket open and receives the new records and
// the changes of the classroom as small JSON messages, a few times a second. It lives on the
// console's thread: the relay only hands it each batch of records. A page that does not read its
// messages is dropped (it comes back and asks the API for what it missed).
#pragma once

#include "exchange/console/record_book.h"

#include <QObject>
#include <QTimer>
#include <QWebSocket>
#include <atomic>
#include <memory>
#include <vector>

namespace exchange {

class EventStream : public QObject {
    Q_OBJECT
public:
    explicit EventStream(QObject* parent = nullptr);
    ~EventStream() override;

    // Takes a connected page; `hello` is its first message.
    void add(std::unique_ptr<QWebSocket> client, const QByteArray& hello);
    // Records the relay has handled; they reach the pages within the flush interval.
    void take(const std::vector<BookEntry>& batch);
    // Something the records do not show changed (stations, the exercise).
    void changed();
    // Sends one message to every page now (the voice channels' lights).
    void send(const QByteArray& message);
    // Safe to read from any thread.
    int clients() const { return m_count; }

    static constexpr int kFlushMs = 50;
    static constexpr size_t kMaxRecords = 200;            // per message: under a flood, the newest
    static constexpr qint64 kMaxQueuedBytes = 4 << 20;    // a page further behind than this is dropped

private:
    void flush();
    void drop(QWebSocket* client);

    std::vector<std::unique_ptr<QWebSocket>> m_clients;
    std::atomic<int> m_count{0};
    std::vector<BookEntry> m_pending;
    qint64 m_skipped = 0;
    bool m_changed = false;
    QTimer m_timer{this};
};

} // namespace exchange
