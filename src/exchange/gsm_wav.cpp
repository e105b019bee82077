// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/gsm_wav.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = 65;

void put16(unsigned char* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void put32(unsigned char* p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

// The header for `blocks` blocks at `rate`; `padded` when the pad byte of an odd length follows.
void header(unsigned char* h, int rate, std::int64_t blocks, bool padded)
{
    const auto data = std::uint32_t(blocks * kBlock);
    const std::uint32_t pad = padded ? data & 1 : 0;   // chunks keep an even length
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 52 + data + pad);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 20);
    put16(h + 20, 0x31);                                    // WAVE_FORMAT_GSM610
    put16(h + 22, 1);                                       // mono
    put32(h + 24, std::uint32_t(rate));
    put32(h + 28, std::uint32_t(std::int64_t(rate) * 65 / 320));   // bytes per second, as libsndfile has it
    put16(h + 32, kBlock);                                  // block align
    put16(h + 34, 0);                                       // bits per sample: none for GSM
    put16(h + 36, 2);                                       // extra bytes
    put16(h + 38, 320);                                     // samples per block
    std::memcpy(h + 40, "fact", 4);
    put32(h + 44, 4);
    put32(h + 48, std::uint32_t(blocks * 320));
    std::memcpy(h + 52, "data", 4);
    put32(h + 56, data);
}

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool writeAll(int fd, const unsigned char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

} // namespace

bool GsmWavWriter::open(const QString& path, int rate)
{
    close();
    m_error.clear();
    m_path = path;
    m_blocks = 0;
    m_partialSize = 0;
    m_fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return fail("cannot create");
    m_rate = rate;
    m_headerAtMs = nowMs();
    unsigned char h[kHeaderBytes];
    header(h, rate, 0, true);
    if (!writeAll(m_fd, h, sizeof h))
        return fail("cannot write");
    return true;
}

bool GsmWavWriter::writeHeader(bool final)
{
    unsigned char h[kHeaderBytes];
    header(h, m_rate, m_blocks, final);
    m_headerAtMs = nowMs();
    return ::pwrite(m_fd, h, sizeof h, 0) == ssize_t(sizeof h);
}

bool GsmWavWriter::append(const char* data, std::size_t size)
{
    if (m_fd < 0)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    if (m_partialSize > 0) {
        const std::size_t take = std::min(size, kBlock - m_partialSize);
        std::memcpy(m_partial + m_partialSize, p, take);
        m_partialSize += take;
        p += take;
        size -= take;
        if (m_partialSize < kBlock)
            return true;
        if (!writeAll(m_fd, m_partial, kBlock))
            return fail("cannot write");
        m_partialSize = 0;
        ++m_blocks;
    }
    const std::size_t whole = size / kBlock * kBlock;
    if (whole > 0 && !writeAll(m_fd, p, whole))
        return fail("cannot write");
    m_blocks += std::int64_t(whole / kBlock);
    m_partialSize = size - whole;
    std::memcpy(m_partial, p + whole, m_partialSize);
    // A crash (or a kill) must not leave a file that reads as empty.
    if (nowMs() - m_headerAtMs >= 1000 && !writeHeader(false))
        return fail("cannot write");
    return true;
}

bool GsmWavWriter::close()
{
    if (m_fd < 0)
        return m_error.isEmpty();
    bool ok = true;
    const unsigned char zero = 0;
    // The data written may be longer than the whole blocks counted when a write failed half way:
    // the file is cut back to them.
    const off_t end = off_t(kHeaderBytes + m_blocks * std::int64_t(kBlock));
    if (::ftruncate(m_fd, end) != 0 || ::lseek(m_fd, end, SEEK_SET) != end
        || ((m_blocks & 1) && !writeAll(m_fd, &zero, 1)) || !writeHeader(true))
        ok = false;
    if (!ok && m_error.isEmpty())
        m_error = QStringLiteral("cannot finish %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    if (::close(m_fd) != 0 && ok) {
        ok = false;
        m_error = QStringLiteral("cannot finish %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_fd = -1;
    m_partialSize = 0;
    return ok;
}

bool GsmWavWriter::fail(const char* what)
{
    const int e = errno;
    m_error = QStringLiteral("%1 %2: %3").arg(QLatin1String(what), m_path, QString::fromLocal8Bit(std::strerror(e)));
    if (m_fd >= 0) {
        const QString first = m_error;
        close();
        m_error = first;
    }
    return false;
}

QByteArray pcmWavOf(const QString& path, int maxSeconds)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    if (!f)
        return {};
    QByteArray out;
    if (info.channels == 1 && info.samplerate > 0 && info.frames <= sf_count_t(info.samplerate) * maxSeconds) {
        out.resize(44 + qsizetype(info.frames) * 2);
        auto* pcm = reinterpret_cast<short*>(out.data() + 44);
        const sf_count_t got = sf_readf_short(f, pcm, info.frames);
        out.resize(44 + qsizetype(got) * 2);
        auto* h = reinterpret_cast<unsigned char*>(out.data());
        const auto data = std::uint32_t(got * 2);
        std::memcpy(h, "RIFF", 4);
        put32(h + 4, 36 + data);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        put32(h + 16, 16);
        put16(h + 20, 1);
        put16(h + 22, 1);
        put32(h + 24, std::uint32_t(info.samplerate));
        put32(h + 28, std::uint32_t(info.samplerate) * 2);
        put16(h + 32, 2);
        put16(h + 34, 16);
        std::memcpy(h + 36, "data", 4);
        put32(h + 40, data);
    }
    sf_close(f);
    return out;
}
