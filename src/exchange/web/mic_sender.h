// SPDX-License-Identifier: GPL-3.0-or-later
// A web station's microphone on the air: the page's PCM, while push-to-talk is held, encoded with
// the station's GSM 6.10 encoder and sent as voice packets on the channel's port exactly as a
// desktop station's push-to-talk sends them (the partners' voice senders). A sound card hands a
// desktop station its microphone at an even pace; a page's frames arrive as the network and a
// busy server let them, in bursts. So they wait in a short queue and go on the air 20 ms at a time
// on a thread of their own, after a 60 ms start, as a microphone would deliver them. What a burst
// or a stall left queued beyond need is let go (`BacklogTrim`), so it is not carried as delay for
// the rest of the transmission. Opened and closed by the station's core (its thread); written by
// the page's socket (the console's thread).
#pragma once

#include <QByteArray>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class GsmEncoder;

namespace exchange {
class VoiceSenders;
}

namespace exchange::web {

// How much of the pacer's queue was never needed: the least left after a step over a second of
// steps, above a margin of one of the page's frames. A queue that came near running dry in that
// second keeps all it holds; one that stayed long has its surplus let go, once a second.
class BacklogTrim {
public:
    static constexpr std::size_t kMarginSamples = 320;   // 20 ms kept against the page's jitter
    static constexpr int kWindowSteps = 50;              // a second of 20 ms steps

    // The queue's length after a step; how many of its oldest samples to let go now.
    std::size_t afterStep(std::size_t queued);
    // The queue ran dry and starts again: what was seen before says nothing of what follows.
    void restart();

private:
    std::size_t m_least = SIZE_MAX;
    int m_steps = 0;
};

class MicSender {
public:
    explicit MicSender(std::vector<std::uint32_t> destinations);
    ~MicSender();
    // On the air on `port`; false when no voice socket could be opened.
    bool open(int port);
    void close();
    // 16-bit little-endian mono PCM at kMicRate; nothing when not on the air.
    void write(const QByteArray& pcm);

    static constexpr int kStepSamples = 320;      // 20 ms
    static constexpr int kStartSamples = 960;     // 60 ms queued before the first step
    static constexpr int kMaxQueued = 16000;      // beyond a second behind, the oldest goes

private:
    void pace();

    const std::vector<std::uint32_t> m_destinations;
    std::unique_ptr<VoiceSenders> m_senders;
    std::unique_ptr<GsmEncoder> m_encoder;     // used by the pacing thread while it runs
    std::thread m_thread;
    std::mutex m_mutex;                        // the queue and the flags below
    std::condition_variable m_wake;
    std::deque<std::int16_t> m_queue;
    bool m_onAir = false;
    bool m_stop = false;
};

} // namespace exchange::web
