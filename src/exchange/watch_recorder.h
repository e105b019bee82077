// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange's watch recorder: it listens on the voice ports of the five channels, follows every
// sender's stream with the voice receiver's rules, and keeps each transmission (a sender's first
// accepted payload until that sender has been silent for a second) as one WAV file of the GSM 6.10
// blocks as they came. It works on a thread of its own, so the relay never waits for it; what it
// tells (a transmission began, one ended, the recording stopped) arrives as signals on the thread
// that made it.
#pragma once

#include "audio/stage.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace exchange {

// One transmission, as logged when it ended.
struct VoiceTransmission {
    QDateTime start, end;    // first and last accepted payload (UTC)
    int channel = 0;
    QString sender;          // the sender's IPv4 address
    QString file;            // the WAV file's name in the folder; empty when nothing was written
    qint64 payloads = 0;
    qint64 lost = 0;         // packets lost on the way (never came, or came too late)
    double seconds = 0;      // the length of the audio received
};

// The channel a voice port offset belongs to: the five listening ports and the duplex channels'
// send ports (+123 for 23, +184 for 84).
constexpr std::array<int, 7> kVoicePortOffsets{9, 16, 23, 77, 84, 123, 184};
constexpr std::array<int, 5> kVoiceChannels{16, 9, 23, 77, 84};
constexpr int channelOfPortOffset(int offset) { return offset > 100 ? offset - 100 : offset; }

// "20261209-104207-ch16-192.168.1.23.wav"
QString transmissionFileName(const QDateTime& startUtc, int channel, const QString& sender);
// "10:42:07 voice ch 16 from 192.168.1.23, 6.4 s" (local time, as the traffic lines)
QString voiceLogLine(const VoiceTransmission& t);
// One compact JSON object for the --log file, no line end.
QByteArray voiceJsonLine(const VoiceTransmission& t);

class WatchRecorder : public QObject {
    Q_OBJECT
public:
    // `folder` empty: the channels are followed (for the console) but nothing is written.
    WatchRecorder(QString folder, int basePort, QObject* parent = nullptr);
    ~WatchRecorder() override;

    // Binds the seven ports (with address reuse, so stations on this PC hear them too) and starts
    // the thread. False with `error` when a port cannot be bound. A folder that cannot be made or
    // written does not fail the start: the recording stops with a message (recordingStopped).
    bool start(QString& error);
    // Ends every transmission in progress (files closed whole, ended() emitted) and the thread.
    void stop();

    // Without sockets or thread: the folder is prepared as by start(), and datagrams come only
    // through take(), on the caller's thread (the fuzz target; stop() ends what is in progress).
    void startWithoutSockets();
    // One datagram from `address`:`port` (host order) on the port kVoicePortOffsets[portIndex],
    // as the receive thread takes it.
    void take(int portIndex, const char* data, std::size_t size, std::uint32_t address, std::uint16_t port);

    QString folder() const { return m_folder; }
    bool recording() const { return m_recording.load(); }

    // What each channel carries now: the sender of the transmission in progress, if any.
    struct ChannelState {
        int channel = 0;
        QString sender;          // empty: quiet
        QDateTime since;         // start of the current transmission
    };
    std::vector<ChannelState> channels() const;   // any thread
    // When a voice datagram (any sender's, one that passed the checks) last came on `channel`'s
    // ports; none since the start. Any thread.
    std::optional<std::chrono::steady_clock::time_point> lastHeard(int channel) const;

    // Called on the recorder's thread with every payload accepted on any channel (for listening).
    // Keep it short. Any thread may set it; an empty function removes it, and once setTap returns
    // the old one is not running and is not called again.
    using Tap = std::function<void(int channel, const AudioFormat& format, const char* data, std::size_t size)>;
    void setTap(Tap tap);

    // For tests: the silence that ends a transmission (1 s).
    void setSilenceMs(int ms) { m_silenceMs = ms; }

signals:
    void started(int channel, const QString& sender);
    void ended(const exchange::VoiceTransmission& t);
    void recordingStopped(const QString& message);

private:
    struct Stream;
    void run();
    void openFolder();
    void payload(Stream& s, const AudioFormat& format, const char* data, std::size_t size);
    void finish(Stream& s);
    void stopRecording(const QString& why);
    void sweep();

    QString m_folder;
    int m_basePort;
    int m_silenceMs = 1000;
    std::array<int, kVoicePortOffsets.size()> m_fds{};
    int m_wake = -1;
    std::thread m_thread;
    std::thread::id m_runner;   // the recorder's thread while it runs
    std::atomic<bool> m_recording{false};
    std::vector<std::unique_ptr<Stream>> m_streams;   // recorder's thread only
    mutable std::mutex m_stateLock;                   // guards m_state
    std::vector<ChannelState> m_state;
    std::array<std::atomic<std::int64_t>, kVoiceChannels.size()> m_heard{};   // steady ns; 0: never
    std::mutex m_tapLock;                             // held while the tap runs
    Tap m_tap;
    std::atomic<bool> m_tapSet{false};
};

} // namespace exchange
