// SPDX-License-Identifier: GPL-3.0-or-later
// Loudspeaker playback `WaveOut1` / `waveOUT2`: 44100 Hz stereo 16-bit PCM to the default output
// of the PulseAudio server (PULSE_SERVER, or the user's).
//
// write() only puts the audio into an adaptive jitter buffer (audio/jitter_buffer.h), wakes the
// stage's thread and returns; it never waits for the sound server. The playback stream lives on
// that thread (a PulseAudio main loop of the stage's own), connected once when the stage is made
// and kept from open to open. Once the jitter buffer says a talk's first audio is due, the thread
// hands the stream each block as it comes, up to the jitter buffer's delay ahead: the stream is
// the playout buffer, and a talker costs one wake-up per block that comes. The server is asked to
// leave the device a few ms of the stream and to call for more only when the stream runs low (it
// is kept topped up as audio comes, so a steady talker never lets it). Nothing is written while
// nobody talks, so an idle stage costs nothing.
//
// When the stream has played out everything it had, the server stops it by itself; the next audio
// starts it again with its first block, once the jitter buffer says that audio is due.
//
// open() and close() do not wait for the server: close() only tells the thread, which drops what
// the buffer and the stream still hold. Only an open that finds no stream (no server when the
// stage was made, or the server went away since) asks for a new connection, and waits for its
// outcome at most `connect_wait_ms`. With no server the stage stays inactive and drops what it is
// given.
#pragma once

#include "audio/jitter_buffer.h"
#include "audio/stage.h"

#include <atomic>
#include <memory>
#include <mutex>

class WaveOut : public Stage {
public:
    static constexpr AudioFormat playback_format{WAVE_FORMAT_PCM, 44100, 16, 2};
    // The stream's length, device included, and the least the server asks for at a time: the
    // server gives the device (210 - 2 * 100) / 2 = 5 ms of it.
    static constexpr int stream_ms = 210;
    static constexpr int request_ms = 100;
    static constexpr int connect_wait_ms = 30;

    // `streamName`: how the sound server lists the stream.
    explicit WaveOut(const char* streamName = "Voice");
    ~WaveOut() override;
    WaveOut(const WaveOut&) = delete;
    WaveOut& operator=(const WaveOut&) = delete;

    bool active() const override { return m_active; }
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

    // Audio discarded because the backlog passed the jitter buffer's cap.
    qsizetype droppedBytes() const;
    // Audio waiting in the jitter buffer, not yet given to the stream.
    qsizetype bufferedBytes() const;
    // The delay the jitter buffer keeps to now, stream included.
    double targetMs() const;
    // How often the stream ran dry while it played.
    qint64 underruns() const;
    // How long from now what was written goes on playing: the jitter buffer's audio (and its wait
    // for a talk's start) and what the stream still holds, less the margin the server's lateness
    // has taught.
    qint64 leadUs() const override;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    struct Pulse;
    friend struct Pulse;

    mutable std::mutex m_mutex;
    JitterBuffer m_jitter;                      // under m_mutex
    unsigned m_cleared = 0;                     // under m_mutex: the closes the buffer was cleared for
    void clearIfClosed();                       // under m_mutex

    std::atomic<unsigned> m_closes{0};          // counts closes: the thread flushes the stream after one
    std::atomic<qint64> m_streamEndUs{0};       // when the stream will have played what it holds
    std::atomic<bool> m_active{false};
    std::unique_ptr<Pulse> m_pulse;
};
