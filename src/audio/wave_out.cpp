#include "audio/wave_out.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

qint64 now_us()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

constexpr int kChunkFrames = WaveOut::playback_format.rate * WaveOut::chunk_ms / 1000;
// A chunk is written when the stream has no more than this left to play: enough to cover the
// thread's wake-up on a busy machine.
constexpr qint64 kLowWaterUs = 14'000;
// The low water mark grows by a step when the stream ran dry or a write waited, up to a limit,
// and shrinks by a little with every chunk written on time (2 ms a second).
constexpr qint64 kLowWaterStepUs = 10'000;
constexpr qint64 kMaxLowWaterUs = 40'000;   // the stream holds six chunks
constexpr qint64 kLowWaterRelaxUs = 20;
// The jitter buffer's margin beyond a chunk: a sample must be in by the time its chunk is written,
// the low water mark and a few ms before it is heard.
constexpr int kMarginMs = 24;
constexpr qint64 kChunkUs = qint64(WaveOut::chunk_ms) * 1000;
// The server's account of the stream's queue is used once the stream has played this long.
constexpr qint64 kTrustServerAfterUs = 300'000;
// Silence written after the last audio, so the stream plays it out to its last sample.
constexpr int kTailChunks = 6;

// A timed wait the thread sanitizer can follow (pthread_cond_timedwait on the system clock).
void wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, qint64 us)
{
    cv.wait_until(lock, std::chrono::system_clock::now() + std::chrono::microseconds(std::max<qint64>(us, 500)));
}

} // namespace

WaveOut::WaveOut(const char* streamName, OutputFactory output)
    : m_jitter(JitterBuffer::Config{playback_format.rate, playback_format.channels, chunk_ms, kMarginMs})
{
    if (!output)
        output = [name = std::string(streamName)] { return make_pulse_output(name.c_str()); };
    m_thread = std::thread([this, output = std::move(output), name = std::string(streamName)] { run(output, name); });
}

WaveOut::~WaveOut()
{
    m_active = false;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool WaveOut::doOpen()
{
    // Only right after the stage was made is the stream still connecting; wait for it then
    // (looking now and then: the thread's own waits stay simple).
    for (int i = 0; i < 400 && m_device == Device::Opening; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (m_device != Device::Open) {
        {
            std::lock_guard lock(m_mutex);
            m_retry = true;   // the next open may find a server
        }
        m_wake.notify_all();
        m_active = false;
        return false;
    }
    m_active = true;
    return true;
}

// The buffer is cleared by the next thread that takes it (the playback thread, or a writer after
// a reopen), never here: the user-interface thread only raises the count.
void WaveOut::doClose()
{
    m_active = false;
    ++m_closes;
    { std::lock_guard lock(m_mutex); }   // the playback thread is waiting or will see the count
    m_wake.notify_all();
}

void WaveOut::clearIfClosed()
{
    if (m_cleared != m_closes) {
        m_cleared = m_closes;
        m_jitter.clear();
    }
}

void WaveOut::write(const AudioFormat& format, const char* data, qsizetype size)
{
    if (!m_active || !(format == playback_format) || size < 4)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (!m_active)   // closed meanwhile
            return;
        clearIfClosed();
        m_jitter.push(reinterpret_cast<const int16_t*>(data), size / 4, now_us());
    }
    m_wake.notify_all();
}

qsizetype WaveOut::droppedBytes() const
{
    std::lock_guard lock(m_mutex);
    return qsizetype(m_jitter.droppedFrames()) * 4;
}

qsizetype WaveOut::bufferedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_jitter.bufferedFrames() * 4;
}

double WaveOut::targetMs() const
{
    std::lock_guard lock(m_mutex);
    return m_jitter.targetMs();
}

void WaveOut::run(OutputFactory factory, std::string)
{
    // The thread wakes every chunk and must not be late by more than the low water mark: ask for
    // real-time scheduling at a low priority where the system grants it (as sound servers do),
    // and carry on as an ordinary thread where it does not.
    sched_param param{};
    param.sched_priority = 5;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

    std::unique_ptr<PcmOutput> output = factory();
    bool open = output && output->open(playback_format.rate, playback_format.channels, kChunkFrames);
    m_device = open ? Device::Open : Device::Failed;
    auto lastTry = Clock::now();

    std::vector<int16_t> chunk(size_t(kChunkFrames) * size_t(playback_format.channels));
    int tail = 0;
    unsigned closes = 0;
    qint64 deviceEnd = 0;   // when what was written will have been played, by our own account
    qint64 startedAt = 0;
    qint64 lowWater = kLowWaterUs;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!open) {
            if (m_retry && output && Clock::now() - lastTry > std::chrono::seconds(1)) {
                m_retry = false;
                lastTry = Clock::now();
                lock.unlock();
                open = output->open(playback_format.rate, playback_format.channels, kChunkFrames);
                lock.lock();
                m_device = open ? Device::Open : Device::Failed;
                continue;
            }
            m_retry = false;
            m_wake.wait(lock, [this] { return m_stop || m_retry; });
            continue;
        }
        if (closes != m_closes) {
            // Closed: what the stream still holds of the old audio goes too.
            closes = m_closes;
            clearIfClosed();
            tail = 0;
            lock.unlock();
            output->flush();
            lock.lock();
            continue;
        }
        // What the stream still has to play: our own account of what was written, set right by
        // the server's once the stream has run for a while (its first reports lag behind).
        const qint64 now = now_us();
        const qint64 queued = std::max<qint64>(0, deviceEnd - now);
        const qint64 play = now + queued;   // when a chunk written now starts to sound
        const qint64 due = m_jitter.dueUs(play);
        if (due < 0 && tail == 0) {
            // Nothing to play: sleep until audio comes (or a close or the end).
            m_wake.wait(lock, [&] { return m_stop || closes != m_closes || m_jitter.dueUs(now_us()) >= 0; });
            continue;
        }
        if (tail == 0 && due > play + chunk_ms * 500) {
            wait_us(m_wake, lock, due - play - chunk_ms * 500);
            continue;
        }
        // Keep the stream's queue short: write when it is about to run low.
        if (queued > lowWater) {
            wait_us(m_wake, lock, queued - lowWater);
            continue;
        }
        const bool running = tail > 0;
        if (m_jitter.pull(chunk.data(), kChunkFrames, play) > 0 || m_jitter.playing())
            tail = kTailChunks;
        else if (tail > 0)
            --tail;
        lock.unlock();
        if (queued == 0)
            startedAt = now;   // the stream (re)starts with this chunk
        const bool written = output->write(chunk.data(), kChunkFrames);
        // The stream ran dry while it was playing (this thread, or the server, came late): keep
        // more in the stream from now on, and let that go again slowly while it does not recur.
        if (running && queued == 0) {
            lowWater = std::min(lowWater + kLowWaterStepUs, kMaxLowWaterUs);
            m_jitter.setMarginMs(int(lowWater / 1000) + kMarginMs - int(kLowWaterUs / 1000));
        } else if (lowWater > kLowWaterUs) {
            lowWater = std::max(kLowWaterUs, lowWater - kLowWaterRelaxUs);
        }
        deviceEnd = std::max(deviceEnd, now) + kChunkUs;
        if (written && now - startedAt > kTrustServerAfterUs) {
            const qint64 server = output->queuedUs();
            if (server > 0)
                deviceEnd = now_us() + server;
        }
        lock.lock();
        if (!written) {
            // The server went away: the stage goes inactive; a later open tries to reconnect.
            open = false;
            m_device = Device::Failed;
            m_active = false;
            m_jitter.clear();
            tail = 0;
        }
    }
}
