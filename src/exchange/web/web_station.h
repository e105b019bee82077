// SPDX-License-Identifier: GPL-3.0-or-later
// One web station: the station's core on a thread of its own with its own event loop (its pauses
// block only that thread). Calls from other threads are queued to it; what it shows, plays and
// sends leaves through the signals, emitted on its thread. Its records go to the relay (queued to
// the relay's thread, the same checks, log and delivery as a datagram); every record the relay
// delivers reaches it as a datagram reaches a desktop station's port.
#pragma once

#include "exchange/web/mic_sender.h"
#include "exchange/web/page_message.h"
#include "exchange/web/station_host.h"

#include <QObject>
#include <QThread>
#include <atomic>

namespace exchange {
class Relay;
}

namespace exchange::web {

class WebStation : public QObject {
    Q_OBJECT
public:
    // `origin`: how the relay's log names the sender.
    // `voiceTo`: where its voice packets go (IPv4, host order), as the relay's records go.
    WebStation(const HostSettings& settings, Relay& relay, const QString& origin, std::vector<std::uint32_t> voiceTo);
    ~WebStation() override;   // closes the station and ends its thread

    QByteArray mmsi() const { return m_settings.mmsi; }
    // Queued to the station's thread. A page that sends faster than the station takes is cut off:
    // false when too many messages wait already.
    bool post(const PageMessage& m);
    MicSender& mic() { return m_mic; }   // any thread
    void pageGone();     // queued: the keys the page held are released
    int listening() const { return m_listening; }   // the channel its receiver is on, 0: none
    void voiceHeard();   // queued: a voice payload reached its receiver
    // Asks for the whole panel (a page connected): it comes as a `message`.
    void sendWholePanel();

signals:
    void message(const QByteArray& json);   // for the page: panel changes, cues, errors

private:
    HostSettings m_settings;
    MicSender m_mic;
    QThread m_thread;
    QObject* m_anchor = nullptr;           // lives on m_thread
    StationHost* m_host = nullptr;         // made, used and deleted on m_thread
    std::atomic<int> m_waiting{0};
    std::atomic<int> m_listening{0};
};

} // namespace exchange::web
