#include "station/gui/test_control.h"

#include "station/station.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMouseEvent>
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
    if (parts[0] == "dump") {
        QByteArray out;
        for (int n = 1; n <= 9; ++n)
            out += m_station.panel.label(n).text.toUtf8() + '\n';
        out += "mode " + QByteArray::number(m_station.state.panel_mode) + "\n";
        return out;
    }
    // "counts": datagrams the station decoded and records it sent, for soak runs.
    if (parts[0] == "counts")
        return "handled " + QByteArray::number(m_station.datagrams_handled) + "\nsent "
               + QByteArray::number(m_station.records_sent) + "\n";
    return "unknown\n";
}

void TestControl::click(QPoint at, Qt::KeyboardModifiers mods)
{
    const QPointF local(at);
    const QPointF global = m_window->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, mods);
    QCoreApplication::sendEvent(m_window, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, mods);
    QCoreApplication::sendEvent(m_window, &release);
}
