// SPDX-License-Identifier: GPL-3.0-or-later
// The web stations of the exchange and the pages that show them, on the console's thread. A page's
// socket opens a station (its MMSI from ?mmsi= or the next free of the pool) or resumes its own
// (?session=, what the page was told at the start): a page reloaded within the linger time finds
// its station as it left it; a station without a page for that long ends. Each message of a page is
// read by readPageMessage; a bad one, or a page that floods its station, closes that socket only.
#pragma once

#include "exchange/web/station_host.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <functional>
#include <map>
#include <vector>
#include <memory>

namespace exchange {
class Relay;
}

namespace exchange::web {

class WebStation;

struct WebOptions {
    QByteArray firstMmsi = "274111101";   // the pool: this MMSI and the ones after it
    int maxStations = 40;
    int lingerMs = 60000;                  // a station without its page ends after this
    int basePort = 17000;                  // the class's voice base port
    std::vector<std::uint32_t> voiceTo{0xFFFFFFFFu};   // where the stations' voice goes (IPv4, host order)
    // Told when a station opens or ends, a line for the exchange's output (the console's thread).
    std::function<void(const QString&)> notice;
};

class StationSessions : public QObject {
    Q_OBJECT
public:
    StationSessions(Relay& relay, const WebOptions& options, QObject* parent = nullptr);
    ~StationSessions() override;

    // A page's socket that the access rules let in.
    void add(std::unique_ptr<QWebSocket> socket, const QUrlQuery& query);
    int count() const { return int(m_sessions.size()); }
    // Voice heard on a channel: each station listening there is told, as its receiver would.
    void heard(int channel);

signals:
    void stationsChanged();

private:
    struct Session;
    void attach(Session& s, QWebSocket* socket);
    void detached(const QString& id, QWebSocket* socket);
    void pageMessage(Session& s, QWebSocket* socket, const QByteArray& text);
    void end(const QString& id);
    QByteArray nextFreeMmsi() const;
    bool inUse(const QByteArray& mmsi) const;

    Relay& m_relay;
    WebOptions m_options;
    std::map<QString, std::unique_ptr<Session>> m_sessions;
};

// Refuses a page's socket with a sentence for the trainee, then closes it.
void refusePage(QWebSocket* socket, const QString& text);

} // namespace exchange::web
