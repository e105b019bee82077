// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wave_out.h"

#include "audio/pulse_client.h"

#include <pulse/rtclock.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr qsizetype kFrameBytes = 4;
constexpr qint64 kRate = WaveOut::playback_format.rate;

constexpr qint64 frames_us(qint64 frames) { return frames * 1'000'000 / kRate; }
constexpr qint64 us_frames(qint64 us) { return us * kRate / 1'000'000; }

// The jitter buffer's floor beyond the measured jitter: what the device takes ahead of playing it
// (the server gives it the share of the stream's length that the requests leave) and a margin
// for this thread's wake-up.
constexpr int kDeviceAheadMs = (WaveOut::stream_ms - 2 * WaveOut::request_ms) / 2;
constexpr int kMarginMs = 5;
// How far beyond the jitter buffer's delay the stream is filled, and how much room there must be
// again before audio held back is given to it.
constexpr qint64 kTopUpUs = 10'000;
constexpr qint64 kRoomUs = 5'000;
// A stream that runs dry this much before our account says it should was taken late by the
// server; the margin then grows by as much (up to a limit), and goes back by a step after every
// 20 s without that, then every 10 s.
constexpr qint64 kLateUs = 2'000;
constexpr qint64 kRestartUs = 5'000;   // a write to a stream holding less than this may restart it
constexpr int kMaxExtraMs = 100;
constexpr qint64 kExtraRelaxUs = 20'000'000;

qint64 now_us() { return qint64(pa_rtclock_now()); }

} // namespace

// Everything here but the eventfd is used under the main loop's lock: on the loop's thread (its
// callbacks hold the lock) or by a caller that has taken it. The jitter buffer is the owner's, under
// the owner's mutex, which is taken after the loop's lock, never before it.
struct WaveOut::Pulse {
    enum class Link { Down, Connecting, Ready, Failed };

    Pulse(WaveOut& owner, std::string name) : owner(owner), name(std::move(name))
    {
        wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        loop = wake >= 0 ? pulse::start_loop("WaveOut") : nullptr;
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        wakeEvent = api->io_new(api, wake, PA_IO_EVENT_INPUT, &Pulse::onWake, this);
        connect();
        pa_threaded_mainloop_unlock(loop);
    }

    ~Pulse()
    {
        if (loop) {
            pa_threaded_mainloop_lock(loop);
            teardown();
            if (wakeEvent)
                pa_threaded_mainloop_get_api(loop)->io_free(wakeEvent);
            pa_threaded_mainloop_unlock(loop);
            pulse::stop_loop(loop);
        }
        if (wake >= 0)
            ::close(wake);
    }

    void teardown()
    {
        if (timer) {
            pa_threaded_mainloop_get_api(loop)->time_free(timer);
            timer = nullptr;
        }
        pulse::drop_stream(stream);
        pulse::drop_context(context);
        link = Link::Down;
    }

    // Starts a new connection and, once the server answers, the playback stream.
    void connect()
    {
        teardown();
        link = Link::Connecting;
        if (!pulse::connect_context(loop, context, {}, &Pulse::onContextState, this))
            link = Link::Failed;
    }

    void openStream()
    {
        const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, uint32_t(kRate), uint8_t(playback_format.channels)};
        stream = pa_stream_new(context, name.c_str(), &sampleFormat, nullptr);
        if (!stream) {
            link = Link::Failed;
            return;
        }
        pa_stream_set_state_callback(stream, &Pulse::onStreamState, this);
        pa_stream_set_write_callback(stream, &Pulse::onRequest, this);
        pa_stream_set_underflow_callback(stream, &Pulse::onUnderflow, this);
        // A short stream, the device's share included (the server sizes it from tlength), asked
        // to fill in steps of `request_ms`; it starts with the first block written and stops by
        // itself when it has played out everything (and starts again with the next block).
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(stream_ms) * 1000, &sampleFormat));
        attr.prebuf = uint32_t(kFrameBytes);
        attr.minreq = uint32_t(pa_usec_to_bytes(pa_usec_t(request_ms) * 1000, &sampleFormat));
        attr.fragsize = uint32_t(-1);
        if (pa_stream_connect_playback(stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0)
            link = Link::Failed;
    }

    static void onContextState(pa_context* c, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        p->prioritise();
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY: p->openStream(); break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED: p->fail(); break;
        default: break;
        }
    }

    static void onStreamState(pa_stream* s, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        switch (pa_stream_get_state(s)) {
        case PA_STREAM_READY:
            p->link = Link::Ready;
            p->flushed = p->owner.m_closes;
            p->service();   // audio that came while the stream was connecting
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED: p->fail(); break;   // e.g. the sink was removed
        default: break;
        }
    }

    // The loop's thread must answer the server's requests within a few ms even on a busy machine.
    void prioritise()
    {
        if (prioritised)
            return;
        prioritised = true;
        pulse::raise_thread_priority();
    }

    // The server went away (or never was): the stage goes inactive; a later open tries again.
    void fail()
    {
        link = Link::Failed;
        owner.m_active = false;
        std::lock_guard lock(owner.m_mutex);
        owner.m_jitter.clear();
    }

    static void onRequest(pa_stream*, size_t, void* self) { static_cast<Pulse*>(self)->service(); }

    // The stream ran dry. When it still had audio by our account, the server took it late (a
    // busy machine): keep that much more in the stream from now on, and let it go again slowly.
    static void onUnderflow(pa_stream*, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        const qint64 now = now_us();
        const qint64 lateUs = p->deviceEndUs - now;
        // The server tells of an underflow after the fact: audio written since to a stream that
        // had run dry by our account has started it again, and this report is old news.
        if (lateUs > kLateUs && p->heldAtWriteUs < kRestartUs)
            return;
        if (lateUs > kLateUs) {
            p->extraMs = std::min<int>(p->extraMs + int(lateUs / 1000) + kMarginMs, kMaxExtraMs);
            p->lateAtUs = now;
            std::lock_guard lock(p->owner.m_mutex);
            p->owner.m_jitter.setMarginMs(kMarginMs + p->extraMs);
        }
        p->deviceEndUs = 0;
        p->owner.m_streamEndUs = 0;
        std::lock_guard lock(p->owner.m_mutex);
        p->owner.m_jitter.ranDry();
    }

    static void onWake(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self)
    {
        eventfd_t count = 0;
        eventfd_read(fd, &count);
        static_cast<Pulse*>(self)->service();
    }

    static void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
    {
        static_cast<Pulse*>(self)->service();
    }

    // How much audio the stream may hold: the jitter buffer's delay and a little more.
    static qint64 room_us(const JitterBuffer& jitter) { return qint64(jitter.targetMs() * 1000) + kTopUpUs; }

    void armTimer(qint64 atUs)
    {
        if (!timer)
            timer = pa_context_rttime_new(context, pa_usec_t(atUs), &Pulse::onTimer, this);
        else
            pa_context_rttime_restart(context, timer, pa_usec_t(atUs));
    }

    // Gives the stream what the jitter buffer has due: as it comes, so that the stream itself is
    // the playout buffer, but no more than the jitter buffer's delay (and a little) ahead; what
    // is beyond that waits in the jitter buffer, where a delay nobody needs can still be trimmed.
    void service()
    {
        if (link != Link::Ready || !stream)
            return;
        const unsigned closes = owner.m_closes;
        const bool closed = closes != flushed;
        if (closed) {
            // Closed since: what the stream still holds of the old audio goes too.
            flushed = closes;
            if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr))
                pa_operation_unref(op);
            deviceEndUs = 0;
            owner.m_streamEndUs = 0;
        }
        const qint64 now = now_us();
        const qint64 heldUs = std::max<qint64>(0, deviceEndUs - now);
        qsizetype n = 0;
        {
            std::lock_guard lock(owner.m_mutex);
            owner.clearIfClosed();
            JitterBuffer& jitter = owner.m_jitter;
            if (closed && extraMs > 0) {
                // What one talk taught about the server's lateness lasts that talk: a stream of
                // bad timing must not delay the next one.
                extraMs = 0;
                jitter.setMarginMs(kMarginMs);
            }
            if (extraMs > 0 && now - lateAtUs > kExtraRelaxUs) {
                extraMs = std::max(0, extraMs - kMarginMs);
                lateAtUs = now - kExtraRelaxUs / 2;   // the next step in half the time
                jitter.setMarginMs(kMarginMs + extraMs);
            }
            const qsizetype room = us_frames(room_us(jitter) - heldUs);
            if (room > 0) {
                scratch.resize(size_t(room) * 2);
                n = jitter.take(scratch.data(), room, now, us_frames(heldUs));
            }
            // A talk's first audio waits until it is due; audio beyond what the stream may hold
            // goes in when there is room again.
            qint64 next = -1;
            if (!jitter.playing())
                next = jitter.dueUs(now);
            else if (jitter.bufferedFrames() > 0)
                next = now + std::max<qint64>(heldUs + frames_us(n) - room_us(jitter) + kRoomUs, kRoomUs);
            if (next > now)
                armTimer(next);
        }
        if (n > 0) {
            pa_stream_write(stream, scratch.data(), size_t(n * kFrameBytes), nullptr, 0, PA_SEEK_RELATIVE);
            heldAtWriteUs = heldUs;
            deviceEndUs = std::max(deviceEndUs, now) + frames_us(n);
            owner.m_streamEndUs = deviceEndUs;
        }
    }

    void signal() const
    {
        if (wake >= 0)
            eventfd_write(wake, 1);
    }

    WaveOut& owner;
    const std::string name;
    int wake = -1;                     // eventfd: new audio or a close, from other threads
    pa_threaded_mainloop* loop = nullptr;
    pa_io_event* wakeEvent = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* timer = nullptr;
    unsigned flushed = 0;              // the closes the stream was flushed for
    bool prioritised = false;
    qint64 deviceEndUs = 0;            // when what was written will have been played, by our account
    std::vector<int16_t> scratch;
    qint64 heldAtWriteUs = 0;          // what the stream held by our account at the last write
    int extraMs = 0;                   // margin added after the server took audio late
    qint64 lateAtUs = 0;
    std::atomic<Link> link{Link::Down};   // read without the lock by open()
};

WaveOut::WaveOut(const char* streamName)
    : m_jitter(JitterBuffer::Config{playback_format.rate, playback_format.channels, kDeviceAheadMs, kMarginMs})
    , m_pulse(std::make_unique<Pulse>(*this, streamName))
{
}

WaveOut::~WaveOut()
{
    m_active = false;
    m_pulse.reset();
}

bool WaveOut::doOpen()
{
    Pulse& p = *m_pulse;
    if (!p.loop)
        return false;
    if (p.link == Pulse::Link::Down || p.link == Pulse::Link::Failed) {
        // The server went away since (or was never there): try again.
        pa_threaded_mainloop_lock(p.loop);
        p.connect();
        pa_threaded_mainloop_unlock(p.loop);
    }
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(connect_wait_ms);
    while (p.link == Pulse::Link::Connecting && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // A stream still connecting after that is taken as it is: what comes meanwhile waits in the
    // jitter buffer, and a connection that fails makes the stage inactive.
    m_active = p.link == Pulse::Link::Ready || p.link == Pulse::Link::Connecting;
    return m_active;
}

// The buffer is cleared by the next thread that takes it (the playback thread, or a writer after
// a reopen), never here: the caller only raises the count and wakes the playback thread.
void WaveOut::doClose()
{
    m_active = false;
    ++m_closes;
    m_pulse->signal();
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
    if (!m_active || !(format == playback_format) || size < kFrameBytes)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (!m_active)   // closed meanwhile
            return;
        clearIfClosed();
        m_jitter.push(reinterpret_cast<const int16_t*>(data), size / kFrameBytes, now_us());
    }
    m_pulse->signal();
}

qsizetype WaveOut::droppedBytes() const
{
    std::lock_guard lock(m_mutex);
    return qsizetype(m_jitter.droppedFrames()) * kFrameBytes;
}

qsizetype WaveOut::bufferedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_jitter.bufferedFrames() * kFrameBytes;
}

double WaveOut::targetMs() const
{
    std::lock_guard lock(m_mutex);
    return m_jitter.targetMs();
}

qint64 WaveOut::leadUs() const
{
    if (!m_active)
        return -1;
    const qint64 now = now_us();
    qint64 lead = std::max<qint64>(0, m_streamEndUs.load() - now);
    std::lock_guard lock(m_mutex);
    if (m_cleared != m_closes)
        return 0;   // closed since: what it held goes
    lead += frames_us(m_jitter.bufferedFrames());
    if (!m_jitter.playing() && m_jitter.bufferedFrames() > 0)
        lead += std::max<qint64>(0, m_jitter.dueUs(now) - now);
    // Less what the server has been late by in this talk: audio that comes that close to the end
    // of what the stream holds may come too late on this machine.
    return std::max<qint64>(0, lead - qint64(m_jitter.config().marginMs - kMarginMs) * 1000);
}

qint64 WaveOut::underruns() const
{
    std::lock_guard lock(m_mutex);
    return m_jitter.underruns();
}
