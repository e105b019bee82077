// SPDX-License-Identifier: GPL-3.0-or-later
// Listening to a channel from the console: the recorder's payloads of the channels someone listens
// to are decoded with the station's GSM 6.10 decoder on the recorder's thread and sent to the pages
// as 16-bit mono PCM in binary WebSocket frames, each channel to its own listeners. A text message
// {"type":"format","rate":N} comes before the first frame and whenever the rate changes. Lives on
// the console's thread.
#pragma once

#include <QObject>
#include <QWebSocket>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace exchange {

class WatchRecorder;

class ListenStream : public QObject {
    Q_OBJECT
public:
    explicit ListenStream(WatchRecorder* recorder, QObject* parent = nullptr);
    ~ListenStream() override;

    // Takes a page that listens to `channel` (one of the five).
    void add(std::unique_ptr<QWebSocket> client, int channel);
    int listeners(int channel) const;   // any thread
    // Told of every payload heard on a channel someone listens to (this object's thread).
    void setHeard(std::function<void(int channel)> heard) { m_heard = std::move(heard); }

    // A page further behind than this is skipped until it has caught up (it hears a gap).
    static constexpr qint64 kMaxQueuedBytes = 256 * 1024;

private:
    struct Listener {
        std::unique_ptr<QWebSocket> socket;
        int channel = 0;
        int rate = 0;   // the rate last told to it
    };
    struct Decoding;

    void send(int channel, int rate, const QByteArray& pcm);
    void drop(QWebSocket* socket);
    void retap();

    WatchRecorder* m_recorder;
    std::function<void(int)> m_heard;
    bool m_tapped = false;
    std::vector<Listener> m_listeners;
    std::array<std::atomic<int>, 5> m_counts{};   // listeners per channel, in the order 16, 9, 23, 77, 84
    std::array<std::unique_ptr<Decoding>, 5> m_decoding;   // used on the recorder's thread
};

} // namespace exchange
