// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/broadcast_rx.h"

#include "audio/broadcast_tx.h"
#include "audio/voice_packet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

void VoiceReceiverCore::reset()
{
    m_count.store(0);
    m_lost.store(0);
    m_late.store(0);
    m_lastSender.store(0);
    m_epoch = 5;
    m_expected = -1;
    for (Held& h : m_held)
        h.here = false;
    m_heldCount = 0;
    m_deadlineUs = -1;
    m_behind = 0;
    m_resume = false;
    m_packets = m_bytes = 0;
    m_owed = 0;
}

bool VoiceReceiverCore::handle(const char* data, std::size_t size, Sender from, qint64 nowUs)
{
    if (!data || size <= 2)
        return false;
    m_lastSender.store(std::uint64_t(from.address) << 16 | from.port);
    m_count.fetch_add(1);
    const auto* d = reinterpret_cast<const unsigned char*>(data);
    const voice::Parsed p = voice::parse(d, size);
    if (!p.ok)
        return false;
    if (p.type == voice::Announcement) {
        if (!p.formatChanged && p.epoch == m_epoch)
            return true;   // repeated announcement
        giveUp();          // what waits belongs to the stream before
        m_format = p.format;
        m_epoch = p.epoch;
        if (p.formatChanged) {
            // A sender opened (or changed its format): its sequence numbers start again.
            m_expected = -1;
            m_packets = m_bytes = 0;
            m_owed = 0;
            m_resume = false;
        }
        return true;
    }
    if (p.type != voice::Audio || p.epoch != m_epoch)
        return true;
    const char* payload = reinterpret_cast<const char*>(p.payload);
    if (m_expected < 0)
        m_expected = p.sequence;
    const int ahead = (p.sequence - m_expected) & 15;
    if (ahead == 0) {
        m_behind = 0;
        play(p.sequence, p.firstChunk, p.bit0, payload, p.payloadSize);
        drain();
    } else if (ahead <= kReach) {
        m_behind = 0;
        Held& h = m_held[std::size_t(p.sequence)];
        if (!h.here) {
            h.here = true;
            h.first = p.firstChunk;
            h.bit0 = p.bit0;
            h.payload.assign(payload, payload + p.payloadSize);
            ++m_heldCount;
        }
        if (m_deadlineUs < 0)
            m_deadlineUs = nowUs + (m_hold ? std::max<qint64>(0, m_hold()) : kDefaultHoldUs);
        if (ahead == kReach || m_deadlineUs <= nowUs)
            giveUp();
    } else {
        // Behind the expected one: late for its place, or a repeat. Several in a row: the sender
        // went on from elsewhere (a long loss, a restart without a word); follow it.
        m_late.fetch_add(1);
        if (++m_behind >= 3) {
            giveUp();
            m_behind = 0;
            play(p.sequence, p.firstChunk, p.bit0, payload, p.payloadSize);
        }
    }
    return true;
}

bool VoiceReceiverCore::tick(qint64 nowUs)
{
    if (m_deadlineUs < 0 || nowUs < m_deadlineUs)
        return false;
    giveUp();
    return true;
}

void VoiceReceiverCore::play(int sequence, bool first, bool bit0, const char* payload, std::size_t size)
{
    m_expected = (sequence + 1) % 16;
    if (bit0)
        return;
    if (m_resume && !first) {
        // The rest of a block whose beginning was lost: it cannot be decoded, only stood in for.
        if (m_gap && size > 0)
            m_gap(m_format, size);
        return;
    }
    m_resume = false;
    ++m_packets;
    m_bytes += qint64(size);
    // An empty payload (18 bytes in all) is legal: it is delivered and notified like any other.
    if (m_sink)
        m_sink(m_format, payload, size);
    if (m_notify)
        m_notify();
}

// The expected packet never came: reported as a gap of a packet's average length.
void VoiceReceiverCore::conceal()
{
    m_lost.fetch_add(1);
    m_expected = (m_expected + 1) % 16;
    m_resume = true;
    if (m_packets == 0 || !m_gap)
        return;
    m_owed += double(m_bytes) / double(m_packets);
    const auto bytes = std::size_t(m_owed);
    m_owed -= double(bytes);
    if (bytes > 0)
        m_gap(m_format, bytes);
}

void VoiceReceiverCore::drain()
{
    while (m_heldCount > 0 && m_held[std::size_t(m_expected)].here) {
        Held& h = m_held[std::size_t(m_expected)];
        h.here = false;
        --m_heldCount;
        play(m_expected, h.first, h.bit0, h.payload.data(), h.payload.size());
    }
    if (m_heldCount == 0)
        m_deadlineUs = -1;
}

void VoiceReceiverCore::giveUp()
{
    while (m_heldCount > 0) {
        if (m_held[std::size_t(m_expected)].here)
            drain();
        else
            conceal();
    }
    m_deadlineUs = -1;
}

namespace {

// What a packet held for a missing one leaves the playback behind at the least: the receive
// thread's wake-up and the loudspeaker thread's. It waits a few ms all the same, for the missing
// one that comes right behind it (two datagrams that swapped places on the way).
constexpr qint64 kHoldMarginUs = 10'000;
constexpr qint64 kMinHoldUs = 3'000;

qint64 now_us()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

BroadcastRX::BroadcastRX()
    : m_core([this](const AudioFormat& f, const char* d, std::size_t n) { deliver(f, d, qsizetype(n)); },
             [this] { notify(); },
             [this](const AudioFormat& f, std::size_t n) { deliverMissing(f, qsizetype(n)); })
{
    // A packet waits for a missing one as long as the loudspeaker still has audio to play.
    m_core.setHold([this] {
        const qint64 lead = leadUs();
        return lead < 0 ? VoiceReceiverCore::kDefaultHoldUs : std::max(kMinHoldUs, lead - kHoldMarginUs);
    });
}

BroadcastRX::~BroadcastRX() { doClose(); }

bool BroadcastRX::active() const { return m_active.load(); }

void BroadcastRX::setPort(const QString& port)
{
    const int p = voice_port_from_text(port);
    if (p != m_port.load()) {
        close();
        m_port.store(p);
    }
}

void BroadcastRX::setPayloadCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_callback = std::move(callback);
}

void BroadcastRX::notify()
{
    std::lock_guard lock(m_callbackLock);
    if (m_callback)
        m_callback();
}

bool BroadcastRX::doOpen()
{
    std::lock_guard lock(m_openClose);
    if (m_active.load())
        return true;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int zero = 0, rcv = 20480, one = 1;
    // Address reuse: another listener on this PC (the exchange's watch recorder, say) can take the
    // same port, and broadcasts reach every socket bound to it.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &zero, sizeof zero);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<std::uint16_t>(m_port.load()));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return false;
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_wake = wake;
    m_core.reset();
    m_running.store(true);
    m_thread = std::thread([this] { run(); });
    m_active.store(true);
    return true;
}

// The receive thread waits on the socket and on the wake-up counter together, so a close never
// waits out a poll or a pause: it returns as soon as the thread has finished the datagram in hand.
void BroadcastRX::doClose()
{
    std::lock_guard lock(m_openClose);
    m_running.store(false);
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    }
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_wake >= 0)
        ::close(m_wake);
    m_fd = m_wake = -1;
    m_active.store(false);
}

void BroadcastRX::run()
{
    // The voice is decoded and handed to the loudspeaker on this thread, in real time: on a busy
    // PC it must not wait behind ordinary work for tens of ms, or the listener hears a gap. A
    // higher share of the processor where the system grants it (not real-time scheduling: a
    // flood of datagrams must not take a processor away from everything else).
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), -10);
    pthread_setname_np(pthread_self(), "VoiceRX");   // as the system and the CPU benchmarks list it
    std::vector<char> buffer(65536);
    while (m_running.load()) {
        // Wait for a datagram, or until packets waiting for a missing one must go on.
        qint64 waitUs = 100'000;
        if (const qint64 deadline = m_core.deadlineUs(); deadline >= 0)
            waitUs = std::clamp<qint64>(deadline - now_us(), 0, waitUs);
        const timespec timeout{time_t(waitUs / 1'000'000), long(waitUs % 1'000'000) * 1000};
        pollfd pfd[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        ssize_t n = -1;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        if (::ppoll(pfd, 2, &timeout, nullptr) > 0) {
            if (pfd[1].revents)
                return;   // closing
            if (pfd[0].revents & POLLIN)
                n = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &fromSize);
        }
        try {
            if (n > 0)
                m_core.handle(buffer.data(), std::size_t(n),
                              VoiceReceiverCore::Sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)}, now_us());
            m_core.tick(now_us());
        } catch (...) {
            // Whatever a stage behind the receiver throws on one datagram (out of memory on a
            // hostile format, say) costs that datagram only: the receiver carries on.
        }
        if (n <= 0 && m_core.deadlineUs() < 0) {
            // Nothing read and nothing waiting: pause 10 ms, unless the receiver is being closed.
            pollfd wake{m_wake, POLLIN, 0};
            if (::poll(&wake, 1, 10) > 0)
                return;
        }
    }
}
