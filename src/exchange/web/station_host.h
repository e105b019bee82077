// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where a web station meets the station's core: it owns a `Station`, gives it the
// ports of a station inside the exchange and drives its entry points. Everything else of the web
// stations knows the page's key names, JSON and bytes, never the core's types, so that a change of
// the core's surface is a change of this file. Lives and is called on the station's own thread
// (the core pauses by blocking that thread).
#pragma once

#include "exchange/web/page_message.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <functional>
#include <memory>

namespace exchange::web {

struct HostSettings {
    QByteArray mmsi;
    QByteArray group = "027411101";
    int basePort = 17000;   // the class's voice base port
};

// What the core does that leaves the station; called on the station's thread.
struct HostOutputs {
    std::function<void(const QByteArray& json)> show;      // the panel's changes, a message for the page
    std::function<void(const QString& cue)> cue;           // the file name of a cue to play
    std::function<void(const QByteArray& record)> send;    // a record for the relay
    std::function<void(const QString& text)> error;        // what the desktop shows in a message box
    std::function<void(int channel)> listen;               // the channel the page plays; 0: none
    std::function<bool(int port)> talk;                    // the microphone on the air on a port; 0: off
};

class StationHost {
public:
    StationHost(const HostSettings& settings, HostOutputs outputs);
    ~StationHost();

    void start();   // created and shown: the idle panel, listening on channel 16
    void close();
    void handle(const PageMessage& m);
    void releaseAll();   // the page went: whatever it held is released (off the air)
    void receive(const QByteArray& datagram);
    void voiceHeard();   // a voice payload on the receiver's channel (the receive indication)
    // The whole panel as a message (a page that connects or reconnects), and the panel's changes
    // since the last message, if any (empty when none).
    QByteArray wholePanel();
    QByteArray changes();
    // The key names in the order the panel messages number the keys, the cues by their number.
    static QJsonArray keyNames();
    static QString cueFile(unsigned index);
    static bool isCueFile(const QString& name);
    static QJsonArray cueFiles();   // every cue file, for the page to fetch once at the start

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace exchange::web
