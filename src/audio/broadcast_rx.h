// SPDX-License-Identifier: GPL-3.0-or-later
// BroadcastRX: the voice receiver. A source stage: open binds 0.0.0.0:<port> (with address reuse, so
// other listeners on the PC hear the channel's broadcasts too) and starts a receive
// thread that checks every datagram and hands the accepted payloads, with the announced format,
// to the next stage (the decoder), raising the payload callback after each.
#pragma once

#include "audio/stage.h"

#include <QString>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Where a datagram came from: an IPv4 address (host order) and a UDP port.
struct VoiceSender {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool operator==(const VoiceSender&) const = default;
};

// The datagram rules, without a socket. Audio packets are played in the order of their sequence
// numbers: one that comes ahead of a missing one waits for it (up to kReach packets ahead), at
// most as long as the hold allows (what the playback behind still has to play); then the missing
// ones are given up as lost, each reported to the gap callback with the length a packet of this
// stream has on average, so that the decoder can stand in for it and the stream keeps its time.
// A packet that comes after its place was given up is dropped as late. After a loss the audio
// resumes with a packet that begins an encoder block.
//
// Not thread-safe: one thread calls handle(), tick() and reset(). Times are microseconds on any
// steady clock, given by the caller.
class VoiceReceiverCore {
public:
    using Sink = std::function<void(const AudioFormat&, const char*, std::size_t)>;
    using Notify = std::function<void()>;
    // `size` bytes of the stream in the format given were lost.
    using Gap = std::function<void(const AudioFormat&, std::size_t size)>;
    // How long from now a packet may wait for the ones missing before it.
    using Hold = std::function<qint64()>;

    using Sender = VoiceSender;

    static constexpr int kReach = 8;
    static constexpr qint64 kDefaultHoldUs = 100'000;

    VoiceReceiverCore(Sink sink, Notify notify, Gap gap = {})
        : m_sink(std::move(sink)), m_notify(std::move(notify)), m_gap(std::move(gap))
    {
    }
    void setHold(Hold hold) { m_hold = std::move(hold); }

    void reset();                                   // the state of a fresh open
    // True when the datagram passed the size and check-byte tests.
    bool handle(const char* data, std::size_t size, Sender from = {}, qint64 nowUs = 0);
    // Gives up on the missing packets once their wait is over; true when it did.
    bool tick(qint64 nowUs);
    // When tick() has something to do; -1: nothing waits.
    qint64 deadlineUs() const { return m_deadlineUs; }

    long count() const { return m_count.load(); }   // datagrams seen; any thread
    long lost() const { return m_lost.load(); }     // audio packets that never came in time
    long late() const { return m_late.load(); }     // audio packets that came after they were given up
    // The sender of the last datagram counted since the last reset; none (all zero) before.
    // Any thread.
    Sender lastSender() const
    {
        const std::uint64_t v = m_lastSender.load();
        return Sender{std::uint32_t(v >> 16), std::uint16_t(v & 0xFFFF)};
    }
    int epoch() const { return m_epoch; }
    AudioFormat format() const { return m_format; }

private:
    struct Held {
        bool here = false;
        bool first = false;
        bool bit0 = false;
        std::vector<char> payload;
    };
    void play(int sequence, bool first, bool bit0, const char* payload, std::size_t size);
    void conceal();
    void drain();
    void giveUp();

    Sink m_sink;
    Notify m_notify;
    Gap m_gap;
    Hold m_hold;
    std::atomic<long> m_count{0};
    std::atomic<long> m_lost{0};
    std::atomic<long> m_late{0};
    std::atomic<std::uint64_t> m_lastSender{0};   // address << 16 | port
    int m_epoch = 5;         // no datagram carries 5
    int m_expected = -1;     // no expected sequence number
    AudioFormat m_format{WAVE_FORMAT_PCM, 44100, 16, 2};
    std::array<Held, 16> m_held;   // by sequence number: packets ahead of a missing one
    int m_heldCount = 0;
    qint64 m_deadlineUs = -1;
    int m_behind = 0;        // packets in a row that came behind the expected one
    bool m_resume = false;   // a packet was lost: wait for one that begins a block
    qint64 m_packets = 0, m_bytes = 0;   // delivered in this stream, for the length of a lost one
    double m_owed = 0;       // lost bytes not reported yet (a fraction of one)
};

class BroadcastRX : public Stage {
public:
    BroadcastRX();
    ~BroadcastRX() override;

    bool active() const override;
    void write(const AudioFormat&, const char*, qsizetype) override {}   // a source: nothing comes in

    // Decimal text (not a number: 17380). A port other than the current one closes the receiver.
    void setPort(const QString& port);
    int port() const { return m_port.load(); }
    long count() const { return m_core.count(); }
    long lost() const { return m_core.lost(); }
    long late() const { return m_core.late(); }
    VoiceReceiverCore::Sender lastSender() const { return m_core.lastSender(); }
    // Raised on the receive thread after each delivered payload.
    void setPayloadCallback(std::function<void()> callback);

protected:
    bool doOpen() override;
    void doClose() override;

private:
    void run();
    void notify();

    VoiceReceiverCore m_core;
    std::atomic<int> m_port{17016};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_active{false};
    int m_fd = -1;
    int m_wake = -1;   // eventfd: written by close to wake the receive thread at once
    std::thread m_thread;
    std::mutex m_openClose;
    std::mutex m_callbackLock;
    std::function<void()> m_callback;
};
