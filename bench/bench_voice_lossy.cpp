// SPDX-License-Identifier: GPL-3.0-or-later
// What a listener hears through a bad network (tests/support/lossy_air.h: the station's sender, a
// link on loopback that loses and reorders datagrams on a fixed plan, the station's receive chain
// into a private PulseAudio null sink). Each round: a clean talk on a fresh chain, a clean talk of
// 8 s, the same with 5 % loss, one with 8 % of its datagrams reordered, one with both and formats
// of no use, then a clean talk again. Reported as medians over the rounds:
//   - with 5 % loss: the share of the tone heard (target >= 94 %) and the longest gap (<= 60 ms),
//     beside the longest gap of the clean 8 s (what the machine's load costs without any loss);
//   - reordered: packets the receiver counted lost (target 0);
//   - the onset of a clean talk, first word to first sound, fresh and after the bad talks (the
//     same, within a few ms: the bad talks leave nothing behind).
//
// Usage: bench_voice_lossy [rounds, default 5]
#include "support/lossy_air.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace lossy_air;

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QCoreApplication app(argc, argv);
    std::vector<double> heard, gap, cleanGap, reorderedLost, fresh, after;
    for (int r = 0; r < rounds; ++r) {
        Air air;
        QString why;
        if (!air.start(&why)) {
            std::printf("skipped: %s\n", qPrintable(why));
            return 0;
        }
        const unsigned seed = unsigned(7 + r);
        const Heard f = air.heard(air.talk(2, {}), 2);
        const Heard c = air.heard(air.talk(8, {}), 8);
        const Heard l = air.heard(air.talk(8, {.loss = 0.05, .seed = seed}), 8);
        air.talk(4, {.reorder = 0.08, .seed = seed});
        const long lost = air.lastLost;
        air.talk(4, {.loss = 0.05, .reorder = 0.05, .seed = seed});
        air.talk(1, {.loss = 0.05, .seed = seed}, 8000);
        air.talk(1, {.seed = seed}, 3);
        const Heard a = air.heard(air.talk(2, {}), 2);
        std::printf("round %d: fresh onset %.1f ms; clean: longest gap %.1f ms; 5 %% loss: heard %.1f %%, longest gap "
                    "%.1f ms; reordered: %ld lost; after the bad talks: onset %.1f ms\n",
                    r + 1, f.onsetMs, c.longestGapMs, 100.0 * l.heardMs / 8000, l.longestGapMs, lost, a.onsetMs);
        heard.push_back(100.0 * l.heardMs / 8000);
        gap.push_back(l.longestGapMs);
        cleanGap.push_back(c.longestGapMs);
        reorderedLost.push_back(double(lost));
        fresh.push_back(f.onsetMs);
        after.push_back(a.onsetMs);
    }
    std::printf("medians of %d rounds:\n", rounds);
    std::printf("  5 %% loss: heard %.1f %% (target >= 94 %%), longest gap %.1f ms (target <= 60 ms); clean, longest gap "
                "%.1f ms\n",
                median(heard), median(gap), median(cleanGap));
    std::printf("  8 %% reordered: %.0f packets lost (target 0)\n", median(reorderedLost));
    std::printf("  clean talk, first word to first sound: fresh %.1f ms, after the bad talks %.1f ms\n", median(fresh),
                median(after));
    return 0;
}
