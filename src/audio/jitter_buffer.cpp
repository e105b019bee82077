// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/jitter_buffer.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr qint64 kSpurtGapUs = 1'000'000;     // a pause this long with nothing buffered: a new stream
constexpr qint64 kWindowUs = 4'000'000;       // offsets are remembered for one to two of these
constexpr qint64 kStandingUs = 2'000'000;     // how long the buffer must stay above target to trim it
constexpr qint64 kShrinkPerSecondUs = 50'000; // the jitter estimate shrinks by 50 ms per second of silence
constexpr qint64 kStandingSlackUs = 5'000;
constexpr int kQuiet = 64;                    // about -54 dB of full scale

} // namespace

JitterBuffer::JitterBuffer() : JitterBuffer(Config{}) {}

JitterBuffer::JitterBuffer(const Config& config) : m_config(config)
{
    m_config.channels = std::max(1, m_config.channels);
    m_config.rate = std::max(1, m_config.rate);
    m_config.chunkMs = std::max(1, m_config.chunkMs);
    m_config.capMs = std::max(m_config.capMs, 2 * (m_config.chunkMs + m_config.marginMs));
    m_jitterUs = qint64(std::max(0, m_config.initialJitterMs)) * 1000;
}

qint64 JitterBuffer::targetUs() const
{
    const qint64 floor = qint64(m_config.chunkMs + m_config.marginMs) * 1000;
    const qint64 ceiling = qint64(m_config.capMs - m_config.chunkMs) * 1000;
    return std::min(floor + m_jitterUs, ceiling);
}

double JitterBuffer::targetMs() const { return double(targetUs()) / 1000.0; }

void JitterBuffer::newSpurt()
{
    // Another talk, maybe another talker: what the last one's arrivals taught says nothing about
    // this one's, which starts with the delay of a fresh buffer.
    m_jitterUs = qint64(std::max(0, m_config.initialJitterMs)) * 1000;
    m_relaxedAtUs = -1;
    m_inSpurt = true;
    m_mediaIn = 0;
    m_filled = 0;
}

void JitterBuffer::ageWindow(qint64 nowUs)
{
    if (m_filled == 0) {
        m_windowStartUs = nowUs;
        return;
    }
    if (nowUs - m_windowStartUs < kWindowUs)
        return;
    // The current window becomes the earlier one; the one before it is forgotten.
    m_windows[0] = m_windows[1];
    m_filled = 1;
    m_windowStartUs = nowUs;
}

void JitterBuffer::relax(qint64 nowUs, bool silent)
{
    if (m_relaxedAtUs >= 0 && silent && nowUs > m_relaxedAtUs)
        m_jitterUs = std::max<qint64>(0, m_jitterUs - (nowUs - m_relaxedAtUs) * kShrinkPerSecondUs / 1'000'000);
    m_relaxedAtUs = nowUs;
}

void JitterBuffer::push(const int16_t* pcm, qsizetype frames, qint64 nowUs)
{
    if (!pcm || frames <= 0)
        return;
    // Silence: nothing playing (a device that takes audio as it comes leaves the buffer empty
    // while it plays).
    const bool idle = !m_playing && bufferedFrames() == 0;
    relax(nowUs, idle);
    if (!m_inSpurt || (idle && nowUs - m_lastPushUs >= kSpurtGapUs))
        newSpurt();
    ageWindow(nowUs);

    // The block's first sample came at its offset; its last one, which came with it, came as
    // much earlier than its place in the stream as the block is long.
    const qint64 offset = nowUs - framesToUs(m_mediaIn);
    const qint64 early = nowUs - framesToUs(m_mediaIn + frames);
    if (m_filled == 0) {
        m_windows[0] = m_windows[1] = {early, offset};
        m_filled = 2;   // the earlier window starts as a copy of the current one
    } else {
        if (m_filled == 1) {
            m_windows[1] = {early, offset};
            m_filled = 2;
        }
        m_windows[1].min = std::min(m_windows[1].min, early);
        m_windows[1].max = std::max(m_windows[1].max, offset);
    }
    const qint64 spread = std::max(m_windows[0].max, m_windows[1].max) - std::min(m_windows[0].min, m_windows[1].min);
    m_jitterUs = std::max(m_jitterUs, spread);

    m_samples.insert(m_samples.end(), pcm, pcm + frames * m_config.channels);
    m_mediaIn += frames;
    m_lastPushUs = nowUs;

    // A backlog over the cap: the oldest goes, down to the target.
    const qsizetype cap = usToFrames(qint64(m_config.capMs) * 1000);
    if (bufferedFrames() > cap) {
        const qsizetype drop = bufferedFrames() - usToFrames(targetUs());
        dropFront(drop);
        m_dropped += drop;
    }
}

qint64 JitterBuffer::dueUs(qint64 nowUs) const
{
    if (m_playing)
        return nowUs;
    if (bufferedFrames() == 0)
        return -1;
    if (m_filled == 0)
        return nowUs;
    // The earliest the first buffered sample could have come, plus the target delay.
    const qint64 base = std::min(m_windows[0].min, m_windows[1].min);
    return base + framesToUs(m_mediaIn - bufferedFrames()) + targetUs();
}

bool JitterBuffer::quietFrame(qsizetype index) const
{
    const size_t at = m_head + size_t(index) * size_t(m_config.channels);
    for (int c = 0; c < m_config.channels; ++c)
        if (std::abs(int(m_samples[at + size_t(c)])) >= kQuiet)
            return false;
    return true;
}

void JitterBuffer::dropFront(qsizetype frames)
{
    frames = std::clamp<qsizetype>(frames, 0, bufferedFrames());
    m_head += size_t(frames) * size_t(m_config.channels);
    if (m_head == m_samples.size()) {
        m_samples.clear();
        m_head = 0;
    } else if (m_head > 16384 && m_head > m_samples.size() / 2) {
        m_samples.erase(m_samples.begin(), m_samples.begin() + std::ptrdiff_t(m_head));
        m_head = 0;
    }
}

qsizetype JitterBuffer::pull(int16_t* out, qsizetype frames, qint64 nowUs)
{
    if (frames <= 0)
        return 0;
    std::fill(out, out + size_t(frames) * size_t(m_config.channels), int16_t(0));
    // Start when the first buffered sample is due (to the nearer chunk boundary).
    const qsizetype n = takeDue(out, frames, nowUs, 0, qint64(m_config.chunkMs) * 500);
    if (m_playing && n < frames)
        ranDry();   // what is left of the chunk is silence
    return n;
}

qsizetype JitterBuffer::take(int16_t* out, qsizetype frames, qint64 nowUs, qsizetype heldFrames)
{
    return takeDue(out, frames, nowUs, heldFrames, 0);
}

qsizetype JitterBuffer::takeDue(int16_t* out, qsizetype frames, qint64 nowUs, qsizetype heldFrames, qint64 earlyUs)
{
    if (frames <= 0)
        return 0;
    if (!m_playing) {
        const qint64 due = dueUs(nowUs);
        if (due < 0 || due > nowUs + earlyUs) {
            relax(nowUs, true);
            return 0;
        }
        m_playing = true;
        m_minLevel = -1;
        m_levelSinceUs = nowUs;
        m_trimBudget = 0;
    }

    // Delay that stood above the target for a whole window was not needed: skip quiet frames
    // up to that much, a quarter of a chunk at a time.
    const qsizetype level = bufferedFrames() + std::max<qsizetype>(0, heldFrames);
    m_minLevel = m_minLevel < 0 ? level : std::min(m_minLevel, level);
    if (nowUs - m_levelSinceUs >= kStandingUs) {
        m_trimBudget = std::max<qsizetype>(0, m_minLevel - usToFrames(targetUs() + kStandingSlackUs));
        m_minLevel = level;
        m_levelSinceUs = nowUs;
    }
    if (m_trimBudget > 0) {
        const qsizetype limit = std::min(m_trimBudget, usToFrames(qint64(m_config.chunkMs) * 250));
        qsizetype quiet = 0;
        while (quiet < limit && quiet < bufferedFrames() && quietFrame(quiet))
            ++quiet;
        dropFront(quiet);
        m_trimBudget -= quiet;
        m_trimmed += quiet;
    }

    const size_t width = size_t(m_config.channels);
    const qsizetype n = std::min(frames, bufferedFrames());
    std::copy_n(m_samples.begin() + std::ptrdiff_t(m_head), size_t(n) * width, out);
    dropFront(n);
    // Silence: quiet audio taken, or nothing at all where the device takes fixed chunks (then it
    // runs dry); a device that takes audio as it comes finds nothing new most of the time.
    bool silent = n > 0 || earlyUs > 0;
    for (size_t i = 0; i < size_t(n) * width && silent; ++i)
        silent = std::abs(int(out[i])) < kQuiet;
    relax(nowUs, silent);
    return n;
}

void JitterBuffer::ranDry()
{
    if (!m_playing)
        return;
    m_playing = false;
    ++m_underruns;
}

void JitterBuffer::clear()
{
    m_samples.clear();
    m_head = 0;
    m_playing = false;
    m_inSpurt = false;
    m_filled = 0;
    m_minLevel = -1;
    m_trimBudget = 0;
}
