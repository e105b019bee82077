// SPDX-License-Identifier: GPL-3.0-or-later
// Voice path timing: a 20 ms PCM block entering the encoder until 44100 Hz stereo PCM leaves the
// resampler (decoder and resampler in between, the network hop replaced by a direct link), and
// the CPU that path costs per second of voice.
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "support/collect_sink.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main()
{
    GsmEncoder enc;
    GsmDecoder dec;
    Resampler rs;
    // When the first output of a block came out of the path.
    CollectSink sink({.openAtStart = true, .keep = false});
    bool seen = false;
    Clock::time_point at;
    sink.onBlock = [&](const AudioFormat&, qsizetype) {
        if (!seen) {
            seen = true;
            at = Clock::now();
        }
    };
    enc.link(&dec);
    dec.link(&rs);
    rs.link(&sink);
    enc.open();
    // The decoder takes what the sender announces: the encoder's own output format.
    const AudioFormat pcm{WAVE_FORMAT_PCM, 22050, 16, 1};
    std::vector<int16_t> block(441);   // 20 ms of capture
    std::vector<double> latencies;
    const int blocks = 2000;   // 40 s of voice
    const double cpu0 = cpu_seconds();
    const auto wall0 = Clock::now();
    for (int b = 0; b < blocks; ++b) {
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * double(b * 441 + int(i)) / 22050));
        seen = false;
        const auto t0 = Clock::now();
        enc.write(pcm, reinterpret_cast<const char*>(block.data()), qsizetype(block.size() * 2));
        if (seen)
            latencies.push_back(std::chrono::duration<double, std::milli>(at - t0).count());
    }
    const double cpu = cpu_seconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::sort(latencies.begin(), latencies.end());
    const double voiceSeconds = blocks * 0.02;
    std::printf("blocks %d, outputs %zu, PCM out %lld bytes\n", blocks, latencies.size(), (long long)sink.byteCount.load());
    std::printf("processing per block: median %.3f ms, p99 %.3f ms (target: path <= 20 ms)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100]);
    std::printf("buffering in the path: GSM block 320 samples = 14.5 ms at most\n");
    std::printf("CPU for %.0f s of voice: %.3f s (%.2f%% of a core), wall %.3f s\n", voiceSeconds, cpu,
                100.0 * cpu / voiceSeconds, wall);
    return 0;
}
