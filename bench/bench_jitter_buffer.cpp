// SPDX-License-Identifier: GPL-3.0-or-later
// The jitter buffer's delay, on a simulated clock (no devices, so the figures do not depend on the
// machine's load): how long each sample waits between its arrival and the loudspeaker taking it,
// and the target, for
//   station  - a station talking: its capture hands over 20 ms, the sender the whole GSM blocks it
//              has (one or two);
//   uneven   - a sender that hands over whole GSM blocks every 40-52 ms;
//   bursts   - a peer that sends 21 GSM blocks (305 ms) a datagram;
//   stalls   - the steady stream with a 150 ms network stall every 2 s, measured after the first;
//   silence  - a steady talk after the bursts and ten seconds of silence (the target has shrunk).
// The loudspeaker takes 5 ms chunks (the playback stage's device takes the audio as it comes, 5 ms
// ahead of playing it).
//
// Usage: bench_jitter_buffer
#include "audio/jitter_buffer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr qint64 kMs = 1000;

struct Arrival {
    qint64 at;
    qsizetype frames;
};

// The capture of a sender: every 40-52 ms, the whole GSM blocks (320 samples at 22050 Hz, 640
// frames at 44100) spoken since the last hand-over; `stall` holds back what comes from 1.0 to 1.15 s
// of every two seconds.
std::vector<Arrival> capture(qint64 from, double seconds, bool stall, bool station = false)
{
    std::vector<Arrival> a;
    unsigned seed = 11;
    qint64 sent = 0;
    for (qint64 t = 0; t < qint64(seconds * 1e6);) {
        seed = seed * 1103515245u + 12345u;
        t += station ? 20 * kMs : (40 + qint64((seed >> 16) % 13)) * kMs;
        const qint64 spoken = t * 22050 / 1'000'000 / 320 * 640;
        if (spoken > sent) {
            qint64 at = from + t;
            const qint64 into = t % (2000 * kMs);
            if (stall && into >= 1000 * kMs && into < 1150 * kMs)
                at += 1150 * kMs - into;
            a.push_back({at, qsizetype(spoken - sent)});
            sent = spoken;
        }
    }
    return a;
}

// Plays `arrivals` through `jb`; returns each sample's wait in ms (sampled every 441 frames) from
// `measureFrom` on.
std::vector<double> play(JitterBuffer& jb, const std::vector<Arrival>& arrivals, qint64 start, qint64 end,
                         qint64 measureFrom)
{
    std::vector<double> waits;
    std::vector<std::pair<qint64, qint64>> pending;   // (arrival, frames) not yet taken, oldest first
    std::vector<int16_t> chunk(220 * 2);
    size_t next = 0;
    qint64 accounted = jb.droppedFrames() + jb.trimmedFrames();
    for (qint64 t = start + 3 * kMs; t < end; t += 5 * kMs) {
        for (; next < arrivals.size() && arrivals[next].at <= t; ++next) {
            std::vector<int16_t> block(size_t(arrivals[next].frames) * 2, 1000);
            jb.push(block.data(), arrivals[next].frames, arrivals[next].at);
            pending.push_back({arrivals[next].at, arrivals[next].frames});
        }
        const qint64 dropped = jb.droppedFrames() + jb.trimmedFrames();
        for (qint64 d = dropped - accounted; d > 0 && !pending.empty();) {
            const qint64 n = std::min(d, pending.front().second);
            pending.front().second -= n;
            d -= n;
            if (pending.front().second == 0)
                pending.erase(pending.begin());
        }
        accounted = dropped;
        qint64 got = jb.pull(chunk.data(), 220, t);
        if (got > 0 && t >= measureFrom && !pending.empty())
            waits.push_back(double(t - pending.front().first) / 1000.0);
        while (got > 0 && !pending.empty()) {
            const qint64 n = std::min(got, pending.front().second);
            pending.front().second -= n;
            got -= n;
            if (pending.front().second == 0)
                pending.erase(pending.begin());
        }
    }
    return waits;
}

void report(const char* what, std::vector<double> waits, const JitterBuffer& jb)
{
    std::sort(waits.begin(), waits.end());
    const auto at = [&](double q) { return waits.empty() ? 0.0 : waits[size_t(q * double(waits.size() - 1))]; };
    std::printf("%-9s wait median %6.1f ms  p95 %6.1f ms  max %6.1f ms   target at the end %6.1f ms   ran dry %lld times "
                "(the end included)  dropped %.3f s  quiet skipped %.3f s\n",
                what, at(0.5), at(0.95), at(1.0), jb.targetMs(), (long long)jb.underruns(),
                double(jb.droppedFrames()) / kRate, double(jb.trimmedFrames()) / kRate);
}

JitterBuffer make()
{
    // The playback stage's settings.
    return JitterBuffer(JitterBuffer::Config{kRate, 2, 5, 5});
}

} // namespace

int main()
{
    {
        JitterBuffer jb = make();
        report("station", play(jb, capture(0, 30, false, true), 0, 31'000 * kMs, 2'000 * kMs), jb);
    }
    {
        JitterBuffer jb = make();
        report("uneven", play(jb, capture(0, 30, false), 0, 31'000 * kMs, 2'000 * kMs), jb);
    }
    JitterBuffer jb = make();
    {
        std::vector<Arrival> bursts;
        for (int i = 0; i < 20; ++i)
            bursts.push_back({qint64((i + 1) * 304.76 * kMs), 21 * 640});
        report("bursts", play(jb, bursts, 0, 7'000 * kMs, 1'000 * kMs), jb);
    }
    {
        const qint64 t0 = 17'000 * kMs;
        jb.clear();
        report("silence", play(jb, capture(t0, 5, false), t0, t0 + 6'000 * kMs, t0), jb);
    }
    {
        JitterBuffer stalls = make();
        report("stalls", play(stalls, capture(0, 30, true), 0, 31'000 * kMs, 2'000 * kMs), stalls);
    }
    return 0;
}
