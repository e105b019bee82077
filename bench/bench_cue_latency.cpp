// SPDX-License-Identifier: GPL-3.0-or-later
// Cue start latency: from play_cue to the cue's first loud sample at the loudspeaker, with the
// calling thread asleep right after the call (as the panel's handlers are). The loudspeaker is the
// null sink of a private PulseAudio server, recorded from its monitor on this program's clock.
// Also: the CPU the idle cue player costs (its stream open, nothing playing), and the latency of
// a cue that replaces one in progress, measured by the end of the second cue.
//
// Skips, saying why, when pulseaudio is missing or the server does not come up.
//
// Usage: bench_cue_latency [cues, default 40]
#include "audio/suoni.h"
#include "proc_cpu.h"
#include "station/station.h"
#include "support/sink_ear.h"
#include "voice_bench.h"

#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace vbench;

namespace {

constexpr int kLoud = 1000;
constexpr long long kGap = SinkEar::kRate / 10;

void print_percentiles(const char* what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("%s: nothing measured\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))]; };
    std::printf("%s: n %zu, median %.1f ms, p90 %.1f ms, min %.1f, max %.1f\n", what, v.size(), at(0.5), at(0.9),
                v.front(), v.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int cues = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    EarOnSink sink;
    QString why;
    if (!sink.start(&why, false)) {
        std::printf("cue latency skipped: %s\n", qPrintable(why));
        return 0;
    }
    const QString bin = QStringLiteral(KELVO_BIN_DIR);
    int beeps = 0;
    CuePlayer player(bin, [&] { ++beeps; }, sink.address());

    // Idle: the stream is open and nothing plays.
    QThread::msleep(500);
    const double cpu0 = proc_cpu_seconds(getpid());
    const auto idle0 = Clock::now();
    QThread::msleep(10000);
    const double idleCpu = 100.0 * (proc_cpu_seconds(getpid()) - cpu0) / (ms(Clock::now() - idle0) / 1000.0);
    if (!sink.listen(&why)) {
        std::printf("cue latency skipped: %s\n", qPrintable(why));
        return 0;
    }

    // From idle: each cue after the previous one has died away.
    const unsigned order[] = {cue_click, cue_refuse, cue_tx, cue_call_alarm, cue_entry_error};
    std::vector<Clock::time_point> asked;
    for (int i = 0; i < cues; ++i) {
        asked.push_back(Clock::now());
        player.play_cue(order[i % 5]);
        QThread::msleep(1000);   // asleep, as a handler; the longest cue is 720 ms
    }
    // Replacing: a refusal 200 ms into the call alarm; its end tells when it started.
    std::vector<Clock::time_point> replaced;
    for (int i = 0; i < cues / 4; ++i) {
        player.play_cue(cue_call_alarm);
        QThread::msleep(200);
        replaced.push_back(Clock::now());
        player.play_cue(cue_refuse);
        QThread::msleep(800);
    }
    sink.ear.waitUntilRecorded(Clock::now());

    const auto heard = sink.ear.samples();
    std::vector<double> fromIdle, whole, cut;
    for (int i = 0; i < cues; ++i) {
        const auto s = loud_stretches(heard, kLoud, kGap, sink.ear.indexAt(asked[size_t(i)]) - SinkEar::kRate / 100);
        if (s.empty())
            continue;
        const CueSound pcm = CueEngine::decode(bin + "/" + cue_file(order[i % 5]));
        const long long file = loud_length(pcm, kLoud, kGap);
        // The cue's own first loud sample (after a fade-in) is where its onset is looked for.
        fromIdle.push_back(sink.ear.msAfter(asked[size_t(i)], s.front().first - first_loud(pcm, kLoud)));
        whole.push_back(100.0 * double(s.front().length()) / double(file));
        if (whole.back() < 95)
            std::printf("cue %u heard %.1f %% (%lld of %lld samples), onset %.1f ms\n", order[i % 5], whole.back(),
                        s.front().length(), file, fromIdle.back());
    }
    const double refuseMs = 1000.0
        * double(loud_length(CueEngine::decode(bin + "/" + cue_file(cue_refuse)), kLoud, kGap)) / SinkEar::kRate;
    for (const auto& t : replaced) {
        const auto s = loud_stretches(heard, kLoud, kGap, sink.ear.indexAt(t) - SinkEar::kRate / 4);
        if (!s.empty())
            cut.push_back(sink.ear.msAfter(t, s.front().last) - refuseMs);
    }

    std::printf("cue player idle CPU: %.2f %% of a core over 10 s (stream open, nothing playing)\n", idleCpu);
    print_percentiles("cue start latency from idle, caller asleep (target median <= 20 ms)", fromIdle);
    print_percentiles("cue start latency replacing a cue in progress (from the end of the second)", cut);
    std::sort(whole.begin(), whole.end());
    if (!whole.empty())
        std::printf("heard length, %% of the file: min %.1f, median %.1f\n", whole.front(), whole[whole.size() / 2]);
    std::printf("beeps: %d\n", beeps);
    return 0;
}
