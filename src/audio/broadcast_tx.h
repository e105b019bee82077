// SPDX-License-Identifier: GPL-3.0-or-later
// broadcastTX: the voice sender. Takes the encoder's blocks through write() (on the encoder's
// thread), cuts them into audio packets of at most 1400 payload bytes and broadcasts them, with a
// format announcement before the first packet after open and before every 17th.
#pragma once

#include "audio/stage.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A mutex with a bounded wait. The wait polls try_lock rather than using the platform's timed
// lock, which the thread sanitizer does not follow (it then reports every unlock as wrong).
class TimedMutex {
public:
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }
    template <class Rep, class Period>
    bool try_lock_for(std::chrono::duration<Rep, Period> wait)
    {
        const auto end = std::chrono::steady_clock::now() + wait;
        do {
            if (m_mutex.try_lock())
                return true;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }

private:
    std::mutex m_mutex;
};

class BroadcastTX : public Stage {
public:
    // `destination`: IPv4 address in host order; the limited broadcast address by default.
    explicit BroadcastTX(std::uint32_t destination = 0xFFFFFFFFu);
    ~BroadcastTX() override;

    bool active() const override;
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

    // Decimal text; a text that is not a port number gives 17380.
    void setPort(const QString& port);
    int port() const { return m_port.load(); }
    void setDestination(std::uint32_t address) { m_destination.store(address); }

    // Local port of the open socket (0 when closed); for tests.
    int localPort() const;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    bool sendChunk(const char* data, std::size_t size, bool first);
    void announce();
    bool sendLocked(const unsigned char* data, std::size_t size);

    mutable TimedMutex m_lock;   // packet building and the socket
    int m_fd = -1;
    std::atomic<int> m_port{17016};
    std::atomic<std::uint32_t> m_destination;
    // per-open state (under m_lock, except m_untilAnnouncement which only the writer touches)
    bool m_formatChanged = true;
    int m_sequence = 0;
    std::atomic<int> m_untilAnnouncement{0};
    int m_epochCounter = 0;
    AudioFormat m_format{WAVE_FORMAT_PCM, 44100, 16, 2};
    std::vector<unsigned char> m_buffer;   // reused; only grows
};

// The port rule of the voice sockets: decimal text of a port, else 17380.
int voice_port_from_text(const QString& text);
