// SPDX-License-Identifier: GPL-3.0-or-later
// The practice partners' voice: what a partner says after its DSC answer is synthesised with
// espeak-ng, GSM-encoded and sent as voice packets exactly as a station's push-to-talk sends them
// (announcements, epochs, sequence, check byte), paced in real time. Each channel has a thread of
// its own that speaks one phrase after the other; the relay only queues a phrase and never waits.
#pragma once

#include "exchange/spoken_answer.h"

#include <QString>
#include <QTime>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace exchange {

struct Options;

// espeak-ng in synchronous mode: PCM handed back, no audio device. The library keeps global
// state, so the process synthesises one text at a time.
class Speech {
public:
    // Loads the voice data on the first call; empty when it can speak, else what is wrong.
    static QString start();
    // `text` as 16-bit mono PCM at `rate` samples per second; false when it cannot speak.
    static bool synthesise(const QString& text, std::vector<std::int16_t>& pcm, int& rate);
};

class PartnerVoice {
public:
    struct Setup {
        std::vector<std::uint32_t> destinations{0xFFFFFFFFu};   // IPv4, host order
        int basePort = 17000;   // a channel's voice is on basePort + channel, as a station's
        int pauseMs = 3000;     // from the DSC answer to the first word
        // Like an operator, a partner speaks only once the channel has been quiet this long (see
        // setChannelWatch), and gives up after waiting `giveUpMs` for that.
        int quietMs = 1000;
        int giveUpMs = 30000;
    };
    // When voice was last heard on a channel (none: not since the start).
    using ChannelWatch = std::function<std::optional<std::chrono::steady_clock::time_point>(int channel)>;
    // A phrase as it went out (on the channel's thread).
    struct Said {
        QString partner, text;
        int channel = 0;
        QTime startedAt;          // local time of the first voice packet
        double synthesisMs = 0;   // what espeak-ng took
        double startMs = 0;       // from the answer to the first voice packet
        std::size_t samples = 0;  // the synthesised speech
        int rate = 0;
    };
    using Notice = std::function<void(const QString&)>;

    // Loads espeak-ng at once; without its voice data `notice` says so once and nothing is spoken.
    PartnerVoice(Setup setup, PartnerPhrases phrases, Notice notice);
    // Stops every channel at once, in the middle of a phrase if need be.
    ~PartnerVoice();
    PartnerVoice(const PartnerVoice&) = delete;
    PartnerVoice& operator=(const PartnerVoice&) = delete;

    bool canSpeak() const { return m_canSpeak; }

    // A partner's DSC answer went out: what it says follows after the pause. Returns at once.
    void answered(const QByteArray& record, const QString& partner);
    // Called on a channel's thread after each phrase; set it before the first answer.
    void setSaid(std::function<void(const Said&)> said) { m_said = std::move(said); }
    // What the partners listen to before they speak; without it they do not wait for a quiet
    // channel. Called on the channels' threads; set it before the first answer.
    void setChannelWatch(ChannelWatch watch) { m_watch = std::move(watch); }

    // Phrases waiting on one channel beyond the one being spoken; more are dropped.
    static constexpr std::size_t max_waiting = 8;

private:
    struct Job {
        QString partner, text;
        std::chrono::steady_clock::time_point answeredAt;
    };
    struct Channel {
        int number = 0;
        std::deque<Job> jobs;
        std::thread thread;
    };
    void run(Channel& channel);
    // Says `job` after its pause, and not before `notBefore`.
    void speak(int channel, const Job& job, std::chrono::steady_clock::time_point notBefore);
    // Sleeps until `t`; false when stopping.
    bool waitUntil(std::chrono::steady_clock::time_point t);
    // Waits until `channel` has been quiet a while; false when stopping or giving up (told).
    bool waitForQuiet(int channel, const QString& partner);

    const Setup m_setup;
    const PartnerPhrases m_phrases;
    Notice m_notice;
    std::function<void(const Said&)> m_said;
    ChannelWatch m_watch;
    bool m_canSpeak = false;

    std::mutex m_mutex;   // the channels' queues and m_stop
    std::condition_variable m_wake;
    bool m_stop = false;
    std::map<int, std::unique_ptr<Channel>> m_channels;
};

// The partners' voice as the command line sets it up (phrase file, voice ports, destinations), or
// none with --silent-partners. Problems with the phrase file go to `notice`.
std::unique_ptr<PartnerVoice> partner_voice_from_options(const Options& o, const QString& programFolder,
                                                         PartnerVoice::Notice notice);

} // namespace exchange
