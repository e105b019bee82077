// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wave_in.h"

#include "audio/pulse_client.h"

#include <pulse/introspect.h>

#include <chrono>
#include <thread>

// Everything here but `link` is used under the main loop's lock: on the loop's thread
// (its callbacks hold the lock) or by a caller that has taken it.
struct WaveIn::Pulse {
    // Priming: the new stream runs, its data thrown away, until its first block, so that the source
    // has taken the stream's latency before the first talk (a source's first block can otherwise
    // take up to its old latency, on a null device up to two seconds).
    enum class Link { Down, Connecting, Priming, Ready, Failed };

    explicit Pulse(WaveIn& owner, const QString& server) : owner(owner), server(server.toStdString())
    {
        loop = pulse::start_loop("waveIN1");
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        connect();
        pa_threaded_mainloop_unlock(loop);
    }

    ~Pulse()
    {
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        teardown();
        pa_threaded_mainloop_unlock(loop);
        pulse::stop_loop(loop);
    }

    void teardown()
    {
        pulse::drop_stream(stream);
        pulse::drop_context(context);
        link = Link::Down;
    }

    // Starts a new connection and, once the server answers, a corked capture stream.
    void connect()
    {
        teardown();
        link = Link::Connecting;
        if (!pulse::connect_context(loop, context, server, &Pulse::onContextState, this))
            link = Link::Failed;
    }

    void openStream()
    {
        const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, uint32_t(capture_format.rate), uint8_t(capture_format.channels)};
        stream = pa_stream_new(context, "Push-to-talk", &sampleFormat, nullptr);
        if (!stream) {
            link = Link::Failed;
            return;
        }
        pa_stream_set_state_callback(stream, &Pulse::onStreamState, this);
        pa_stream_set_read_callback(stream, &Pulse::onRead, this);
        pa_stream_set_moved_callback(stream, &Pulse::onMoved, this);
        // Blocks of 20 ms, and the source's latency set to match, so that an uncorked stream
        // delivers its first block about one block after it starts.
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(pa_usec_t(block_ms) * 1000, &sampleFormat));
        const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(stream, nullptr, &attr, flags) < 0)
            link = Link::Failed;
    }

    // The stream is only ready once its source is known to be a microphone, not the monitor of
    // an output (a server with no input device falls back to one).
    void checkSource()
    {
        pa_operation* op = pa_context_get_source_info_by_index(context, pa_stream_get_device_index(stream),
                                                               &Pulse::onSourceInfo, this);
        if (op)
            pa_operation_unref(op);
        else
            link = Link::Failed;
    }

    void cork(bool corked)
    {
        if (link == Link::Ready || link == Link::Priming)
            setCorked(corked);
    }

    void setCorked(bool corked)
    {
        if (pa_operation* op = pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr))
            pa_operation_unref(op);
        // What the server still holds of the last talk must not start the next one.
        if (corked)
            if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr))
                pa_operation_unref(op);
    }

    static void onContextState(pa_context* c, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY: p->openStream(); break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED: p->link = Link::Failed; break;
        default: break;
        }
    }

    static void onStreamState(pa_stream* s, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        switch (pa_stream_get_state(s)) {
        case PA_STREAM_READY: p->checkSource(); break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED: p->link = Link::Failed; break;   // e.g. the source was removed
        default: break;
        }
    }

    // The server moves the stream when its source goes away; a monitor is no microphone.
    static void onMoved(pa_stream*, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        p->link = Link::Connecting;
        p->checkSource();
    }

    static void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        if (p->link != Link::Connecting || eol > 0)   // eol > 0: the end of an answer
            return;
        if (eol < 0 || !info) {   // no such source (any more)
            p->link = Link::Failed;
            return;
        }
        if (info->index != pa_stream_get_device_index(p->stream)) {
            p->checkSource();   // an answer about the source the stream has just left
            return;
        }
        if (info->monitor_of_sink != PA_INVALID_INDEX) {
            p->link = Link::Failed;
            p->setCorked(true);   // it may have moved there while someone talked
            return;
        }
        // A stream that moved while someone was talking goes on at once.
        p->microphone = info->index;
        p->link = p->owner.m_active ? Link::Ready : Link::Priming;
        p->cork(false);
    }

    static void onRead(pa_stream* s, size_t, void* self)
    {
        auto* p = static_cast<Pulse*>(self);
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
            if (data && p->link == Link::Priming) {
                p->link = Link::Ready;
                if (!p->owner.m_active)
                    p->cork(true);
            } else if (data && p->link == Link::Ready && p->owner.m_active   // no data: a hole
                       && pa_stream_get_device_index(s) == p->microphone) {
                p->owner.handOn(data, bytes);
            }
            pa_stream_drop(s);
        }
    }

    WaveIn& owner;
    const std::string server;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    uint32_t microphone = PA_INVALID_INDEX;   // the source last found to be a microphone
    std::atomic<Link> link{Link::Down};   // read without the lock by waiters
};

WaveIn::WaveIn(const QString& server) : m_pulse(std::make_unique<Pulse>(*this, server)) {}

WaveIn::~WaveIn()
{
    m_active = false;
    m_pulse.reset();
}

void WaveIn::handOn(const void* data, size_t bytes)
{
    deliver(capture_format, static_cast<const char*>(data), qsizetype(bytes));
}

namespace {
template <class Done>
void waitUntil(Done done, int ms)
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}
} // namespace

bool WaveIn::waitReady(int ms) const
{
    const Pulse& p = *m_pulse;
    waitUntil([&] { return !p.loop || (p.link != Pulse::Link::Connecting && p.link != Pulse::Link::Priming); }, ms);
    return ready();
}

bool WaveIn::ready() const { return m_pulse->loop && m_pulse->link == Pulse::Link::Ready; }

bool WaveIn::doOpen()
{
    Pulse& p = *m_pulse;
    if (!p.loop)
        return false;
    if (p.link == Pulse::Link::Down || p.link == Pulse::Link::Failed) {
        // The server or the device went away since (or was never there): try again.
        pa_threaded_mainloop_lock(p.loop);
        p.connect();
        pa_threaded_mainloop_unlock(p.loop);
    }
    // A stream still priming is running already: it is taken as it is.
    waitUntil([&] { return p.link != Pulse::Link::Connecting; }, reconnect_wait_ms);
    pa_threaded_mainloop_lock(p.loop);
    if (p.link == Pulse::Link::Connecting)
        p.link = Pulse::Link::Failed;   // too slow to answer: the next open starts afresh
    if (p.link == Pulse::Link::Priming)
        p.link = Pulse::Link::Ready;
    m_active = p.link == Pulse::Link::Ready;
    p.cork(!m_active);
    pa_threaded_mainloop_unlock(p.loop);
    return m_active;
}

void WaveIn::doClose()
{
    m_active = false;   // nothing more is handed on, whatever the stream still brings
    Pulse& p = *m_pulse;
    if (!p.loop)
        return;
    pa_threaded_mainloop_lock(p.loop);
    p.cork(true);
    pa_threaded_mainloop_unlock(p.loop);
}
