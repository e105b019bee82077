// The console's live stream: every page keeps a WebSocket open and receives the new records and
// the changes of the classroom as small JSON messages. Nothing here makes the relay wait: the relay
// hands each batch of records over in one piece; a thread of the stream's own collects them and
// writes the JSON of a message a few times a second, which is then only copied to the pages'
// sockets. A page that does not read them is dropped (it comes back and asks the API for what it
// missed).
#pragma once

#include "exchange/console/record_book.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <atomic>
#include <memory>
#include <vector>

namespace exchange {

// Lives on the stream's thread: collects records and writes the messages.
class StreamWriter : public QObject {
    Q_OBJECT
public:
    StreamWriter();
    void take(const std::vector<BookEntry>& batch);
    void markChanged();

    static constexpr int kFlushMs = 50;
    static constexpr size_t kMaxRecords = 200;   // per message: under a flood, the newest

signals:
    void message(const QByteArray& json);

private:
    void flush();

    std::vector<BookEntry> m_pending;
    qint64 m_skipped = 0;
    bool m_changed = false;
    QTimer m_timer{this};   // a child: it moves to the thread with the writer
};

class EventStream : public QObject {
    Q_OBJECT
public:
    explicit EventStream(QObject* parent = nullptr);
    ~EventStream() override;

    // Takes a connected page; `hello` is its first message.
    void add(std::unique_ptr<QWebSocket> client, const QByteArray& hello);
    // Records the relay has handled; they reach the pages within the flush interval.
    void post(std::vector<BookEntry> batch);
    // Something the records do not show changed (stations, the exercise).
    void changed();
    int clients() const { return int(m_clients.size()); }

    static constexpr qint64 kMaxQueuedBytes = 4 << 20;   // a page further behind than this is dropped

private:
    void broadcast(const QByteArray& json);
    void drop(QWebSocket* client);

    std::vector<std::unique_ptr<QWebSocket>> m_clients;
    QThread m_thread;
    StreamWriter* m_writer;
};

} // namespace exchange
