// SPDX-License-Identifier: GPL-3.0-or-later
// The playout buffer of received voice: blocks go in as they arrive from the network (in bursts,
// late, early), the loudspeaker takes fixed chunks at its own steady pace.
//
// Arrival jitter is measured as the spread of the samples' offsets: arrival time minus the
// sample's position in the stream. The sample with the smallest offset seen came as early as the
// stream allows (the last sample of a long block, which came with the block's first); the others
// came later than that by their offset's distance to the smallest. The target delay (the backlog
// the stream is played at) is the chunk size plus a small margin plus that spread, so a stream that
// comes in bursts (a whole datagram of 21 GSM blocks, 420 ms, at once) or stalls now and then gets
// a delay that covers the burst or the stall, and a steady stream plays a few tens of ms behind
// its arrival.
//
// Playout follows the stream's own clock: every sample is due its target delay after the earliest
// moment it could have come. A stream starts (and restarts after running dry) when its first
// buffered sample is due; then the loudspeaker's pace rules until the buffer runs dry again.
// Nothing that came is skipped, except:
//   - quiet stretches, when the buffer has held more than the target for a while (a delay nobody
//     needed, e.g. after the jitter calmed down), a few ms per chunk;
//   - the oldest audio when the backlog passes the cap (about a second): down to the target.
// The measured spread grows at once and shrinks slowly, and only in silence (buffer empty or
// quiet audio playing), so a talk with stalls keeps the delay that covers them. A new stream (after
// a clear, or a second with nothing buffered) starts again from the assumed jitter: one talker's
// bad network must not delay the next talk.
//
// Two ways to play out: pull() takes fixed chunks at the loudspeaker's pace (silence where the
// buffer ran dry); take() serves a device that asks for as much as it has room for and reports
// running dry itself (ranDry()), with the audio the device still holds counted into the backlog.
//
// Pure logic: times are given by the caller (microseconds on any steady clock). Not thread-safe;
// the owner serialises push and pull.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <vector>

class JitterBuffer {
public:
    struct Config {
        int rate = 44100;
        int channels = 2;
        int chunkMs = 20;      // what one pull takes
        int marginMs = 10;     // target beyond a chunk when the arrivals are steady
        int capMs = 1000;      // backlog beyond which the oldest audio is discarded
        // The jitter assumed before any was measured (it shrinks in silence like any other). Kept
        // small so that a talk starts soon: a station's sender hands over one or two GSM blocks
        // every 20 ms, whose samples come up to some 35 ms late against the earliest; a whole
        // datagram of many blocks shows its own length as jitter at once, and whatever comes later
        // than the estimate grows it.
        int initialJitterMs = 35;
    };

    JitterBuffer();
    explicit JitterBuffer(const Config& config);

    // `frames` interleaved frames that arrived at `nowUs`.
    void push(const int16_t* pcm, qsizetype frames, qint64 nowUs);
    // Fills `frames` frames of `out` with what is due (silence where nothing is) and returns how
    // many of them are audio.
    qsizetype pull(int16_t* out, qsizetype frames, qint64 nowUs);
    // Copies up to `frames` frames of what is due into `out` and returns how many; 0 while the
    // stream waits for its start. `heldFrames`: audio the device still holds, part of the backlog.
    // Taking less than asked is not running dry: the device says when it did (ranDry).
    qsizetype take(int16_t* out, qsizetype frames, qint64 nowUs, qsizetype heldFrames = 0);
    // The device played out everything it had: the next audio waits until it is due.
    void ranDry();
    // When a pull will next give audio: `nowUs` while playing, the due time of the first buffered
    // sample while waiting for it, -1 when nothing is buffered.
    qint64 dueUs(qint64 nowUs) const;
    void clear();
    // The target's margin beyond a chunk (the owner's device may need more of it over time).
    void setMarginMs(int ms) { m_config.marginMs = std::max(0, ms); }

    bool playing() const { return m_playing; }
    double targetMs() const;
    qsizetype bufferedFrames() const { return qsizetype(m_samples.size() - m_head) / m_config.channels; }
    double bufferedMs() const { return 1000.0 * double(bufferedFrames()) / m_config.rate; }
    qint64 droppedFrames() const { return m_dropped; }   // discarded over the cap
    qint64 trimmedFrames() const { return m_trimmed; }   // quiet frames skipped
    qint64 underruns() const { return m_underruns; }

    const Config& config() const { return m_config; }

private:
    qint64 framesToUs(qint64 frames) const { return frames * 1000000 / m_config.rate; }
    qint64 usToFrames(qint64 us) const { return us * m_config.rate / 1000000; }
    qint64 targetUs() const;
    // take(), starting a stream that is due within `earlyUs`.
    qsizetype takeDue(int16_t* out, qsizetype frames, qint64 nowUs, qsizetype heldFrames, qint64 earlyUs);
    void newSpurt();
    void ageWindow(qint64 nowUs);
    void relax(qint64 nowUs, bool silent);
    void dropFront(qsizetype frames);
    bool quietFrame(qsizetype index) const;

    Config m_config;
    std::vector<int16_t> m_samples;   // from m_head on: the buffered frames, interleaved
    size_t m_head = 0;
    bool m_playing = false;

    // The current stream (a "spurt": audio with no pause of a second or more).
    bool m_inSpurt = false;
    qint64 m_mediaIn = 0;      // frames pushed in this spurt
    qint64 m_lastPushUs = 0;
    // Offsets (arrival - stream position) in two windows of kWindowUs: the earlier and the current.
    struct Window { qint64 min, max; };
    Window m_windows[2]{};
    int m_filled = 0;          // windows holding offsets (0 to 2)
    qint64 m_windowStartUs = 0;

    qint64 m_jitterUs = 0;     // spread of the offsets, grown at once, shrunk in silence
    qint64 m_relaxedAtUs = -1;

    // Standing delay: the smallest buffer seen before a pull over a window while playing.
    qsizetype m_minLevel = -1;
    qint64 m_levelSinceUs = 0;
    qsizetype m_trimBudget = 0;

    qint64 m_dropped = 0;
    qint64 m_trimmed = 0;
    qint64 m_underruns = 0;
};
