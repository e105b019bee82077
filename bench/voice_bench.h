// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces the voice benchmarks share: clocks, CPU time, percentiles, a receiver on a free port and
// a pass-through stage that lets a benchmark see blocks go by.
#pragma once

#include "audio/broadcast_rx.h"
#include "audio/stage.h"
#include "support/collect_sink.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace vbench {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLoopback = 0x7F000001u;

inline double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// User + system CPU of the whole process (all its threads, not its children), in seconds.
inline double process_cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU of the calling thread, in seconds.
inline double thread_cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Stats {
    std::size_t n = 0;
    double median = 0, p99 = 0, max = 0;
};

inline Stats stats(std::vector<double> v)
{
    Stats s;
    s.n = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.max = v.back();
    return s;
}

inline void print_stats(const char* what, const Stats& s)
{
    std::printf("%-52s n %5zu  median %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", what, s.n, s.median, s.p99,
                s.max);
}

// Opens `rx` on the first free port from `from` on; 0 when none of 200 is free.
inline int open_on_free_port(BroadcastRX& rx, int from)
{
    for (int p = from; p < from + 200; ++p) {
        rx.setPort(QString::number(p));
        if (rx.open())
            return p;
    }
    return 0;
}

// Hands every block on unchanged after telling `seen` about it (on the writer's thread).
struct Tap : CollectSink {
    explicit Tap(std::function<void(const AudioFormat&, qsizetype)> seen)
        : CollectSink({.openAtStart = true, .keep = false, .passOn = true})
    {
        onBlock = std::move(seen);
    }
};

} // namespace vbench
