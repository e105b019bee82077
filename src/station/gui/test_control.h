// SPDX-License-Identifier: GPL-3.0-or-later
// A control line for automated classroom runs: off unless KELVO_TEST_CONTROL names a local
// socket. One line per connection: "click X Y", "alt-click X Y" (client pixels of the station
// window) answered "ok", "dump" answered with the nine LCD lines and panel_mode, or "close" (the
// window closes as from its title bar) answered "ok", "panel" answered with the push-to-talk key's
// picture, the lamp's, the voice channel and the tool tip shown; then the station closes the connection.
// Commands run one at a time, in order of arrival. A client may hang up at any moment (even while
// a click pauses the panel: a whole line it sent still runs), send anything or never read: a line
// longer than kMaxLine or none within kLineTimeoutMs ends its connection, and nothing it does
// reaches the station but commands.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>

class QLocalServer;
class QLocalSocket;
class QWidget;
class Station;

class TestControl : public QObject {
public:
    static constexpr qint64 kMaxLine = 256;
    static constexpr int kLineTimeoutMs = 30000;

    TestControl(QWidget* window, Station& station, QObject* parent = nullptr);
    // Starts listening when the environment asks for it; returns whether it listens.
    bool startFromEnvironment();

private:
    void onConnection();
    // Serves every connection whose line has come, oldest first, unless a command is running.
    void serveWaiting();
    QByteArray handle(const QByteArray& line);
    void click(QPoint at, Qt::KeyboardModifiers mods);
    void mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods);

    QWidget* m_window;
    Station& m_station;
    QLocalServer* m_server = nullptr;
    QList<QLocalSocket*> m_waiting;   // connected, not answered yet, in order of arrival
    bool m_running = false;           // a command is running (its click may let events run)
    QList<QLocalSocket*> m_gone;      // hung up while a command ran: deleted once it has returned
};
