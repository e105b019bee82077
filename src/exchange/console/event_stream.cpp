#include "exchange/console/event_stream.h"

#include <algorithm>

namespace exchange {

EventStream::EventStream(Collect collect, QObject* parent) : QObject(parent), m_collect(std::move(collect))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &EventStream::flush);
}

EventStream::~EventStream()
{
    for (auto& c : m_clients)
        c->disconnect(this);
}

void EventStream::add(std::unique_ptr<QWebSocket> client, const QByteArray& hello)
{
    QWebSocket* c = client.get();
    connect(c, &QWebSocket::disconnected, this, [this, c] { drop(c); });
    // Pages only listen; anything they send is read and forgotten.
    connect(c, &QWebSocket::textMessageReceived, this, [] {});
    c->sendTextMessage(QString::fromUtf8(hello));
    m_clients.push_back(std::move(client));
}

void EventStream::poke()
{
    if (!m_clients.empty() && !m_timer.isActive())
        m_timer.start();
}

void EventStream::flush()
{
    if (m_clients.empty())
        return;
    const QByteArray message = m_collect();
    if (message.isEmpty())
        return;
    const QString text = QString::fromUtf8(message);
    std::vector<QWebSocket*> slow;
    for (auto& c : m_clients) {
        if (c->bytesToWrite() > kMaxQueuedBytes)
            slow.push_back(c.get());
        else
            c->sendTextMessage(text);
    }
    for (QWebSocket* c : slow)
        c->abort();   // emits disconnected: drop() forgets it
}

void EventStream::drop(QWebSocket* client)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(), [&](const auto& c) { return c.get() == client; });
    if (it == m_clients.end())
        return;
    std::unique_ptr<QWebSocket> gone = std::move(*it);
    m_clients.erase(it);
    gone.release()->deleteLater();   // it may be inside one of its own signals
}

} // namespace exchange
