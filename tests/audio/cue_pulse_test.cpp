// SPDX-License-Identifier: GPL-3.0-or-later
// The cues as heard: a private PulseAudio server's null sink is the loudspeaker, and its monitor
// is recorded on the test's clock. The calling thread sleeps after each cue, as the panel's
// handlers do; the cue must start at once all the same and be heard to its end.
#include "audio/suoni.h"
#include "station/station.h"
#include "support/sink_ear.h"

#include <QThread>

#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr int kLoud = 1000;                         // about -30 dB of full scale
constexpr long long kGap = SinkEar::kRate / 10;     // alarm4's 80 ms pauses belong to it
// Well under the caller's pause (1000 ms and more): a cue that waited for the handler would be
// that late. A busy machine may delay the sound server by a few hundred milliseconds; the tight
// figure is the benchmark's (bench/bench_cue_latency).
constexpr double kOnsetMs = 600;

const QString kBin = QStringLiteral(KELVO_BIN_DIR);

// Where the cue's file first gets loud (the transmit tone fades in).
long long fileOnset(unsigned cue)
{
    return first_loud(CueEngine::decode(kBin + "/" + cue_file(cue)), kLoud);
}

long long fileLength(unsigned cue, long long gap = kGap)
{
    return loud_length(CueEngine::decode(kBin + "/" + cue_file(cue)), kLoud, gap);
}

struct Asked {
    unsigned cue;
    SinkEar::Clock::time_point at;
};

} // namespace

TEST(CuesHeard, EachCueStartsAtOnceAndIsHeardWholeWhileTheCallerSleeps)
{
    EarOnSink sink;
    QString why;
    if (!sink.start(&why))
        GTEST_SKIP() << why.toStdString();
    int beeps = 0;
    CuePlayer player(kBin, [&] { ++beeps; }, sink.address());

    std::vector<Asked> asked;
    for (unsigned cue : {unsigned(cue_tx), unsigned(cue_entry_error), unsigned(cue_call_alarm), unsigned(cue_refuse), unsigned(cue_click)}) {
        asked.push_back({cue, SinkEar::Clock::now()});
        player.play_cue(cue);
        QThread::msleep(cue == cue_tx ? 1500 : 1000);   // a handler's blocking pause
    }
    // Nine MMSI digits typed briskly: every click is heard.
    for (int digit = 0; digit < 9; ++digit) {
        asked.push_back({cue_click, SinkEar::Clock::now()});
        player.play_cue(cue_click);
        QThread::msleep(150);
    }
    sink.ear.waitUntilRecorded(SinkEar::Clock::now());
    EXPECT_EQ(beeps, 0);

    const auto heard = sink.ear.samples();
    for (const Asked& a : asked) {
        const long long gap = a.cue == cue_click ? SinkEar::kRate / 20 : kGap;
        const auto stretches = loud_stretches(heard, kLoud, gap, sink.ear.indexAt(a.at) - SinkEar::kRate / 100);
        ASSERT_FALSE(stretches.empty()) << "cue " << a.cue << " was not heard";
        const LoudStretch& s = stretches.front();
        const double onset = sink.ear.msAfter(a.at, s.first - fileOnset(a.cue));
        EXPECT_GT(onset, -10) << "cue " << a.cue;
        EXPECT_LT(onset, kOnsetMs) << "cue " << a.cue;
        EXPECT_GE(double(s.length()), 0.95 * double(fileLength(a.cue, gap)))
            << "cue " << a.cue << " heard for " << 1000.0 * double(s.length()) / SinkEar::kRate << " ms";
    }
}

TEST(CuesHeard, ANewCueCutsTheOneInProgressAndIsHeardWhole)
{
    EarOnSink sink;
    QString why;
    if (!sink.start(&why))
        GTEST_SKIP() << why.toStdString();
    CuePlayer player(kBin, {}, sink.address());

    const auto first = SinkEar::Clock::now();
    player.play_cue(cue_call_alarm);
    QThread::msleep(200);
    const auto second = SinkEar::Clock::now();
    player.play_cue(cue_refuse);
    QThread::msleep(1000);
    sink.ear.waitUntilRecorded(SinkEar::Clock::now());

    const auto heard = sink.ear.samples();
    const auto stretches = loud_stretches(heard, kLoud, kGap, sink.ear.indexAt(first) - SinkEar::kRate / 100);
    ASSERT_FALSE(stretches.empty());
    const LoudStretch& s = stretches.front();   // the alarm, then the refusal right after it
    const double firstOnsetMs = sink.ear.msAfter(first, s.first - fileOnset(cue_call_alarm));
    EXPECT_LT(firstOnsetMs, kOnsetMs);
    const double refuseMs = 1000.0 * double(fileLength(cue_refuse)) / SinkEar::kRate;
    const double endMs = sink.ear.msAfter(second, s.last);
    EXPECT_GE(endMs, 0.95 * refuseMs) << "the second cue was cut";
    // The refusal ends as long after it was asked for as the alarm began after it was (the
    // machine's delay, measured), give or take 50 ms; an alarm that went on would end later.
    EXPECT_LT(endMs, refuseMs + std::max(0.0, firstOnsetMs) + 50) << "the first cue went on";
    EXPECT_EQ(stretches.size(), 1u) << "something sounded after the second cue";
}
