#include "audio/wave_read.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <vector>

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
    if (info.channels < 1 || info.channels > 8 || info.samplerate < 1000 || info.samplerate > 384000) {
        sf_close(file);
        return false;
    }
    const AudioFormat format{WAVE_FORMAT_PCM, info.samplerate, 16, info.channels};
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
    const sf_count_t frames = std::max(1, format.rate / 50); // about 20 ms
    const auto blockTime = std::chrono::microseconds(1'000'000LL * frames / format.rate);
    std::vector<short> block(static_cast<size_t>(frames * format.channels));
    auto due = clock::now();
    // Hand on a little ahead so the next stage never runs dry.
    int lead = 2;
    unsigned discards = m_discards;
    while (!m_stop) {
        const sf_count_t got = sf_readf_short(file, block.data(), frames);
        if (got <= 0)
            break;
        if (discards != m_discards) { // buffered audio dropped: restart the pacing
            discards = m_discards;
            due = clock::now();
        }
        deliver(format, reinterpret_cast<const char*>(block.data()),
                static_cast<qsizetype>(got * format.channels * sizeof(short)));
        due += blockTime;
        if (lead > 0) {
            --lead;
            continue;
        }
        while (!m_stop && clock::now() < due)
            std::this_thread::sleep_for(std::min<clock::duration>(due - clock::now(),
                                                                  std::chrono::milliseconds(5)));
    }
    sf_close(file);
    m_active = false;
}
