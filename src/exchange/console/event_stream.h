// The console's live stream: every page keeps a WebSocket open and receives the new records and
// the changes of the classroom as small JSON messages. Nothing here ever waits for a page: messages
// go out together a few times a second, and a page that does not read them is dropped (it comes
// back and asks the API for what it missed).
#pragma once

#include <QObject>
#include <QTimer>
#include <QWebSocket>
#include <functional>
#include <memory>
#include <vector>

namespace exchange {

class EventStream : public QObject {
    Q_OBJECT
public:
    // `pending` builds the message of what happened since the last one (empty: nothing new).
    using Collect = std::function<QByteArray()>;
    explicit EventStream(Collect collect, QObject* parent = nullptr);
    ~EventStream() override;

    // Takes a connected page; `hello` is its first message.
    void add(std::unique_ptr<QWebSocket> client, const QByteArray& hello);
    // Something new: a message goes out within the flush interval.
    void poke();
    int clients() const { return int(m_clients.size()); }

    static constexpr int kFlushMs = 50;
    static constexpr qint64 kMaxQueuedBytes = 4 << 20;   // a page further behind than this is dropped

private:
    void flush();
    void drop(QWebSocket* client);

    Collect m_collect;
    std::vector<std::unique_ptr<QWebSocket>> m_clients;
    QTimer m_timer;
};

} // namespace exchange
