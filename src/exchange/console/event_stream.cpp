#include "exchange/console/event_stream.h"

#include "exchange/console/console_json.h"

#include <algorithm>

namespace exchange {

StreamWriter::StreamWriter()
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &StreamWriter::flush);
}

void StreamWriter::take(const std::vector<BookEntry>& batch)
{
    m_pending.insert(m_pending.end(), batch.begin(), batch.end());
    if (m_pending.size() > kMaxRecords) {
        const size_t extra = m_pending.size() - kMaxRecords;
        m_skipped += qint64(extra);
        m_pending.erase(m_pending.begin(), m_pending.begin() + qsizetype(extra));
    }
    if (!m_timer.isActive())
        m_timer.start();
}

void StreamWriter::markChanged()
{
    m_changed = true;
    if (!m_timer.isActive())
        m_timer.start();
}

void StreamWriter::flush()
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
    emit message(out);
}

EventStream::EventStream(QObject* parent) : QObject(parent), m_writer(new StreamWriter)
{
    m_thread.setObjectName(QStringLiteral("console stream"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &StreamWriter::message, this, &EventStream::broadcast);   // queued: to this thread
    connect(&m_thread, &QThread::finished, m_writer, &QObject::deleteLater);     // deleted on its thread
    // Idle priority (SCHED_IDLE on Linux): when a datagram wakes the relay, the relay runs at once
    // instead of waiting for the writer to finish a message.
    m_thread.start(QThread::IdlePriority);
}

EventStream::~EventStream()
{
    m_thread.quit();
    m_thread.wait();
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

void EventStream::post(std::vector<BookEntry> batch)
{
    if (m_clients.empty() || batch.empty())
        return;
    QMetaObject::invokeMethod(m_writer, [w = m_writer, b = std::move(batch)] { w->take(b); }, Qt::QueuedConnection);
}

void EventStream::changed()
{
    if (!m_clients.empty())
        QMetaObject::invokeMethod(m_writer, &StreamWriter::markChanged, Qt::QueuedConnection);
}

void EventStream::broadcast(const QByteArray& json)
{
    // Binary frames: the text is UTF-8 already and is not converted again for each page.
    std::vector<QWebSocket*> slow;
    for (auto& c : m_clients) {
        if (c->bytesToWrite() > kMaxQueuedBytes)
            slow.push_back(c.get());
        else
            c->sendBinaryMessage(json);
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
