// SPDX-License-Identifier: GPL-3.0-or-later
// Turns SIGINT and SIGTERM into a quit of the event loop.
#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace exchange {

class SignalStop : public QObject {
    Q_OBJECT
public:
    explicit SignalStop(QObject* parent = nullptr);
signals:
    void stopRequested();
private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace exchange
