// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/watch_recorder.h"

#include "audio/broadcast_rx.h"
#include "audio/gsm_codec.h"
#include "exchange/gsm_wav.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace exchange {

using Clock = std::chrono::steady_clock;

namespace {

// Senders followed at once, over all ports: enough for any classroom, and a bound against a
// flood of forged source addresses.
constexpr std::size_t kMaxStreams = 256;
// A sender quiet this long is forgotten (its next datagram starts its stream again).
constexpr auto kForget = std::chrono::seconds(30);
// Datagrams read from one port before the others get their turn.
constexpr int kBurst = 64;

std::int64_t steadyUs(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

std::size_t channelIndex(int channel)
{
    for (std::size_t i = 0; i < kVoiceChannels.size(); ++i)
        if (kVoiceChannels[i] == channel)
            return i;
    return kVoiceChannels.size();
}

bool gsmFormat(const AudioFormat& f)
{
    return f.tag == WAVE_FORMAT_GSM610 && f.rate >= gsm_min_rate && f.rate <= gsm_max_rate;
}

} // namespace

QString transmissionFileName(const QDateTime& startUtc, int channel, const QString& sender)
{
    return QStringLiteral("%1-ch%2-%3.wav")
        .arg(startUtc.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")))
        .arg(channel)
        .arg(sender);
}

QString voiceLogLine(const VoiceTransmission& t)
{
    return QStringLiteral("%1 voice ch %2 from %3, %4 s")
        .arg(t.start.toLocalTime().toString(QStringLiteral("hh:mm:ss")))
        .arg(t.channel)
        .arg(t.sender)
        .arg(t.seconds, 0, 'f', 1);
}

QByteArray voiceJsonLine(const VoiceTransmission& t)
{
    // Every text here is made by the recorder (addresses, numbers, file names of its own making).
    return QStringLiteral("{\"event\":\"voice\",\"start\":\"%1\",\"end\":\"%2\",\"channel\":%3,\"sender\":\"%4\","
                          "\"file\":%5,\"payloads\":%6,\"lost\":%7,\"seconds\":%8}")
        .arg(t.start.toLocalTime().toString(Qt::ISODateWithMs), t.end.toLocalTime().toString(Qt::ISODateWithMs))
        .arg(t.channel)
        .arg(t.sender, t.file.isEmpty() ? QStringLiteral("null") : QLatin1Char('"') + t.file + QLatin1Char('"'))
        .arg(t.payloads)
        .arg(t.lost)
        .arg(t.seconds, 0, 'f', 2)
        .toUtf8();
}

// One sender on one port, followed with the receiver's rules.
struct WatchRecorder::Stream {
    Stream(WatchRecorder* r, int index, std::uint32_t a, std::uint16_t p)
        : portIndex(index), channel(channelOfPortOffset(kVoicePortOffsets[std::size_t(index)])), address(a),
          port(p), core([this, r](const AudioFormat& f, const char* d, std::size_t n) { r->payload(*this, f, d, n); },
                        {})
    {
    }

    int portIndex, channel;
    std::uint32_t address;
    std::uint16_t port;
    VoiceReceiverCore core;
    Clock::time_point lastDatagram;
    bool live = false;          // a transmission is in progress
    int epoch = -1;             // the epoch it began under
    qint64 lostAtStart = 0;
    GsmWavWriter wav;
    VoiceTransmission t;
};

WatchRecorder::WatchRecorder(QString folder, int basePort, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_basePort(basePort)
{
    m_fds.fill(-1);
    for (int c : kVoiceChannels)
        m_state.push_back(ChannelState{c, {}, {}});
}

WatchRecorder::~WatchRecorder() { stop(); }

bool WatchRecorder::start(QString& error)
{
    for (std::size_t i = 0; i < kVoicePortOffsets.size(); ++i) {
        const int port = m_basePort + kVoicePortOffsets[i];
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int one = 1, rcv = 256 * 1024;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(std::uint16_t(port));
        if (fd < 0 || port > 65535 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            error = QStringLiteral("cannot listen on voice port %1: %2").arg(port).arg(QString::fromLocal8Bit(std::strerror(errno)));
            if (fd >= 0)
                ::close(fd);
            stop();
            return false;
        }
        m_fds[i] = fd;
    }
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    openFolder();
    m_thread = std::thread([this] { run(); });
    return true;
}

void WatchRecorder::startWithoutSockets() { openFolder(); }

void WatchRecorder::openFolder()
{
    if (m_folder.isEmpty())
        return;
    m_recording = true;
    const QFileInfo dir(m_folder);
    if (!QDir().mkpath(m_folder) || !dir.isDir() || !dir.isWritable())
        stopRecording(QStringLiteral("the folder %1 cannot be written").arg(m_folder));
}

void WatchRecorder::stop()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    m_runner = {};
    // The thread is gone: what is still in progress ends here, told at once.
    for (auto& s : m_streams)
        if (s->live)
            finish(*s);
    m_streams.clear();
    for (int& fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    if (m_wake >= 0)
        ::close(m_wake);
    m_wake = -1;
}

std::vector<WatchRecorder::ChannelState> WatchRecorder::channels() const
{
    std::lock_guard lock(m_stateLock);
    return m_state;
}

std::optional<Clock::time_point> WatchRecorder::lastHeard(int channel) const
{
    const std::size_t i = channelIndex(channel);
    const std::int64_t ns = i < m_heard.size() ? m_heard[i].load() : 0;
    if (ns == 0)
        return std::nullopt;
    return Clock::time_point(std::chrono::nanoseconds(ns));
}

void WatchRecorder::setTap(Tap tap)
{
    std::lock_guard lock(m_tapLock);   // waits for a call in progress: the old tap is not called again
    m_tap = std::move(tap);
    m_tapSet = bool(m_tap);
}

void WatchRecorder::run()
{
    m_runner = std::this_thread::get_id();
    constexpr std::size_t n = kVoicePortOffsets.size();
    std::vector<char> buffer(65536);
    pollfd pfd[n + 1];
    for (std::size_t i = 0; i < n; ++i)
        pfd[i] = {m_fds[i], POLLIN, 0};
    pfd[n] = {m_wake, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(pfd, n + 1, 100);
        if (ready > 0 && pfd[n].revents)
            return;
        for (std::size_t i = 0; ready > 0 && i < n; ++i) {
            if (!(pfd[i].revents & POLLIN))
                continue;
            for (int k = 0; k < kBurst; ++k) {
                sockaddr_in from{};
                socklen_t size = sizeof from;
                const ssize_t got = ::recvfrom(m_fds[i], buffer.data(), buffer.size(), 0,
                                               reinterpret_cast<sockaddr*>(&from), &size);
                if (got < 0)
                    break;
                take(int(i), buffer.data(), std::size_t(got), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
            }
        }
        sweep();
    }
}

void WatchRecorder::take(int portIndex, const char* data, std::size_t size, std::uint32_t address, std::uint16_t port)
{
    Stream* s = nullptr;
    for (auto& c : m_streams)
        if (c->portIndex == portIndex && c->address == address && c->port == port) {
            s = c.get();
            break;
        }
    if (!s) {
        if (m_streams.size() >= kMaxStreams)
            return;
        m_streams.push_back(std::make_unique<Stream>(this, portIndex, address, port));
        s = m_streams.back().get();
    }
    const Clock::time_point now = Clock::now();
    s->lastDatagram = now;
    try {
        if (s->core.handle(data, size, VoiceSender{address, port}, steadyUs(now))) {
            const std::size_t i = channelIndex(s->channel);
            if (i < m_heard.size())
                m_heard[i] = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
        }
    } catch (...) {
        // Out of memory on one datagram costs that datagram only.
    }
}

void WatchRecorder::payload(Stream& s, const AudioFormat& format, const char* data, std::size_t size)
{
    if (s.live && s.core.epoch() != s.epoch)
        finish(s);   // a new format: a new file
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!s.live) {
        s.live = true;
        s.epoch = s.core.epoch();
        s.lostAtStart = s.core.lost();
        s.t = VoiceTransmission{};
        s.t.start = now;
        s.t.channel = s.channel;
        s.t.sender = QHostAddress(s.address).toString();
        if (m_recording.load() && gsmFormat(format)) {
            // A name taken already (two transmissions of one sender in a second) gets -2, -3 ...
            const QString base = transmissionFileName(now, s.channel, s.t.sender);
            for (int k = 1; k < 100; ++k) {
                const QString name = k == 1 ? base : base.chopped(4) + QStringLiteral("-%1.wav").arg(k);
                const QString path = QDir(m_folder).filePath(name);
                if (s.wav.open(path, format.rate)) {
                    s.t.file = name;
                    break;
                }
                if (!QFileInfo::exists(path)) {
                    stopRecording(s.wav.error());
                    break;
                }
            }
        }
        {
            std::lock_guard lock(m_stateLock);
            for (ChannelState& c : m_state)
                if (c.channel == s.channel) {
                    c.sender = s.t.sender;
                    c.since = now;
                }
        }
        QMetaObject::invokeMethod(this, [this, c = s.channel, who = s.t.sender] { emit started(c, who); },
                                  Qt::QueuedConnection);
    }
    s.t.end = now;
    ++s.t.payloads;
    if (gsmFormat(format))
        s.t.seconds += double(size / gsm_block_bytes * gsm_block_samples) / format.rate;
    if (s.wav.isOpen() && !s.wav.append(data, size))
        stopRecording(s.wav.error());
    if (m_tapSet.load()) {
        std::lock_guard lock(m_tapLock);
        if (m_tap)
            m_tap(s.channel, format, data, size);
    }
}

void WatchRecorder::finish(Stream& s)
{
    if (!s.live)
        return;
    s.live = false;
    if (s.wav.isOpen() && !s.wav.close())
        stopRecording(s.wav.error());
    s.t.lost = s.core.lost() - s.lostAtStart;
    {
        std::lock_guard lock(m_stateLock);
        for (ChannelState& c : m_state)
            if (c.channel == s.channel && c.sender == s.t.sender && c.since == s.t.start)
                c = ChannelState{c.channel, {}, {}};
    }
    if (std::this_thread::get_id() == m_runner)
        QMetaObject::invokeMethod(this, [this, t = s.t] { emit ended(t); }, Qt::QueuedConnection);
    else
        emit ended(s.t);
}

void WatchRecorder::stopRecording(const QString& why)
{
    if (!m_recording.exchange(false))
        return;
    for (auto& s : m_streams)
        if (s->wav.isOpen())
            s->wav.close();
    const QString message = QStringLiteral("recording stopped: %1; relaying goes on").arg(why);
    if (std::this_thread::get_id() == m_runner)
        QMetaObject::invokeMethod(this, [this, message] { emit recordingStopped(message); }, Qt::QueuedConnection);
    else
        emit recordingStopped(message);
}

void WatchRecorder::sweep()
{
    const auto now = Clock::now();
    for (auto& s : m_streams) {
        try {
            s->core.tick(steadyUs(now));   // packets that waited for a missing one go on
        } catch (...) {
        }
        if (s->live && now - s->lastDatagram >= std::chrono::milliseconds(m_silenceMs))
            finish(*s);
    }
    std::erase_if(m_streams, [&](const auto& s) { return !s->live && now - s->lastDatagram >= kForget; });
}

} // namespace exchange
