#include "station/gui/test_control.h"

#include "station/station.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

TestControl::TestControl(QWidget* window, Station& station, QObject* parent)
    : QObject(parent), m_window(window), m_station(station)
{
}

bool TestControl::startFromEnvironment()
{
    const QString path = qEnvironmentVariable("KELVO_TEST_CONTROL");
    if (path.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    QLocalServer::removeServer(path);
    if (!m_server->listen(path))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &TestControl::onConnection);
    return true;
}

void TestControl::onConnection()
{
    while (QLocalSocket* s = m_server->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        // One command per connection: the answer, then the station hangs up, so a client knows
        // the command is done when it reads the end of the stream.
        connect(s, &QLocalSocket::readyRead, this, [this, s] {
            if (!s->canReadLine() || s->property("answered").toBool())
                return;
            s->setProperty("answered", true);
            s->write(handle(s->readLine().trimmed()));
            s->disconnectFromServer();
        });
    }
}

QByteArray TestControl::handle(const QByteArray& line)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() == 3 && (parts[0] == "click" || parts[0] == "alt-click")) {
        click(QPoint(parts[1].toInt(), parts[2].toInt()),
              parts[0] == "alt-click" ? Qt::AltModifier : Qt::NoModifier);
        return "ok\n";
    }
    if (parts[0] == "close") {
        // Closed as from the title bar, once the answer is on its way.
        QTimer::singleShot(0, m_window, &QWidget::close);
        return "ok\n";
    }
    if (parts[0] == "dump") {
        QByteArray out;
        for (int n = 1; n <= 9; ++n)
            out += m_station.panel().label(n).text.toUtf8() + '\n';
        out += "mode " + QByteArray::number(mode_number(m_station.state().panel_mode)) + "\n";
        return out;
    }
    // "counts": datagrams the station decoded, records it sent and voices it began to hear, for
    // soak runs. "press X Y" and "release X Y": the two halves of a click, to hold a key (talk).
    if (parts[0] == "counts")
        return "handled " + QByteArray::number(m_station.counters().datagrams_handled) + "\nsent "
               + QByteArray::number(m_station.counters().records_sent) + "\nheard "
               + QByteArray::number(m_station.counters().voices_heard) + "\n";
    // "panel": what the LCD does not show: the push-to-talk key's picture (5 while transmitting),
    // the status lamp's (-1 off), the voice channel and the tool tip on the screen, if any.
    if (parts[0] == "panel")
        return "talk " + QByteArray::number(m_station.panel().key(Key::btnAudio).picture) + "\nled "
               + QByteArray::number(m_station.panel().led) + "\nchannel "
               + QByteArray::number(m_station.current_voice_channel()) + "\ntooltip "
               + (QToolTip::isVisible() ? QToolTip::text().toUtf8() : QByteArray()) + "\n";
    if (parts.size() == 3 && (parts[0] == "press" || parts[0] == "release")) {
        mouse(parts[0] == "press" ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease,
              QPoint(parts[1].toInt(), parts[2].toInt()), Qt::NoModifier);
        return "ok\n";
    }
    return "unknown\n";
}

void TestControl::click(QPoint at, Qt::KeyboardModifiers mods)
{
    mouse(QEvent::MouseButtonPress, at, mods);
    mouse(QEvent::MouseButtonRelease, at, mods);
}

void TestControl::mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods)
{
    const bool press = type == QEvent::MouseButtonPress;
    QMouseEvent e(type, QPointF(at), QPointF(m_window->mapToGlobal(at)), Qt::LeftButton,
                  press ? Qt::LeftButton : Qt::NoButton, mods);
    QCoreApplication::sendEvent(m_window, &e);
}
