// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/web/web_station.h"

#include "exchange/relay.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace exchange::web {
namespace {
constexpr int kMaxWaiting = 64;   // page messages queued to a busy station
}

WebStation::WebStation(const HostSettings& settings, Relay& relay, const QString& origin,
                       std::vector<std::uint32_t> voiceTo)
    : m_settings(settings), m_mic(std::move(voiceTo))
{
    m_thread.setObjectName(QStringLiteral("web ") + QString::fromLatin1(settings.mmsi));
    m_anchor = new QObject;
    m_anchor->moveToThread(&m_thread);
    // Emitted on the station's thread once its event loop has returned, so never inside one of the
    // core's handlers (a pause, events let run): the station closes and goes there.
    connect(&m_thread, &QThread::finished, this, [this] {
        if (m_host)
            m_host->close();
        delete m_host;
        m_host = nullptr;
        delete m_anchor;
        m_anchor = nullptr;
    }, Qt::DirectConnection);
    m_thread.start();
    Relay* r = &relay;
    HostOutputs out;
    out.show = [this](const QByteArray& json) { emit message(json); };
    out.cue = [this](const QString& file) {
        emit message(QJsonDocument(QJsonObject{{"type", "cue"}, {"file", file}}).toJson(QJsonDocument::Compact));
    };
    out.error = [this](const QString& text) {
        emit message(QJsonDocument(QJsonObject{{"type", "error"}, {"text", text}}).toJson(QJsonDocument::Compact));
    };
    out.listen = [this](int channel) {
        m_listening = channel;
        emit message(QJsonDocument(QJsonObject{{"type", "listen"}, {"channel", channel}}).toJson(QJsonDocument::Compact));
    };
    out.talk = [this](int port) {
        if (port <= 0) {
            m_mic.close();
            return true;
        }
        return m_mic.open(port);
    };
    out.send = [r, origin](const QByteArray& record) {
        QMetaObject::invokeMethod(r, [r, record, origin] { r->accept(record, origin); }, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(m_anchor, [this, settings, out] {
        m_host = new StationHost(settings, out);
        m_host->start();
    }, Qt::QueuedConnection);
    // Queued to the station's thread by the anchor living there; the relay's thread only hands over.
    connect(&relay, &Relay::delivered, m_anchor, [this](const QByteArray& bytes) {
        if (m_host)
            m_host->receive(bytes);
    });
}

WebStation::~WebStation()
{
    m_thread.quit();
    m_thread.wait();
}

bool WebStation::post(const PageMessage& m)
{
    if (m_waiting.fetch_add(1) >= kMaxWaiting) {
        m_waiting.fetch_sub(1);
        return false;
    }
    QMetaObject::invokeMethod(m_anchor, [this, m] {
        m_waiting.fetch_sub(1);
        if (m_host)
            m_host->handle(m);
    }, Qt::QueuedConnection);
    return true;
}

void WebStation::voiceHeard()
{
    QMetaObject::invokeMethod(m_anchor, [this] {
        if (m_host)
            m_host->voiceHeard();
    }, Qt::QueuedConnection);
}

void WebStation::pageGone()
{
    QMetaObject::invokeMethod(m_anchor, [this] {
        if (m_host)
            m_host->releaseAll();
    }, Qt::QueuedConnection);
}

void WebStation::sendWholePanel()
{
    QMetaObject::invokeMethod(m_anchor, [this] {
        if (m_host)
            emit message(m_host->wholePanel());
    }, Qt::QueuedConnection);
}

} // namespace exchange::web
