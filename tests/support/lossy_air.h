// SPDX-License-Identifier: GPL-3.0-or-later
// A talker heard through a bad network, for the voice tests and benchmarks: the station's
// sender, a link on loopback that loses and reorders datagrams on a fixed plan (LossyLink), and the
// station's receive chain (VoiceChains) playing into the null sink of a private PulseAudio server,
// whose monitor is what the listener hears. Each talk is a 1 kHz tone spoken in real time, 20 ms
// at a time as a microphone hands it over; after each the station ends its reception as it does
// (the receive chain closed and opened again).
#pragma once

#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/tone.h"
#include "audio/voice_net.h"
#include "support/lossy_link.h"
#include "support/sink_ear.h"
#include "support/udp_ports.h"

#include <QCoreApplication>

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace lossy_air {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kThreshold = 1000;   // the tone is spoken at 8000
constexpr std::uint32_t kLoopback = 0x7F000001u;

// What a listener heard of one talk.
struct Heard {
    double onsetMs = -1;      // from the talk's first word to the first sound
    double heardMs = 0;       // of tone
    double longestGapMs = 0;  // inside the tone
    double gapAtMs = 0;       // where it began, from the onset
    int longGaps = 0;         // gaps over 60 ms
};

// The talker's pacing stands for another machine's: real-time scheduling where granted (root),
// so that a busy test machine's lateness is not taken for the network's.
struct SenderPriority {
    int policy = SCHED_OTHER;
    sched_param old{};
    SenderPriority()
    {
        pthread_getschedparam(pthread_self(), &policy, &old);
        sched_param rt{};
        rt.sched_priority = 4;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &rt);
    }
    ~SenderPriority() { pthread_setschedparam(pthread_self(), policy, &old); }
};

// Hands the encoder's blocks on under another rate: a peer announcing formats of its own.
struct Relabel : Stage {
    int rate = 0;   // 0: as they come
    bool active() const override { return true; }
    void write(const AudioFormat& f, const char* d, qsizetype n) override
    {
        deliver(AudioFormat{f.tag, rate ? rate : f.rate, f.bits, f.channels}, d, n);
    }
    bool doOpen() override { return true; }
    void doClose() override {}
};

// The talker, the link and the listening station. start() says whether it could be set up.
struct Air {
    EarOnSink sink;
    QByteArray previous = qgetenv("PULSE_SERVER");
    QObject ui;
    BroadcastTX tx{kLoopback};
    BroadcastRX rx;
    std::unique_ptr<VoiceChains> chains;
    std::unique_ptr<LossyLink> link;
    GsmEncoder encoder;
    Relabel relabel;

    // Needs a QCoreApplication.
    bool start(QString* why)
    {
        if (!sink.start(why))
            return false;
        qputenv("PULSE_SERVER", sink.address().toUtf8());
        chains = std::make_unique<VoiceChains>(voice_net(tx, rx), &ui);
        const int port = udp_ports::any_free();
        link = std::make_unique<LossyLink>(port);
        rx.setPort(QString::number(port));
        tx.setPort(QString::number(link->port()));
        encoder.link(&relabel);
        relabel.link(&tx);
        if (!chains->openReceiver() || !chains->WaveOut1().active())
            return *why = QStringLiteral("the receive chain did not open"), false;
        return true;
    }
    ~Air()
    {
        chains.reset();
        qputenv("PULSE_SERVER", previous);
    }

    // Speaks `seconds` of tone through the link under `plan`, its GSM blocks announced at
    // `wireRate` (0: as encoded), then ends the reception as the station does; returns when the
    // talk began.
    Clock::time_point talk(double seconds, const LossyLink::Plan& plan, int wireRate = 0)
    {
        link->setPlan(plan);
        relabel.rate = wireRate;
        const AudioFormat format{WAVE_FORMAT_PCM, 22050, 16, 1};
        const int step = format.rate / 50;
        const auto pcm = tone::sine(1000, format.rate, int(seconds * format.rate) + step);
        encoder.open();
        SenderPriority priority;
        const auto t0 = Clock::now();
        for (int k = 0; (k + 1) * step <= int(pcm.size()) - step; ++k) {
            std::this_thread::sleep_until(t0 + milliseconds(20 * k));
            encoder.write(format, reinterpret_cast<const char*>(pcm.data() + k * step), qsizetype(step) * 2);
        }
        encoder.close();
        std::this_thread::sleep_for(milliseconds(400));   // the receive indication ends
        lastLost = rx.lost();
        chains->closeReceiver();
        std::this_thread::sleep_for(milliseconds(200));
        chains->openReceiver();
        std::this_thread::sleep_for(milliseconds(400));
        return t0;
    }

    Heard heard(Clock::time_point t0, double seconds) const
    {
        const auto end = t0 + milliseconds(int(seconds * 1000) + 900);
        sink.ear.waitUntilRecorded(end, 5000);
        const auto all = sink.ear.samples();
        const long long from = std::max(0LL, sink.ear.indexAt(t0));
        const long long to = std::min<long long>(sink.ear.indexAt(end), (long long)all.size());
        Heard h;
        if (to <= from)
            return h;
        const std::vector<int16_t> x(all.begin() + from, all.begin() + to);
        const auto tone = loud_stretches(x, kThreshold, 30);
        if (tone.empty())
            return h;
        h.onsetMs = sink.ear.msAfter(t0, from + tone.front().first);
        for (size_t i = 0; i < tone.size(); ++i) {
            h.heardMs += 1000.0 * double(tone[i].length()) / SinkEar::kRate;
            const double gap = i > 0 ? 1000.0 * double(tone[i].first - tone[i - 1].last) / SinkEar::kRate : 0;
            h.longGaps += gap > 60;
            if (gap > h.longestGapMs) {
                h.longestGapMs = gap;
                h.gapAtMs = 1000.0 * double(tone[i - 1].last - tone.front().first) / SinkEar::kRate;
            }
        }
        return h;
    }

    long lastLost = 0;
};

inline void print(const char* what, const Heard& h, double seconds)
{
    std::printf("%-34s onset %6.1f ms, heard %5.1f %%, longest gap %5.1f ms (at %.0f ms)\n", what, h.onsetMs,
                100.0 * h.heardMs / (seconds * 1000), h.longestGapMs, h.gapAtMs);
}

} // namespace lossy_air
