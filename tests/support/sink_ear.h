// SPDX-License-Identifier: GPL-3.0-or-later
// What a PulseAudio sink plays, recorded from its monitor on a thread of the test's own, on the
// test's clock: each sample gets the steady_clock time at which it reached the test (the sink
// rendered it at most a 5 ms fragment and a thread wake-up earlier), so a sound's onset can be
// compared with the moment it was asked for. Also: the loud stretches of a recording, for onsets and lengths.
#pragma once

#include "support/private_pulse.h"

#include <pulse/simple.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

class SinkEar {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRate = 44100;

    ~SinkEar() { stop(); }

    // Records `source` (e.g. "kelvo_sink.monitor") of the server at `address`, mono 16-bit kRate.
    bool start(const QString& address, const QString& source)
    {
        const pa_sample_spec format{PA_SAMPLE_S16NE, uint32_t(kRate), 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = kRate * 2 * 5 / 1000;   // 5 ms: the sink renders in blocks no longer than this
        int error = 0;
        m_stream = pa_simple_new(address.toUtf8().constData(), "Kelvo test ear", PA_STREAM_RECORD,
                                 source.toUtf8().constData(), "monitor", &format, nullptr, &attr, &error);
        if (!m_stream)
            return false;
        m_run = true;
        m_thread = std::thread([this] { record(); });
        return true;
    }

    void stop()
    {
        m_run = false;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
        m_stream = nullptr;
    }

    std::vector<int16_t> samples() const
    {
        std::lock_guard lock(m_mutex);
        return m_samples;
    }
    // The sample that reached this program at `t` (as msAfter counts; may lie outside the recording).
    long long indexAt(Clock::time_point t) const
    {
        std::lock_guard lock(m_mutex);
        const auto read = std::lower_bound(m_reads.begin(), m_reads.end(), t,
                                           [](const Read& r, Clock::time_point at) { return r.at < at; });
        if (read == m_reads.end())
            return static_cast<long long>(m_samples.size());
        return read->end - std::chrono::duration_cast<std::chrono::microseconds>(read->at - t).count() * kRate / 1000000;
    }
    // When sample `index` reached this program, in ms after `t`: when the read that brought it
    // returned, less the samples behind it in that read. The sink rendered it at the latest then
    // (sooner by the 5 ms of a fragment and the scheduling of the reading thread at most).
    double msAfter(Clock::time_point t, long long index) const
    {
        std::lock_guard lock(m_mutex);
        const auto read = std::upper_bound(m_reads.begin(), m_reads.end(), index,
                                           [](long long i, const Read& r) { return i < r.end; });
        if (read == m_reads.end())
            return 1e9;
        const auto at = read->at - std::chrono::microseconds((read->end - index) * 1000000 / kRate);
        return std::chrono::duration<double, std::milli>(at - t).count();
    }

    // Waits until the recording holds what the sink rendered up to `t`.
    void waitUntilRecorded(Clock::time_point t, int timeoutMs = 3000) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            {
                std::lock_guard lock(m_mutex);
                if (!m_reads.empty() && m_reads.back().at >= t + std::chrono::milliseconds(20))
                    return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    void record()
    {
        std::vector<int16_t> block(kRate * 5 / 1000);
        while (m_run) {
            if (pa_simple_read(m_stream, block.data(), block.size() * 2, nullptr) < 0)
                return;
            const auto now = Clock::now();
            std::lock_guard lock(m_mutex);
            m_samples.insert(m_samples.end(), block.begin(), block.end());
            m_reads.push_back({static_cast<long long>(m_samples.size()), now});
        }
    }

    pa_simple* m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_run{false};
    mutable std::mutex m_mutex;
    std::vector<int16_t> m_samples;   // under m_mutex
    struct Read {
        long long end;                // the samples recorded when it returned
        Clock::time_point at;
    };
    std::vector<Read> m_reads;        // under m_mutex
};

// A stretch of sound: its first and last samples at or above a threshold, with quiet gaps shorter
// than `gap` samples inside it.
struct LoudStretch {
    long long first = 0, last = 0;
    long long length() const { return last - first + 1; }
};

inline std::vector<LoudStretch> loud_stretches(const std::vector<int16_t>& x, int threshold, long long gap,
                                               long long from = 0)
{
    std::vector<LoudStretch> out;
    for (long long i = std::max(0LL, from); i < (long long)x.size(); ++i) {
        if (std::abs(int(x[size_t(i)])) < threshold)
            continue;
        if (!out.empty() && i - out.back().last <= gap)
            out.back().last = i;
        else
            out.push_back({i, i});
    }
    return out;
}

// A private server whose one mono 44.1 kHz null sink is the loudspeaker, with an ear on it.
struct EarOnSink {
    static constexpr const char* kDevices =
        "load-module module-null-sink sink_name=kelvo_sink rate=44100 channels=1 norewinds=1\n"
        "set-default-sink kelvo_sink\n";
    PrivatePulse pulse;
    SinkEar ear;

    // `listen`: start recording at once (otherwise call listen() later).
    bool start(QString* why, bool listen = true)
    {
#if defined(__SANITIZE_THREAD__)
        // The sound server is started from the test's own process, after which the thread
        // sanitizer no longer follows the locks of the recording thread: it reports races that
        // are not there or the test hangs. These tests run in the other builds.
        if (why)
            *why = QStringLiteral("a sound server started by the test cannot run under the thread sanitizer");
        return false;
#endif
        if (!pulse.start(kDevices, why))
            return false;
        return !listen || this->listen(why);
    }
    bool listen(QString* why)
    {
        if (!ear.start(pulse.address(), QStringLiteral("kelvo_sink.monitor")))
            return *why = QStringLiteral("cannot record the sink's monitor"), false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));   // the recording settles
        return true;
    }
    QString address() const { return pulse.address(); }
};

// The samples of a sound file from its first to its last loud sample, as loud_stretches counts them.
inline long long loud_length(const std::vector<int16_t>& pcm, int threshold, long long gap)
{
    const auto s = loud_stretches(pcm, threshold, gap);
    return s.empty() ? 0 : s.back().last - s.front().first + 1;
}

// Where a sound's first loud sample lies in it.
inline long long first_loud(const std::vector<int16_t>& pcm, int threshold)
{
    const auto s = loud_stretches(pcm, threshold, 0);
    return s.empty() ? 0 : s.front().first;
}
