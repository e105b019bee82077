#include "audio/wave_out.h"

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
constexpr qint64 kLowWaterUs = 8'000;
// Silence written after the last audio, so the stream plays it out to its last sample.
constexpr int kTailChunks = 6;

// A timed wait the thread sanitizer can follow (pthread_cond_timedwait on the system clock).
void wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, qint64 us)
{
    cv.wait_until(lock, std::chrono::system_clock::now() + std::chrono::microseconds(std::max<qint64>(us, 500)));
}

} // namespace

WaveOut::WaveOut(const char* streamName, OutputFactory output)
    : m_jitter(JitterBuffer::Config{playback_format.rate, playback_format.channels, chunk_ms, 5})
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

void WaveOut::doClose()
{
    m_active = false;
    {
        std::lock_guard lock(m_mutex);
        m_jitter.clear();
        ++m_closes;
    }
    m_wake.notify_all();
}

void WaveOut::write(const AudioFormat& format, const char* data, qsizetype size)
{
    if (!m_active || !(format == playback_format) || size < 4)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (!m_active)   // closed meanwhile
            return;
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
    std::unique_ptr<PcmOutput> output = factory();
    bool open = output && output->open(playback_format.rate, playback_format.channels, kChunkFrames);
    m_device = open ? Device::Open : Device::Failed;
    auto lastTry = Clock::now();

    std::vector<int16_t> chunk(size_t(kChunkFrames) * size_t(playback_format.channels));
    int tail = 0;
    unsigned closes = 0;
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
            tail = 0;
            lock.unlock();
            output->flush();
            lock.lock();
            continue;
        }
        const qint64 now = now_us();
        const qint64 due = m_jitter.dueUs(now);
        if (due < 0 && tail == 0) {
            // Nothing to play: sleep until audio comes (or a close or the end).
            m_wake.wait(lock, [&] { return m_stop || closes != m_closes || m_jitter.dueUs(now_us()) >= 0; });
            continue;
        }
        if (due > now + chunk_ms * 500 && tail == 0) {
            wait_us(m_wake, lock, due - now - chunk_ms * 500);
            continue;
        }
        // Keep the stream's queue short: write when it is about to run low.
        lock.unlock();
        const qint64 queued = output->queuedUs();
        lock.lock();
        if (queued > kLowWaterUs) {
            wait_us(m_wake, lock, queued - kLowWaterUs);
            continue;
        }
        if (m_jitter.pull(chunk.data(), kChunkFrames, now_us()) > 0 || m_jitter.playing())
            tail = kTailChunks;
        else if (tail > 0)
            --tail;
        lock.unlock();
        const bool written = output->write(chunk.data(), kChunkFrames);
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
