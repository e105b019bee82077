// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/gui/test_control.h"

#include "station/station.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <utility>
#include <QMouseEvent>
#include <QPointer>
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
        m_waiting.append(s);
        // Gone, whether it hung up or was cut off. A whole line it sent still runs (plain socat
        // hangs up as soon as it has sent it): the connection waits for its turn. Otherwise it is
        // forgotten at once, and deleted once back in the loop.
        connect(s, &QLocalSocket::disconnected, this, [this, s] {
            if (m_waiting.contains(s) && s->canReadLine())
                return;
            m_waiting.removeOne(s);
            // Not while a command runs: its pause lets events run, deleting what is deleted later
            // there too, and this socket's own signal may be what is running the command.
            if (m_running)
                m_gone.append(s);
            else
                s->deleteLater();
        });
        connect(s, &QLocalSocket::readyRead, this, &TestControl::serveWaiting);
        // A client that never finishes its line is cut off.
        QTimer::singleShot(kLineTimeoutMs, s, [s] { s->abort(); });
    }
    serveWaiting();
}

void TestControl::serveWaiting()
{
    // A click pauses the panel and lets events run: a command arriving meanwhile waits its turn.
    if (m_running)
        return;
    for (qsizetype i = 0; i < m_waiting.size();) {
        QLocalSocket* s = m_waiting[i];
        if (!s->canReadLine()) {
            if (s->bytesAvailable() > kMaxLine)
                s->abort();   // not a command: it is removed from m_waiting as it disconnects
            else
                ++i;
            continue;
        }
        // One command per connection: the answer, then the station hangs up, so a client knows
        // the command is done when it reads the end of the stream. Anything after the line is
        // not a command.
        m_waiting.removeAt(i);
        const QByteArray line = s->readLine(kMaxLine + 1).trimmed();
        QPointer<QLocalSocket> client(s);
        m_running = true;
        const QByteArray answer = handle(line);
        m_running = false;
        for (QLocalSocket* gone : std::exchange(m_gone, {}))
            gone->deleteLater();
        if (client && client->state() == QLocalSocket::ConnectedState) {
            client->write(answer);
            client->disconnectFromServer();
        } else if (client) {
            client->deleteLater();   // it hung up before its answer
        }
        i = 0;   // the command let events run: look at the waiting ones again from the oldest
    }
}

QByteArray TestControl::handle(const QByteArray& line)
{
    const QList<QByteArray> parts = line.split(' ');
    // "X Y": window pixels, nothing else.
    QPoint at;
    const bool hasPoint = parts.size() == 3 && [&] {
        bool okX = false, okY = false;
        at = QPoint(parts[1].toInt(&okX), parts[2].toInt(&okY));
        return okX && okY;
    }();
    if (hasPoint && (parts[0] == "click" || parts[0] == "alt-click")) {
        click(at, parts[0] == "alt-click" ? Qt::AltModifier : Qt::NoModifier);
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
    // the status lamp's (-1 off), the voice channel, the tool tip on the screen, if any, and
    // whether the window has the keyboard (active, no dialog over it).
    if (parts[0] == "panel")
        return "talk " + QByteArray::number(m_station.panel().key(Key::btnAudio).picture) + "\nled "
               + QByteArray::number(m_station.panel().led) + "\nchannel "
               + QByteArray::number(m_station.current_voice_channel()) + "\ntooltip "
               + (QToolTip::isVisible() ? QToolTip::text().toUtf8() : QByteArray()) + "\nactive "
               + (m_window->isActiveWindow() && !QApplication::activeModalWidget() ? "1" : "0") + "\n";
    if (hasPoint && (parts[0] == "press" || parts[0] == "release")) {
        mouse(parts[0] == "press" ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at, Qt::NoModifier);
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
