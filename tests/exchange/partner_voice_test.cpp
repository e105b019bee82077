// A practice partner's spoken answer on the wire, heard through a station's receiver and decoder
// (named Voice... so that the thread-sanitizer stage runs it).
#include "audio/broadcast_rx.h"
#include "audio/gsm_codec.h"
#include "exchange/virtual_station.h"
#include "exchange/voice_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>

using namespace exchange;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;

// The end of a station's receive chain: the decoded speech and when each payload came.
struct Ear : Stage {
    std::mutex m;
    std::vector<std::int16_t> pcm;
    AudioFormat format;
    bool on = false;
    bool active() const override { return on; }
    void write(const AudioFormat& f, const char* d, qsizetype n) override
    {
        std::lock_guard l(m);
        format = f;
        const auto* s = reinterpret_cast<const std::int16_t*>(d);
        pcm.insert(pcm.end(), s, s + n / 2);
    }
    bool doOpen() override { return on = true; }
    void doClose() override { on = false; }
};

} // namespace

TEST(VoicePartners, ASpokenAnswerReachesAReceiverOnTheWorkingChannel)
{
    // The receive chain of a station on channel 77 (receiver, decoder), at a base port of its own.
    BroadcastRX rx;
    GsmDecoder decoder;
    Ear ear;
    rx.link(&decoder);
    decoder.link(&ear);
    std::mutex arrivalsLock;
    std::vector<Clock::time_point> arrivals;
    rx.setPayloadCallback([&] {
        std::lock_guard l(arrivalsLock);
        arrivals.push_back(Clock::now());
    });
    int base = 0;
    for (int b = 27400; b < 27900 && !base; b += 7) {
        rx.setPort(QString::number(b + 77));
        if (rx.open())
            base = b;
    }
    ASSERT_NE(base, 0);

    PartnerVoice::Setup setup;
    setup.destinations = {kLoopback};
    setup.basePort = base;
    setup.pauseMs = 400;
    PartnerVoice voice(setup, PartnerPhrases::parse("individual_ack = {mmsi}, {name}. Channel {channel}.", nullptr),
                       {});
    if (!voice.canSpeak())
        GTEST_SKIP() << "no espeak-ng voice data";
    std::mutex saidLock;
    std::condition_variable saidCv;
    std::optional<PartnerVoice::Said> said;
    voice.setSaid([&](const PartnerVoice::Said& s) {
        std::lock_guard l(saidLock);
        said = s;
        saidCv.notify_all();
    });

    VirtualStation coast, trainee;
    coast.kind = VirtualStation::Coast;
    coast.name = "Coast Radio";
    coast.mmsi = "002470001";
    trainee.mmsi = "274111001";
    dsc::DscRecord call;
    dsc::Decodifica_stringa(individual_call(trainee, coast.mmsi, dsc::CAT_ROUTINE, 77), call);
    const auto answeredAt = Clock::now();
    voice.answered(*answer(coast, call, QTime(9, 41)), coast.name);
    {
        std::unique_lock l(saidLock);
        ASSERT_TRUE(saidCv.wait_for(l, std::chrono::seconds(30), [&] { return said.has_value(); }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the last packets on their way
    rx.close();

    EXPECT_EQ(said->channel, 77);
    EXPECT_EQ(said->text, "Two seven four one one one zero zero one, Coast Radio. Channel seven seven.");
    const double spoken = double(said->samples) / said->rate;
    ASSERT_GT(spoken, 1.5) << "espeak-ng said next to nothing";

    // Every datagram passed the receiver's checks: each was a payload or one of the announcements
    // that lead every 17 packets, none came out of sequence.
    std::vector<Clock::time_point> got;
    {
        std::lock_guard l(arrivalsLock);
        got = arrivals;
    }
    ASSERT_FALSE(got.empty());
    const long payloads = long(got.size());
    EXPECT_EQ(rx.count(), payloads + (payloads + 16) / 17);
    EXPECT_EQ(rx.lost(), 0);

    // After the pause, paced as speech: no burst, no stall.
    const double pause = std::chrono::duration<double>(got.front() - answeredAt).count();
    EXPECT_GE(pause, 0.4);
    EXPECT_LT(pause, 3.0);
    const double spread = std::chrono::duration<double>(got.back() - got.front()).count();
    EXPECT_GT(spread, 0.85 * spoken);
    EXPECT_LT(spread, 1.3 * spoken + 0.5);

    // The decoder makes speech of it: the whole phrase, far above silence.
    std::lock_guard l(ear.m);
    EXPECT_EQ(ear.format, (AudioFormat{WAVE_FORMAT_PCM, gsm_rate, 16, 1}));
    const double decoded = double(ear.pcm.size()) / gsm_rate;
    EXPECT_GT(decoded, 0.95 * spoken);
    EXPECT_LT(decoded, 1.02 * spoken + 0.05);
    double energy = 0;
    for (std::int16_t s : ear.pcm)
        energy += double(s) * s;
    const double rms = std::sqrt(energy / double(ear.pcm.size()));
    EXPECT_GT(rms, 800) << "decoded speech of rms " << rms;
}
