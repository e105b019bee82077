// A control line for automated classroom runs: off unless KELVO_TEST_CONTROL names a local
// socket. One line per connection: "click X Y", "alt-click X Y" (client pixels of the station
// window) answered "ok", "dump" answered with the nine LCD lines and panel_mode, or "close" (the
// window closes as from its title bar) answered "ok", "panel" answered with the push-to-talk key's
// picture, the lamp's, the voice channel and the tool tip shown; then the station closes the connection.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>

class QLocalServer;
class QWidget;
class Station;

class TestControl : public QObject {
public:
    TestControl(QWidget* window, Station& station, QObject* parent = nullptr);
    // Starts listening when the environment asks for it; returns whether it listens.
    bool startFromEnvironment();

private:
    void onConnection();
    QByteArray handle(const QByteArray& line);
    void click(QPoint at, Qt::KeyboardModifiers mods);
    void mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods);

    QWidget* m_window;
    Station& m_station;
    QLocalServer* m_server = nullptr;
};
