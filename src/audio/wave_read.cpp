// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wave_read.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr int kLeadBlocks = 10;                            // about 200 ms
constexpr auto kEndGrace = std::chrono::milliseconds(100); // the playback stage's delay and more

// The file as the reader plays it, or nothing when its rate or channel count is out of bounds.
std::optional<AudioFormat> playableFormat(const SF_INFO& info)
{
    if (info.channels < 1 || info.channels > 8 || info.samplerate < 1000 || info.samplerate > 384000)
        return std::nullopt;
    return AudioFormat{WAVE_FORMAT_PCM, info.samplerate, 16, info.channels};
}

sf_count_t blockFrames(const AudioFormat& format) { return std::max(1, format.rate / 50); } // about 20 ms

// Reads one block into `block`; the number of frames read, 0 at the end or on an error.
sf_count_t readBlock(SNDFILE* file, const AudioFormat& format, std::vector<short>& block)
{
    block.resize(static_cast<size_t>(blockFrames(format) * format.channels));
    const sf_count_t got = sf_readf_short(file, block.data(), blockFrames(format));
    return std::max<sf_count_t>(got, 0);
}

// libsndfile's view of a file held in memory.
struct MemoryFile {
    const QByteArray& bytes;
    sf_count_t position = 0;

    static MemoryFile& of(void* user) { return *static_cast<MemoryFile*>(user); }
    static sf_count_t length(void* user) { return of(user).bytes.size(); }
    static sf_count_t seek(sf_count_t offset, int whence, void* user)
    {
        MemoryFile& f = of(user);
        const sf_count_t base = whence == SEEK_CUR ? f.position : whence == SEEK_END ? f.bytes.size() : 0;
        if (offset < -base || offset > std::numeric_limits<sf_count_t>::max() - base)
            return -1;
        f.position = base + offset;
        return f.position;
    }
    static sf_count_t read(void* to, sf_count_t count, void* user)
    {
        MemoryFile& f = of(user);
        const sf_count_t left = std::max<sf_count_t>(0, f.bytes.size() - f.position);
        const sf_count_t n = std::clamp<sf_count_t>(count, 0, left);
        if (n > 0)
            std::memcpy(to, f.bytes.constData() + f.position, static_cast<size_t>(n));
        f.position += n;
        return n;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* user) { return of(user).position; }
};

} // namespace

bool read_wave_bytes(const QByteArray& bytes,
                     const std::function<void(const AudioFormat&, const char*, qsizetype)>& block)
{
    MemoryFile memory{bytes};
    SF_VIRTUAL_IO io{&MemoryFile::length, &MemoryFile::seek, &MemoryFile::read, &MemoryFile::write,
                     &MemoryFile::tell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
    if (!file)
        return false;
    const std::optional<AudioFormat> format = playableFormat(info);
    if (format) {
        std::vector<short> samples;
        while (const sf_count_t got = readBlock(file, *format, samples))
            block(*format, reinterpret_cast<const char*>(samples.data()),
                  static_cast<qsizetype>(got * format->channels * sizeof(short)));
    }
    sf_close(file);
    return format.has_value();
}

WaveRead::WaveRead() = default;

WaveRead::~WaveRead() { stopThread(); }

void WaveRead::setFileName(const QString& path)
{
    std::lock_guard lock(m_state);
    m_fileName = path;
}

QString WaveRead::fileName() const
{
    std::lock_guard lock(m_state);
    return m_fileName;
}

AudioFormat WaveRead::format() const
{
    std::lock_guard lock(m_state);
    return m_format;
}

void WaveRead::discard() { ++m_discards; }

bool WaveRead::active() const { return m_active; }

bool WaveRead::doOpen()
{
    stopThread();
    const QString name = fileName();
    if (name.isEmpty())
        return false;
    SF_INFO info{};
    SNDFILE* file = sf_open(name.toLocal8Bit().constData(), SFM_READ, &info);
    if (!file)
        return false;
    const std::optional<AudioFormat> playable = playableFormat(info);
    if (!playable) {
        sf_close(file);
        return false;
    }
    const AudioFormat format = *playable;
    {
        std::lock_guard lock(m_state);
        m_format = format;
    }
    m_stop = false;
    m_active = true;
    m_thread = std::thread([this, file, format] { run(file, format); });
    return true;
}

void WaveRead::doClose() { stopThread(); }

void WaveRead::stopThread()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_active = false;
}

void WaveRead::run(void* handle, AudioFormat format)
{
    auto* file = static_cast<SNDFILE*>(handle);
    using clock = std::chrono::steady_clock;
    const auto blockTime = std::chrono::microseconds(1'000'000LL * blockFrames(format) / format.rate);
    std::vector<short> block;
    // `due`: when the next block starts to sound in real time. Each block is handed on a lead
    // ahead of that, so the next stage never runs dry, even when this thread is late on a busy
    // machine: the loudspeaker's jitter buffer holds the lead and plays it in time. (Handing
    // the first blocks at once and then the rest on time left no lead at all.)
    const auto lead = blockTime * kLeadBlocks;
    auto due = clock::now();
    unsigned discards = m_discards;
    auto sleepUntil = [&](clock::time_point t) {
        while (!m_stop && clock::now() < t)
            std::this_thread::sleep_for(std::min<clock::duration>(t - clock::now(), std::chrono::milliseconds(5)));
    };
    while (!m_stop) {
        const sf_count_t got = readBlock(file, format, block);
        if (got == 0)
            break;
        if (discards != m_discards) { // buffered audio dropped: restart the pacing
            discards = m_discards;
            due = clock::now();
        }
        sleepUntil(due - lead);
        if (m_stop)
            break;
        deliver(format, reinterpret_cast<const char*>(block.data()),
                static_cast<qsizetype>(got * format.channels * sizeof(short)));
        due += blockTime;
    }
    sf_close(file);
    // Inactive only when the last block has had its time to be heard: whoever closes the stages
    // behind at the end of the file then does not cut the audio they still hold.
    sleepUntil(due + kEndGrace);
    m_active = false;
}
