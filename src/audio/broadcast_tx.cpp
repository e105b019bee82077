// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/broadcast_tx.h"

#include "audio/voice_packet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

int voice_port_from_text(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v >= 0 && v <= 65535 ? v : 17380;
}

BroadcastTX::BroadcastTX(std::uint32_t destination) : m_destination(destination) {}

BroadcastTX::~BroadcastTX() { doClose(); }

bool BroadcastTX::active() const
{
    std::lock_guard lock(m_lock);
    return m_fd >= 0;
}

int BroadcastTX::localPort() const
{
    std::lock_guard lock(m_lock);
    if (m_fd < 0)
        return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

void BroadcastTX::setPort(const QString& port) { m_port.store(voice_port_from_text(port)); }

bool BroadcastTX::doOpen()
{
    std::lock_guard lock(m_lock);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    int on = 1, zero = 0, rcv = 20480;
    setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &zero, sizeof zero);   // the system may raise it to its minimum
    setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = 0;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_formatChanged = true;
    m_sequence = 0;
    m_untilAnnouncement = 0;
    m_epochCounter = 0;
    m_format = AudioFormat{WAVE_FORMAT_PCM, 44100, 16, 2};
    return true;
}

void BroadcastTX::doClose()
{
    std::lock_guard lock(m_lock);   // waits for the packet in flight
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void BroadcastTX::write(const AudioFormat& format, const char* data, qsizetype size)
{
    if (size <= 0 || !data)
        return;
    {
        std::unique_lock lock(m_lock, 100ms);
        if (!lock.owns_lock() || m_fd < 0)
            return;
        if (!(format == m_format)) {
            m_format = format;
            m_formatChanged = true;
        }
    }
    for (qsizetype at = 0; at < size; at += qsizetype(voice::kMaxChunk)) {
        const std::size_t n = std::size_t(std::min<qsizetype>(size - at, voice::kMaxChunk));
        std::this_thread::sleep_for(1ms);
        if (!sendChunk(data + at, n, at == 0))
            return;   // drop the rest of the block
    }
}

bool BroadcastTX::sendChunk(const char* data, std::size_t size, bool first)
{
    if (size == 0 || size > voice::kMaxPayload)
        return false;
    if (m_untilAnnouncement.load() == 0) {
        announce();
        m_untilAnnouncement.store(16);
    } else {
        m_untilAnnouncement.fetch_sub(1);
    }
    std::unique_lock lock(m_lock, 100ms);
    if (!lock.owns_lock())
        return false;
    m_sequence = (m_sequence + 1) % 16;
    const int epoch = (m_epochCounter + 3) % 4;
    voice::build_audio(m_buffer, data, size, m_sequence, epoch, first);
    return sendLocked(m_buffer.data(), voice::audio_size(size));
}

void BroadcastTX::announce()
{
    std::unique_lock lock(m_lock, 100ms);
    if (!lock.owns_lock())
        return;
    const bool changed = m_formatChanged;
    m_formatChanged = false;
    if (changed)
        m_epochCounter = m_epochCounter == 0 ? 4 : m_epochCounter - 1;
    voice::build_announcement(m_buffer, changed, (m_epochCounter + 3) % 4, m_format);
    sendLocked(m_buffer.data(), voice::kAnnouncementSize);
}

bool BroadcastTX::sendLocked(const unsigned char* data, std::size_t size)
{
    if (m_fd < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(m_destination.load());
    to.sin_port = htons(static_cast<std::uint16_t>(m_port.load()));
    const ssize_t sent = ::sendto(m_fd, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return sent == static_cast<ssize_t>(size);
}
