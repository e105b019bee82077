// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/web/station_sessions.h"

#include "exchange/web/page_message.h"
#include "exchange/web/web_station.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace exchange::web {

struct StationSessions::Session {
    QString id;
    std::unique_ptr<WebStation> station;
    QPointer<QWebSocket> socket;
    QTimer linger;
};

namespace {

QByteArray jsonText(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QString newSessionId()
{
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QString::number(words[0], 16).rightJustified(16, QLatin1Char('0'))
           + QString::number(words[1], 16).rightJustified(16, QLatin1Char('0'));
}

bool validMmsi(const QString& text)
{
    if (text.size() != 9)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

void refusePage(QWebSocket* socket, const QString& text)
{
    socket->sendTextMessage(QString::fromUtf8(jsonText(QJsonObject{{"type", "refused"}, {"text", text}})));
    socket->close(QWebSocketProtocol::CloseCodePolicyViolated, text.left(120));
    socket->deleteLater();
}

// A page that broke the protocol: its socket is closed, its station stays (the page may come back).
void dropPage(QWebSocket* socket, const QString& text)
{
    socket->close(QWebSocketProtocol::CloseCodeProtocolError, text.left(120));
}

StationSessions::StationSessions(Relay& relay, const WebOptions& options, QObject* parent)
    : QObject(parent), m_relay(relay), m_options(options)
{
}

StationSessions::~StationSessions() = default;

bool StationSessions::inUse(const QByteArray& mmsi) const
{
    for (const auto& [id, s] : m_sessions)
        if (s->station->mmsi() == mmsi)
            return true;
    return false;
}

QByteArray StationSessions::nextFreeMmsi() const
{
    qint64 n = m_options.firstMmsi.toLongLong();
    for (;; ++n) {
        const QByteArray mmsi = QByteArray::number(n).rightJustified(9, '0');
        if (!inUse(mmsi) || mmsi.size() > 9)
            return mmsi.size() > 9 ? QByteArray() : mmsi;
    }
}

void StationSessions::add(std::unique_ptr<QWebSocket> owned, const QUrlQuery& query)
{
    QWebSocket* socket = owned.release();
    socket->setParent(this);
    const QString id = query.queryItemValue(QStringLiteral("session"));
    if (!id.isEmpty()) {
        const auto it = m_sessions.find(id);
        if (it != m_sessions.end()) {
            attach(*it->second, socket);
            return;
        }
        // An ended session: a new station, with the MMSI the page had if it is free.
    }
    if (int(m_sessions.size()) >= m_options.maxStations) {
        refusePage(socket, QStringLiteral("The classroom is full: this exchange serves at most %1 stations in a "
                                          "browser. Ask your instructor.").arg(m_options.maxStations));
        return;
    }
    QByteArray mmsi;
    const QString asked = query.queryItemValue(QStringLiteral("mmsi"));
    if (!asked.isEmpty()) {
        if (!validMmsi(asked)) {
            refusePage(socket, QStringLiteral("An MMSI has nine digits: open the page with ?mmsi=NNNNNNNNN"));
            return;
        }
        mmsi = asked.toLatin1();
        if (inUse(mmsi)) {
            refusePage(socket, QStringLiteral("MMSI %1 is already open in another page").arg(asked));
            return;
        }
    } else {
        mmsi = nextFreeMmsi();
        if (mmsi.isEmpty()) {
            refusePage(socket, QStringLiteral("No free MMSI is left in the pool"));
            return;
        }
    }
    auto session = std::make_unique<Session>();
    session->id = newSessionId();
    HostSettings settings;
    settings.mmsi = mmsi;
    settings.basePort = m_options.basePort;
    session->station = std::make_unique<WebStation>(settings, m_relay,
                                                    socket->peerAddress().toString() + QStringLiteral(":web"),
                                                    m_options.voiceTo);
    session->linger.setSingleShot(true);
    session->linger.setInterval(m_options.lingerMs);
    const QString sid = session->id;
    connect(&session->linger, &QTimer::timeout, this, [this, sid] { end(sid); });
    Session& s = *session;
    m_sessions.emplace(sid, std::move(session));
    connect(s.station.get(), &WebStation::message, this, [this, sid](const QByteArray& json) {
        const auto it = m_sessions.find(sid);
        if (it != m_sessions.end() && it->second->socket)
            it->second->socket->sendTextMessage(QString::fromUtf8(json));
    });
    attach(s, socket);
    if (m_options.notice)
        m_options.notice(QStringLiteral("web station %1 opened from %2")
                             .arg(QString::fromLatin1(mmsi), socket->peerAddress().toString()));
    emit stationsChanged();
}

void StationSessions::attach(Session& s, QWebSocket* socket)
{
    if (s.socket) {
        QWebSocket* old = s.socket;
        s.socket = nullptr;
        refusePage(old, QStringLiteral("This station is now open in another page"));
    }
    s.linger.stop();
    s.socket = socket;
    const QString sid = s.id;
    connect(socket, &QWebSocket::textMessageReceived, this, [this, sid, socket](const QString& text) {
        const auto it = m_sessions.find(sid);
        if (it != m_sessions.end())
            pageMessage(*it->second, socket, text.toUtf8());
    });
    // The microphone while push-to-talk is held; a frame that comes after the release is dropped.
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this, sid, socket](const QByteArray& bytes) {
        const auto it = m_sessions.find(sid);
        if (it == m_sessions.end() || it->second->socket != socket)
            return;
        if (!validMicFrame(bytes)) {
            dropPage(socket, QStringLiteral("the page sent sound this station does not take"));
            return;
        }
        it->second->station->mic().write(bytes);
    });
    connect(socket, &QWebSocket::disconnected, this, [this, sid, socket] { detached(sid, socket); });
    socket->sendTextMessage(QString::fromUtf8(jsonText(QJsonObject{
        {"type", "hello"}, {"session", s.id}, {"mmsi", QString::fromLatin1(s.station->mmsi())},
        {"keys", StationHost::keyNames()}, {"cues", StationHost::cueFiles()}, {"linger", m_options.lingerMs / 1000}})));
    s.station->sendWholePanel();
}

void StationSessions::pageMessage(Session& s, QWebSocket* socket, const QByteArray& text)
{
    if (s.socket != socket)
        return;
    const std::optional<PageMessage> m = readPageMessage(text);
    if (!m) {
        dropPage(socket, QStringLiteral("the page sent something this station does not take"));
        return;
    }
    if (!s.station->post(*m))
        dropPage(socket, QStringLiteral("the page sent keys faster than the station takes them"));
}

void StationSessions::detached(const QString& id, QWebSocket* socket)
{
    socket->deleteLater();
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second->socket != socket)
        return;
    it->second->socket = nullptr;
    it->second->station->pageGone();
    it->second->linger.start();
}

void StationSessions::heard(int channel)
{
    for (const auto& [id, s] : m_sessions)
        if (s->station->listening() == channel)
            s->station->voiceHeard();
}

void StationSessions::end(const QString& id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    std::unique_ptr<Session> s = std::move(it->second);
    m_sessions.erase(it);
    const QString mmsi = QString::fromLatin1(s->station->mmsi());
    s.reset();
    if (m_options.notice)
        m_options.notice(QStringLiteral("web station %1 ended: its page was closed %2 s ago")
                             .arg(mmsi).arg(m_options.lingerMs / 1000));
    emit stationsChanged();
}

} // namespace exchange::web
