// SPDX-License-Identifier: GPL-3.0-or-later
// Microphone capture `waveIN1`: 22050 Hz mono 16-bit PCM from the default input source of the
// PulseAudio server, handed on block by block (20 ms blocks).
//
// The capture stream is connected once, when the stage is made, runs until its first block (so
// that the source works at the stream's 20 ms latency from then on), and is then kept ready but
// corked: the server sends nothing and the stage costs no CPU while nobody talks. open() only uncorks it,
// so the first block follows within a couple of blocks' time instead of the second or so a new
// stream takes to start; close() stops handing on at once and corks the stream again.
//
// All stream work runs on the stage's own PulseAudio thread ("waveIN1"); blocks are handed on
// from there. open() and close() never wait for audio. Only when the stream is not ready (no
// server at start, or the server or the device went away since) does open() try to connect
// again, waiting for the outcome at most `reconnect_wait_ms`.
//
// With no server, or only monitors of outputs to capture from, the stage stays inactive.
#pragma once

#include "audio/stage.h"

#include <QString>
#include <atomic>
#include <memory>

class WaveIn : public Stage {
public:
    static constexpr AudioFormat capture_format{WAVE_FORMAT_PCM, 22050, 16, 1};
    static constexpr int block_ms = 20;
    static constexpr int reconnect_wait_ms = 300;

    // `server`: the PulseAudio server ("unix:/path"); empty for the user's default.
    explicit WaveIn(const QString& server = {});
    ~WaveIn() override;
    WaveIn(const WaveIn&) = delete;
    WaveIn& operator=(const WaveIn&) = delete;

    bool active() const override { return m_active; }
    void write(const AudioFormat&, const char*, qsizetype) override {}   // a source takes nothing

    // Whether the stream is connected, has delivered once, and waits corked or runs (for tests and
    // benchmarks).
    bool ready() const;
    // Waits up to `ms` for the stream made at construction to get ready; returns ready().
    bool waitReady(int ms) const;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    struct Pulse;
    friend struct Pulse;
    void handOn(const void* data, size_t bytes);

    std::unique_ptr<Pulse> m_pulse;
    std::atomic<bool> m_active{false};
};
