// SPDX-License-Identifier: GPL-3.0-or-later
// What the station's core needs from the outside world. A front-end implements these (the desktop
// with its window, sockets and audio devices); tests implement them with recorders. Every port is
// called on the station's own thread. The settings source is in station/settings.h.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPoint>
#include <QString>
#include <QTime>
#include <functional>

// The window as seen by the handlers.
class UiPort {
public:
    virtual ~UiPort() = default;
    virtual void repaint() = 0;          // paint the panel model now
    virtual void processEvents() = 0;    // let pending window events run (may nest handlers)
    virtual void sleep(int ms) = 0;      // blocking pause on the user-interface thread
    virtual void beep() = 0;             // the platform's default message beep
    virtual void errorBox(const QString& text) = 0;
    virtual QPoint windowPosition() const = 0;   // left, top of the window on the screen
    virtual void moveWindow(QPoint leftTop) = 0;
    virtual void openPlayer() = 0;       // the modal message player; returns when it has closed
};

// One-shot cue player: a new cue cuts the one in progress; never blocks.
class CuePort {
public:
    virtual ~CuePort() = default;
    virtual void play_cue(unsigned index) = 0;
};

// The DSC sender `UDPClient`. Returns false with a message when the platform refuses the send.
class DatagramPort {
public:
    virtual ~DatagramPort() = default;
    virtual bool send(const QByteArray& payload, const QHostAddress& to, quint16 port, bool broadcast,
                      QString* error) = 0;
};

// Time of day in UTC.
class ClockPort {
public:
    virtual ~ClockPort() = default;
    virtual QTime utcTimeOfDay() const = 0;
};

// A repeating timer (RXTimer). The owner calls the station's entry point Station::timerTick on
// every tick (which runs RXTimerTimer).
class TimerPort {
public:
    virtual ~TimerPort() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
};

// The voice chains as the panel drives them: the receive chain (BroadcastRX -> CodecRX ->
// resamplerRX -> WaveOut1) and the transmit chain (waveIN1 -> codecTX -> broadcastTX).
class VoicePort {
public:
    virtual ~VoicePort() = default;
    virtual bool openReceiver() = 0;     // opens the receive chain; true when BroadcastRX is active
    // Closes the receive chain within milliseconds; no payload is delivered or notified after it.
    virtual void closeReceiver() = 0;
    virtual bool receiverActive() const = 0;
    virtual void setReceiverPort(const QString& port) = 0;  // decimal text
    virtual int receiverPort() const = 0;
    virtual long receiverCount() const = 0;        // datagrams counted since the receiver was opened
    virtual void setSenderPort(const QString& port) = 0;
    virtual void closeSender() = 0;
    virtual bool openCapture() = 0;                // opens waveIN1 -> codecTX -> broadcastTX
    virtual void closeCapture() = 0;
    // Called on the user-interface thread for every voice payload the receiver delivered.
    virtual void setDataAvailableHandler(std::function<void()> handler) = 0;
};
