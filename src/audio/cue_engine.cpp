// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/cue_engine.h"
#include "audio/pulse_client.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// The stream keeps up to 200 ms queued while a cue plays, so a thread that is held up for a while
// on a busy PC does not leave a hole in the cue; it is written 5 ms at a time, so a new cue waits at
// most one write before the old one is flushed. Playback starts when the buffer is full, which the
// thread does at once (every cue is followed by more silence than that). A smaller start threshold
// loses the first cue of a fresh stream on PulseAudio's null sink.
constexpr int kChunkFrames = CueEngine::kRate / 200;           // 5 ms
constexpr uint32_t kTargetBytes = CueEngine::kRate * 2 * 200 / 1000;
constexpr uint32_t kRequestBytes = kChunkFrames * 2;
// Silence written after a cue: more than the stream's whole buffer, so the cue's end is played out.
constexpr int kTailFrames = CueEngine::kRate * 250 / 1000;

int16_t to_sample(float v)
{
    return int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

CueSound CueEngine::decode(const QString& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    if (!file)
        return {};
    CueSound out;
    if (info.channels >= 1 && info.channels <= 64 && info.samplerate >= 1000 && info.samplerate <= 768000) {
        const sf_count_t maxFrames = sf_count_t(info.samplerate) * kMaxSeconds;
        std::vector<float> mono;
        std::vector<float> block(size_t(1024) * size_t(info.channels));
        while (sf_count_t(mono.size()) < maxFrames) {
            const sf_count_t want = std::min<sf_count_t>(1024, maxFrames - sf_count_t(mono.size()));
            const sf_count_t got = sf_readf_float(file, block.data(), want);
            if (got <= 0)
                break;
            for (sf_count_t f = 0; f < got; ++f) {
                float sum = 0;
                for (int c = 0; c < info.channels; ++c)
                    sum += block[size_t(f) * size_t(info.channels) + size_t(c)];
                mono.push_back(std::isfinite(sum) ? sum / float(info.channels) : 0.0f);
            }
        }
        if (info.samplerate == kRate) {
            out.reserve(mono.size());
            for (float v : mono)
                out.push_back(to_sample(v));
        } else if (!mono.empty()) {
            const double ratio = double(kRate) / info.samplerate;
            std::vector<float> resampled(size_t(std::ceil(double(mono.size()) * ratio)) + 16);
            size_t done = 0;
            const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
            if (!soxr_oneshot(info.samplerate, kRate, 1, mono.data(), mono.size(), nullptr, resampled.data(),
                              resampled.size(), &done, &io, nullptr, nullptr)) {
                out.reserve(done);
                for (size_t i = 0; i < done; ++i)
                    out.push_back(to_sample(resampled[i]));
            }
        }
    }
    sf_close(file);
    return out;
}

CueEngine::CueEngine(const QString& server) : m_server(server.toStdString())
{
    m_thread = std::thread([this] { run(); });
    // Wait a little for the stream (looking now and then: a timed wait on the condition variable
    // is invisible to the thread sanitizer).
    for (int i = 0; i < 600 && m_state == State::Opening; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

CueEngine::~CueEngine()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool CueEngine::play(std::shared_ptr<const CueSound> sound)
{
    bool ok = false;
    {
        std::lock_guard lock(m_mutex);
        ok = m_state != State::Failed;
        if (ok)
            m_next = std::move(sound);
        else
            m_retry = true;
    }
    m_wake.notify_all();
    return ok;
}

bool CueEngine::openStream()
{
    const pa_sample_spec format{PA_SAMPLE_S16NE, uint32_t(kRate), 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = kTargetBytes;
    attr.prebuf = uint32_t(-1);
    attr.minreq = kRequestBytes;
    attr.fragsize = uint32_t(-1);
    int error = 0;
    m_stream = pa_simple_new(m_server.empty() ? nullptr : m_server.c_str(), "Kelvo station", PA_STREAM_PLAYBACK,
                             nullptr, "Panel cues", &format, nullptr, &attr, &error);
    return m_stream != nullptr;
}

void CueEngine::run()
{
    pulse::raise_thread_priority();   // a cue must not break up while the machine is busy
    bool open = openStream();
    {
        std::lock_guard lock(m_mutex);
        m_state = open ? State::Open : State::Failed;
    }
    m_wake.notify_all();

    std::shared_ptr<const CueSound> current;
    size_t pos = 0;
    int tail = 0;   // frames of silence still to write after the cue
    auto lastTry = std::chrono::steady_clock::now();
    std::vector<int16_t> chunk(kChunkFrames);
    for (;;) {
        std::shared_ptr<const CueSound> next;
        bool retry = false;
        {
            std::unique_lock lock(m_mutex);
            if (!current && tail == 0)
                m_wake.wait(lock, [this] { return m_stop || m_next || m_retry; });
            if (m_stop)
                break;
            next = std::move(m_next);
            m_next.reset();
            retry = std::exchange(m_retry, false);
        }
        if (retry && !open && std::chrono::steady_clock::now() - lastTry > std::chrono::seconds(1)) {
            lastTry = std::chrono::steady_clock::now();
            open = openStream();
            std::lock_guard lock(m_mutex);
            m_state = open ? State::Open : State::Failed;
        }
        if (!open)
            continue;
        if (next) {
            // Cut what is still queued: the sound in progress, or the silence after the last one.
            pa_simple_flush(m_stream, nullptr);
            current = std::move(next);
            pos = 0;
            tail = kTailFrames;
        }
        size_t n = 0;
        if (current) {
            n = std::min(chunk.size(), current->size() - pos);
            std::copy_n(current->begin() + std::ptrdiff_t(pos), n, chunk.begin());
            pos += n;
            if (pos >= current->size())
                current.reset();
        }
        if (n < chunk.size()) {
            const int silence = std::min(int(chunk.size() - n), tail);
            std::fill_n(chunk.begin() + std::ptrdiff_t(n), silence, int16_t(0));
            tail -= silence;
            n += size_t(silence);
        }
        if (n > 0 && pa_simple_write(m_stream, chunk.data(), n * sizeof(int16_t), nullptr) < 0) {
            // The server went away: later cues give the beep until a reopen succeeds.
            pa_simple_free(m_stream);
            m_stream = nullptr;
            open = false;
            current.reset();
            tail = 0;
            std::lock_guard lock(m_mutex);
            m_state = State::Failed;
        }
    }
    if (m_stream)
        pa_simple_free(m_stream);
    m_stream = nullptr;
}
