// BroadcastRX: the voice receiver. A source stage: open binds 0.0.0.0:<port> (with address reuse, so
// other listeners on the PC hear the channel's broadcasts too) and starts a receive
// thread that checks every datagram and hands the accepted payloads, with the announced format,
// to the next stage (the decoder), raising the payload callback after each.
#pragma once

#include "audio/stage.h"

#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Where a datagram came from: an IPv4 address (host order) and a UDP port.
struct VoiceSender {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool operator==(const VoiceSender&) const = default;
};

// The datagram rules, without a socket. Not thread-safe: one thread calls handle() and reset().
class VoiceReceiverCore {
public:
    using Sink = std::function<void(const AudioFormat&, const char*, std::size_t)>;
    using Notify = std::function<void()>;

    using Sender = VoiceSender;

    VoiceReceiverCore(Sink sink, Notify notify) : m_sink(std::move(sink)), m_notify(std::move(notify)) {}

    void reset();                                   // the state of a fresh open
    void handle(const char* data, std::size_t size, Sender from = {});

    long count() const { return m_count.load(); }   // datagrams seen; any thread
    long lost() const { return m_lost.load(); }
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
    Sink m_sink;
    Notify m_notify;
    std::atomic<long> m_count{0};
    std::atomic<long> m_lost{0};
    std::atomic<std::uint64_t> m_lastSender{0};   // address << 16 | port
    int m_epoch = 5;         // no datagram carries 5
    int m_expected = -1;     // no expected sequence number
    AudioFormat m_format{WAVE_FORMAT_PCM, 44100, 16, 2};
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
