// SPDX-License-Identifier: GPL-3.0-or-later
// The jitter buffer on a simulated clock: blocks arrive as a network delivers them, a loudspeaker
// takes 20 ms chunks at its steady pace. Every pushed frame carries its own number (1, 2, 3, ...),
// so what comes out shows at once whether audio was lost, repeated, or broken by silence.
#include "audio/jitter_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kRate = 8000;   // mono, so that one frame is one sample
constexpr qint64 kMs = 1000;

struct Arrival {
    qint64 atUs;
    qsizetype frames;
};

struct Played {
    std::vector<int16_t> samples;
    int gaps = 0;              // silences inside the stream (after its first and before its last audio)
    qint64 gapFrames = 0;
    bool inOrder = true;       // every frame once, in order
    qint64 audioFrames = 0;
    qint64 firstAudioUs = -1;  // when the first audio was pulled
};

// Pushes `arrivals` (numbered frames, going on from `firstNumber`) and pulls a chunk every 20 ms
// from `startUs` to `endUs`, the loudspeaker's phase 7 ms off the arrivals'.
Played play(JitterBuffer& jb, const std::vector<Arrival>& arrivals, qint64 startUs, qint64 endUs, int firstNumber = 1)
{
    Played p;
    const qsizetype chunk = jb.config().rate * jb.config().chunkMs / 1000;
    std::vector<int16_t> out(size_t(chunk), 0);
    int number = firstNumber;
    size_t next = 0;
    for (qint64 t = startUs + 7 * kMs; t < endUs; t += jb.config().chunkMs * kMs) {
        for (; next < arrivals.size() && arrivals[next].atUs <= t; ++next) {
            std::vector<int16_t> block(size_t(arrivals[next].frames));
            for (auto& s : block)
                s = int16_t(number++ % 30000 + 1);
            jb.push(block.data(), qsizetype(block.size()), arrivals[next].atUs);
        }
        if (jb.pull(out.data(), chunk, t) > 0 && p.firstAudioUs < 0)
            p.firstAudioUs = t;
        p.samples.insert(p.samples.end(), out.begin(), out.end());
    }
    int expected = -1;
    qint64 silence = 0;
    for (int16_t s : p.samples) {
        if (s == 0) {
            ++silence;
            continue;
        }
        if (expected >= 0 && silence > 0) {
            ++p.gaps;
            p.gapFrames += silence;
        }
        silence = 0;
        if (expected >= 0 && s != expected)
            p.inOrder = false;
        expected = s % 30000 + 1;
        ++p.audioFrames;
    }
    return p;
}

// A steady stream: a `blockMs` block every `blockMs` from `fromUs` for `seconds`, each late by up to
// `jitterMs` (a fixed pseudo-random pattern).
std::vector<Arrival> steady(qint64 fromUs, double seconds, int blockMs, int jitterMs = 0)
{
    std::vector<Arrival> a;
    unsigned seed = 12345;
    for (qint64 t = 0; t < qint64(seconds * 1e6); t += blockMs * kMs) {
        seed = seed * 1103515245u + 12345u;
        const qint64 late = jitterMs > 0 ? qint64((seed >> 16) % unsigned(jitterMs + 1)) * kMs : 0;
        a.push_back({fromUs + t + blockMs * kMs + late, kRate * blockMs / 1000});
    }
    std::stable_sort(a.begin(), a.end(), [](const Arrival& x, const Arrival& y) { return x.atUs < y.atUs; });
    return a;
}

// No jitter assumed before any is measured, so that what is measured shows.
JitterBuffer make() { return JitterBuffer(JitterBuffer::Config{kRate, 1, 20, 10, 1000, 0}); }

} // namespace

TEST(JitterBuffer, SteadyStreamPlaysSoonAndWhole)
{
    JitterBuffer jb = make();
    const auto arrivals = steady(0, 5, 20, 4);
    const Played p = play(jb, arrivals, 0, 6'000 * kMs);
    EXPECT_TRUE(p.inOrder);
    EXPECT_EQ(p.gaps, 0);
    EXPECT_EQ(p.audioFrames, 5 * kRate);
    // A small pre-buffer: the first block (in at 20-24 ms) is heard a few tens of ms later.
    EXPECT_LE(p.firstAudioUs, 20 * kMs + 4 * kMs + 60 * kMs);
    EXPECT_LE(jb.targetMs(), 60.0);   // a block, a chunk, a margin and the jitter
    EXPECT_EQ(jb.droppedFrames(), 0);
}

TEST(JitterBuffer, GrowsOnBurstsAndStallsShrinksInSilenceAndCapsTheBacklog)
{
    JitterBuffer jb = make();

    // A peer that sends 21 GSM blocks (about 420 ms) a datagram: the target covers the burst at
    // once, and the whole talk plays without a break.
    std::vector<Arrival> bursts;
    for (int i = 0; i < 12; ++i)
        bursts.push_back({420 * kMs * (i + 1), kRate * 420 / 1000});
    Played p = play(jb, bursts, 0, 6'000 * kMs);
    EXPECT_TRUE(p.inOrder);
    EXPECT_EQ(p.gaps, 0);
    EXPECT_EQ(p.audioFrames, 12 * kRate * 420 / 1000);
    EXPECT_GE(jb.targetMs(), 420.0);
    EXPECT_LE(p.firstAudioUs, 420 * kMs + 60 * kMs);   // the first burst is heard at once

    // Ten seconds of silence: the target shrinks back towards the pre-buffer, and a steady talk
    // that follows starts a few tens of ms after it comes.
    const qint64 t0 = 16'000 * kMs;
    EXPECT_LE(jb.targetMs(), 420.0 + 30.0);
    p = play(jb, steady(t0, 3, 20), t0, t0 + 3'500 * kMs);
    EXPECT_LE(jb.targetMs(), 80.0);
    EXPECT_LE(p.firstAudioUs - t0, 90 * kMs);
    EXPECT_EQ(p.gaps, 0);

    // A 150 ms network stall every two seconds: one break at the first stall, none after it, and
    // nothing lost.
    jb.clear();
    const qint64 t1 = 40'000 * kMs;
    std::vector<Arrival> stalled = steady(t1, 8, 20);
    for (auto& a : stalled) {
        const qint64 into = (a.atUs - t1) % (2'000 * kMs);
        if (into >= 1'000 * kMs && into < 1'150 * kMs)
            a.atUs += 1'150 * kMs - into;   // held back, then all at once
    }
    p = play(jb, stalled, t1, t1 + 9'000 * kMs);
    EXPECT_TRUE(p.inOrder);
    EXPECT_LE(p.gaps, 1);
    EXPECT_EQ(p.audioFrames, 8 * kRate);
    EXPECT_GE(jb.targetMs(), 150.0);
    EXPECT_EQ(jb.droppedFrames(), 0);

    // Three seconds arriving at once with no loudspeaker taking any: only the cap's worth stays,
    // and it is the newest audio.
    jb.clear();
    std::vector<int16_t> flood(size_t(3 * kRate));
    for (size_t i = 0; i < flood.size(); ++i)
        flood[i] = int16_t(i % 30000 + 1);
    const qint64 t2 = 60'000 * kMs;
    for (size_t at = 0; at < flood.size(); at += 160)
        jb.push(flood.data() + at, 160, t2);
    EXPECT_LE(jb.bufferedMs(), 1000.0);
    EXPECT_GT(jb.droppedFrames(), 2 * kRate - 1);
    std::vector<int16_t> all(size_t(jb.bufferedFrames()));
    jb.pull(all.data(), qsizetype(all.size()), t2 + 2'000 * kMs);
    EXPECT_EQ(all.back(), flood.back());
}

// A station talking: its capture hands over 20 ms at a time, the encoder makes 320-sample blocks of
// it and the sender sends whatever blocks it has, so a datagram brings one or two blocks and its
// first sample is up to some 35 ms older than its last. With the jitter assumed at the start, the
// first talk plays from its first datagram without a break, a few tens of ms behind.
TEST(JitterBuffer, AStationsTalkPlaysWithoutABreakFromItsStart)
{
    constexpr int rate = 22050;
    JitterBuffer::Config config;
    config.rate = rate;
    config.channels = 1;
    config.chunkMs = 5;    // a device taking 5 ms at a time, like the loudspeaker's
    config.marginMs = 5;


    JitterBuffer jb(config);
    std::vector<Arrival> arrivals;
    qsizetype captured = 0, sent = 0;
    unsigned seed = 99;
    for (int k = 1; k <= 150; ++k) {   // three seconds
        captured += 441;
        const qsizetype blocks = captured / 320 * 320;
        seed = seed * 1103515245u + 12345u;
        if (blocks > sent)   // the receive thread is up to 3 ms late now and then
            arrivals.push_back({k * 20 * kMs + qint64((seed >> 16) % 4) * kMs, blocks - sent});
        sent = blocks;
    }
    const Played p = play(jb, arrivals, 0, 3'500 * kMs);
    EXPECT_TRUE(p.inOrder);
    EXPECT_EQ(p.gaps, 0);
    EXPECT_EQ(p.audioFrames, sent);
    EXPECT_EQ(jb.underruns(), 1);   // at the end of the talk only
    EXPECT_LE(p.firstAudioUs, 20 * kMs + 60 * kMs);
}
