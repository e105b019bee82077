#include "audio/broadcast_rx.h"

#include "audio/broadcast_tx.h"
#include "audio/voice_packet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

void VoiceReceiverCore::reset()
{
    m_count.store(0);
    m_lost.store(0);
    m_lastSender.store(0);
    m_epoch = 5;
    m_expected = -1;
}

void VoiceReceiverCore::handle(const char* data, std::size_t size, Sender from)
{
    if (!data || size <= 2)
        return;
    m_lastSender.store(std::uint64_t(from.address) << 16 | from.port);
    m_count.fetch_add(1);
    const auto* d = reinterpret_cast<const unsigned char*>(data);
    const voice::Parsed p = voice::parse(d, size);
    if (!p.ok)
        return;
    if (p.type == voice::Announcement) {
        if (!p.formatChanged && p.epoch == m_epoch)
            return;   // repeated announcement
        m_format = p.format;
        m_epoch = p.epoch;
        return;
    }
    if (p.type != voice::Audio || p.epoch != m_epoch)
        return;
    const bool inSequence = m_expected < 0 || p.sequence == m_expected;
    m_expected = (p.sequence + 1) % 16;
    if (!inSequence) {
        m_lost.fetch_add(1);
        return;
    }
    if (p.bit0)
        return;
    // An empty payload (18 bytes in all) is legal: it is delivered and notified like any other.
    if (m_sink)
        m_sink(m_format, reinterpret_cast<const char*>(p.payload), p.payloadSize);
    if (m_notify)
        m_notify();
}

BroadcastRX::BroadcastRX()
    : m_core([this](const AudioFormat& f, const char* d, std::size_t n) { deliver(f, d, qsizetype(n)); },
             [this] { notify(); })
{
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
    std::vector<char> buffer(65536);
    while (m_running.load()) {
        pollfd pfd[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        ssize_t n = -1;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        if (::poll(pfd, 2, 100) > 0) {
            if (pfd[1].revents)
                return;   // closing
            if (pfd[0].revents & POLLIN)
                n = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &fromSize);
        }
        if (n <= 0) {
            // Nothing read: pause 10 ms, unless the receiver is being closed.
            pollfd wake{m_wake, POLLIN, 0};
            if (::poll(&wake, 1, 10) > 0)
                return;
            continue;
        }
        try {
            m_core.handle(buffer.data(), std::size_t(n),
                          VoiceReceiverCore::Sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
        } catch (...) {
            // Whatever a stage behind the receiver throws on one datagram (out of memory on a
            // hostile format, say) costs that datagram only: the receiver carries on.
        }
    }
}
