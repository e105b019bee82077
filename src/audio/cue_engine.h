// SPDX-License-Identifier: GPL-3.0-or-later
// The cue player's engine: one PulseAudio playback stream, opened at start and kept open, fed by a
// thread of its own. play() only hands the sound over and returns; the thread cuts the sound in
// progress (the stream's buffer is flushed) and starts the new one within a few milliseconds,
// whatever the calling thread does next. After each sound the thread writes a short stretch of
// silence so that the sound's last samples are played out, then stops writing until the next
// sound: an idle engine sleeps on a condition variable and costs no CPU.
#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A decoded cue: mono 16-bit samples at CueEngine::kRate.
using CueSound = std::vector<int16_t>;

class CueEngine {
public:
    static constexpr int kRate = 44100;
    static constexpr int kMaxSeconds = 10;   // a longer file is cut to its first ten seconds

    // Reads a sound file (any format libsndfile reads), mixes it to mono and converts it to kRate.
    // Empty when the file cannot be read or holds no samples.
    static CueSound decode(const QString& path);

    // `server`: the PulseAudio server to use ("unix:/path"); empty for the user's default.
    // Waits (at most a couple of seconds) until the stream is open or has failed.
    explicit CueEngine(const QString& server = {});
    ~CueEngine();
    CueEngine(const CueEngine&) = delete;
    CueEngine& operator=(const CueEngine&) = delete;

    // Starts `sound` in place of the one in progress. False, and nothing is played, when there is
    // no output stream (no server, or it went away: the engine then tries to reopen it).
    bool play(std::shared_ptr<const CueSound> sound);

private:
    enum class State { Opening, Open, Failed };
    void run();
    bool openStream();

    const std::string m_server;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<State> m_state{State::Opening}; // written under m_mutex
    std::shared_ptr<const CueSound> m_next;     // under m_mutex
    bool m_retry = false;                       // under m_mutex
    bool m_stop = false;                        // under m_mutex
    struct pa_simple* m_stream = nullptr;       // the engine thread's
    std::thread m_thread;
};
