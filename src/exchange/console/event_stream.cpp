// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/event_stream.h"

#include "exchange/console/console_json.h"

#include <algorithm>

namespace exchange {

EventStream::EventStream(QObject* parent) : QObject(parent)
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
    m_count = int(m_clients.size());
}

void EventStream::take(const std::vector<BookEntry>& batch)
{
    if (m_clients.empty())
        return;
    m_pending.insert(m_pending.end(), batch.begin(), batch.end());
    if (m_pending.size() > kMaxRecords) {
        const size_t extra = m_pending.size() - kMaxRecords;
        m_skipped += qint64(extra);
        m_pending.erase(m_pending.begin(), m_pending.begin() + qsizetype(extra));
    }
    if (!m_timer.isActive())
        m_timer.start();
}

void EventStream::changed()
{
    m_changed = true;
    if (!m_clients.empty() && !m_timer.isActive())
        m_timer.start();
}

void EventStream::flush()
{
    QByteArray out = "{\"type\":\"update\",\"changed\":";
    out += m_changed ? "true" : "false";
    out += ",\"skipped\":" + QByteArray::number(m_skipped) + ",\"records\":[";
    for (size_t i = 0; i < m_pending.size(); ++i) {
        if (i)
            out += ',';
        out += recordJson(m_pending[i]);
    }
    out += "]}";
    m_pending.clear();
    m_skipped = 0;
    m_changed = false;
    // Binary frames: the text is UTF-8 already and is not converted again for each page.
    std::vector<QWebSocket*> slow;
    for (auto& c : m_clients) {
        if (c->bytesToWrite() > kMaxQueuedBytes)
            slow.push_back(c.get());
        else
            c->sendBinaryMessage(out);
    }
    for (QWebSocket* c : slow)
        c->abort();   // emits disconnected: drop() forgets it
}

void EventStream::send(const QByteArray& message)
{
    for (auto& c : m_clients)
        if (c->bytesToWrite() <= kMaxQueuedBytes)
            c->sendBinaryMessage(message);
}

void EventStream::drop(QWebSocket* client)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(), [&](const auto& c) { return c.get() == client; });
    if (it == m_clients.end())
        return;
    std::unique_ptr<QWebSocket> gone = std::move(*it);
    m_clients.erase(it);
    m_count = int(m_clients.size());
    gone.release()->deleteLater();   // it may be inside one of its own signals
}

} // namespace exchange
