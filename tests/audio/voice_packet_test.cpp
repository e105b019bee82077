// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/voice_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

TEST(VoicePacket, CheckByteVectors)
{
    const unsigned char abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(voice::crc32aa(abc, 3), 0xCADBBE3Du);
    EXPECT_EQ(voice::fold(voice::crc32aa(abc, 3)), 0x92);
    const unsigned char zeros[4] = {};
    EXPECT_EQ(voice::crc32aa(zeros, 4), 0xE8B86A15u);
    // byte 0 is taken as 0 whatever it holds
    const unsigned char z1[4] = {0x55, 0, 0, 0};
    EXPECT_EQ(voice::check_byte(z1, 4), voice::fold(0xE8B86A15u));
}

TEST(VoicePacket, LayoutAndRoundTrip)
{
    Bytes b;
    voice::build_announcement(b, true, 3, AudioFormat{49, 22050, 0, 1});
    ASSERT_EQ(b.size(), 20u);
    EXPECT_EQ(b[1], 0x23);
    EXPECT_EQ(b[2], 49);
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(b[4] | (b[5] << 8), 22050);
    EXPECT_EQ(b[6], 0);
    EXPECT_EQ(b[7], 1);
    auto a = voice::parse(b.data(), 20);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.type, 0);
    EXPECT_TRUE(a.formatChanged);
    EXPECT_EQ(a.epoch, 3);
    EXPECT_EQ(a.format, (AudioFormat{49, 22050, 0, 1}));

    std::string payload(300, 'x');
    Bytes p;
    ASSERT_TRUE(voice::build_audio(p, payload.data(), payload.size(), 5, 2, true));
    ASSERT_EQ(p.size(), 318u);
    EXPECT_EQ(p[1], 0x40 | 1);
    EXPECT_EQ(p[2], 300 & 0xFF);
    EXPECT_EQ(p[3], (5 << 4) | (2 << 2) | 2);
    auto d = voice::parse(p.data(), p.size());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.sequence, 5);
    EXPECT_EQ(d.epoch, 2);
    EXPECT_TRUE(d.firstChunk);
    EXPECT_FALSE(d.bit0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.payload), d.payloadSize), payload);

    EXPECT_FALSE(voice::build_audio(p, payload.data(), 0, 1, 0, false));
    std::string big(16384, 'y');
    EXPECT_FALSE(voice::build_audio(p, big.data(), big.size(), 1, 0, false));
    EXPECT_TRUE(voice::build_audio(p, big.data(), 16383, 1, 0, false));

    // damaged: wrong check byte, truncated
    Bytes bad = b;
    bad[0] ^= 1;
    EXPECT_FALSE(voice::parse(bad.data(), bad.size()).ok);
    EXPECT_FALSE(voice::parse(b.data(), 19).ok);
}

TEST(VoicePacket, PortRule)
{
    EXPECT_EQ(voice_port_from_text("17016"), 17016);
    EXPECT_EQ(voice_port_from_text("abc"), 17380);
    EXPECT_EQ(voice_port_from_text(""), 17380);
    EXPECT_EQ(voice_port_from_text("70000"), 17380);
}

// ---- receiver rules, without a socket
namespace {
struct CoreRig {
    std::vector<std::string> payloads;
    std::vector<AudioFormat> formats;
    int notified = 0;
    std::vector<std::size_t> gaps;
    VoiceReceiverCore core{[this](const AudioFormat& f, const char* d, std::size_t n) {
                               formats.push_back(f);
                               payloads.emplace_back(d, n);
                           },
                           [this] { ++notified; }, [this](const AudioFormat&, std::size_t n) { gaps.push_back(n); }};
    void feed(const Bytes& b) { core.handle(reinterpret_cast<const char*>(b.data()), b.size()); }
    void announce(bool changed, int epoch, AudioFormat f = {49, 22050, 0, 1})
    {
        Bytes b;
        voice::build_announcement(b, changed, epoch, f);
        feed(b);
    }
    void audio(int seq, int epoch, const std::string& p, bool bit0 = false)
    {
        Bytes b;
        voice::build_audio(b, p.data(), p.size(), seq, epoch, true);
        if (bit0) {
            b[3] |= 1;
            b[0] = voice::check_byte(b.data(), b.size());
        }
        feed(b);
    }
};
} // namespace

TEST(VoiceReceiverRules, SilentUntilAnnouncementThenPlays)
{
    CoreRig r;
    r.audio(7, 3, "a");   // opened mid-stream
    r.audio(8, 3, "b");
    EXPECT_TRUE(r.payloads.empty());
    r.announce(false, 3);   // a repeated announcement of the running stream still starts it
    r.audio(9, 3, "c");
    r.audio(10, 3, "d");
    EXPECT_EQ(r.payloads, (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(r.notified, 2);
    EXPECT_EQ(r.formats.back(), (AudioFormat{49, 22050, 0, 1}));
    EXPECT_EQ(r.core.count(), 5);
}

TEST(VoiceReceiverRules, AnnouncementsEpochsAndFlag)
{
    CoreRig r;
    r.announce(true, 3, {49, 22050, 0, 1});
    r.announce(false, 3, {49, 8000, 0, 1});   // repeated: ignored
    r.audio(1, 3, "a");
    EXPECT_EQ(r.formats.back().rate, 22050);
    r.announce(true, 3, {49, 11025, 0, 1});   // flag set: taken again
    r.audio(2, 3, "b");
    EXPECT_EQ(r.formats.back().rate, 11025);
    r.announce(false, 2, {49, 44100, 0, 1});   // new epoch
    r.audio(3, 3, "old epoch");
    r.audio(3, 2, "c");
    EXPECT_EQ(r.payloads.back(), "c");
    EXPECT_EQ(r.formats.back().rate, 44100);
    EXPECT_EQ(r.payloads.size(), 3u);
}

TEST(VoiceReceiverRules, DropsButCounts)
{
    CoreRig r;
    r.announce(true, 3);
    const unsigned char tiny[3] = {0, 0x40, 1};
    r.core.handle(reinterpret_cast<const char*>(tiny), 3);
    r.core.handle(reinterpret_cast<const char*>(tiny), 2);   // 2 bytes: not even counted
    Bytes b;
    voice::build_audio(b, "abc", 3, 1, 3, true);
    b[0] ^= 0x10;
    r.feed(b);   // wrong check byte
    r.audio(2, 3, "bit0", true);   // not delivered, sequence moves on
    r.audio(3, 3, "ok");
    EXPECT_EQ(r.payloads, (std::vector<std::string>{"ok"}));
    EXPECT_EQ(r.core.count(), 5);
}

// Packets are played in sequence: one that comes early waits for the missing ones, which are
// given up when the wait is over, each reported as a gap of a packet's average length; one that
// comes after it was given up is late and dropped. A sender that opens again starts a new sequence.
TEST(VoiceReceiverRules, PacketsPlayInSequenceAndALossCostsOnlyItself)
{
    CoreRig r;
    const std::vector<std::size_t>& gaps = r.gaps;
    r.core.setHold([] { return qint64(30'000); });
    const auto audio = [&r](int seq, const std::string& p, qint64 now, bool first = true) {
        Bytes b;
        voice::build_audio(b, p.data(), p.size(), seq, 3, first);
        r.core.handle(reinterpret_cast<const char*>(b.data()), b.size(), {}, now);
    };
    r.announce(true, 3);
    audio(1, "1111", 0);
    audio(3, "33", 10'000);   // 2 is missing: 3 waits
    audio(2, "22", 15'000);   // 2 came late, within the wait: both play, in order
    EXPECT_EQ(r.payloads, (std::vector<std::string>{"1111", "22", "33"}));
    EXPECT_EQ(r.core.deadlineUs(), -1);

    audio(5, "55", 20'000);   // 4 is missing
    audio(6, "66", 30'000);
    EXPECT_FALSE(r.core.tick(49'000));
    EXPECT_TRUE(r.core.tick(50'000));   // the wait is over: 4 is lost, reported as 8 / 3 bytes
    EXPECT_EQ(r.payloads.back(), "66");
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0], 2u);
    audio(4, "44", 51'000);   // too late: dropped
    audio(7, "77", 60'000);
    EXPECT_EQ(r.payloads, (std::vector<std::string>{"1111", "22", "33", "55", "66", "77"}));
    EXPECT_EQ(r.core.lost(), 1);
    EXPECT_EQ(r.core.late(), 1);

    // After a loss the audio resumes where a block begins: the rest of a cut block is a gap too.
    audio(9, "9", 70'000, false);
    audio(10, "10", 70'500, true);
    r.core.tick(200'000);
    EXPECT_EQ(r.payloads.back(), "10");
    EXPECT_EQ(gaps.size(), 3u);
    EXPECT_EQ(gaps[2], 1u);

    // A packet that finds no room to wait (kReach ahead) releases the others at once.
    audio(11 + VoiceReceiverCore::kReach, "far", 300'000);
    EXPECT_EQ(r.payloads.back(), "far");
    EXPECT_EQ(r.core.lost(), 2 + VoiceReceiverCore::kReach);

    // The sender opens again on the same socket: its first packet carries 1 and is played.
    r.announce(true, 3);
    audio(1, "again", 400'000);
    EXPECT_EQ(r.payloads.back(), "again");
    // Several in a row from behind: the sender went on from elsewhere, and is followed.
    audio(12, "a", 401'000);
    audio(13, "b", 402'000);
    audio(14, "c", 403'000);
    EXPECT_EQ(r.payloads.back(), "c");
}

TEST(VoiceReceiverRules, ForeignFormatPassedOnHarmlessly)
{
    CoreRig r;
    r.announce(true, 1, {0xFFFF, 0, 255, 0});
    r.audio(0, 1, "z");
    ASSERT_EQ(r.formats.size(), 1u);
    EXPECT_EQ(r.formats[0].tag, 0xFFFF);
    // types 2 and 3 are checked then ignored
    Bytes t2(18, 0);
    t2[1] = 0x80;
    t2[0] = voice::check_byte(t2.data(), t2.size());
    r.feed(t2);
    EXPECT_EQ(r.payloads.size(), 1u);
}

TEST(VoiceReceiverRules, EmptyPayloadIsDeliveredAndTheLastSenderRemembered)
{
    CoreRig r;
    EXPECT_EQ(r.core.lastSender(), VoiceReceiverCore::Sender{});
    const VoiceReceiverCore::Sender a{0x0A000005, 17016}, b{0x0A000007, 40001};
    Bytes ann;
    voice::build_announcement(ann, true, 3, {49, 22050, 0, 1});
    r.core.handle(reinterpret_cast<const char*>(ann.data()), ann.size(), a);
    // 18 bytes: a header with length 0 and the filler; legal, so delivered and notified.
    Bytes empty(18, 0);
    empty[1] = 0x40;
    empty[3] = (1 << 4) | (3 << 2) | 2;
    empty[0] = voice::check_byte(empty.data(), empty.size());
    r.core.handle(reinterpret_cast<const char*>(empty.data()), empty.size(), b);
    ASSERT_EQ(r.payloads.size(), 1u);
    EXPECT_EQ(r.payloads[0], "");
    EXPECT_EQ(r.notified, 1);
    EXPECT_EQ(r.core.lastSender(), b);
    // Any datagram counted names its sender, even one dropped by the checks; 2 bytes do not count.
    const unsigned char junk[5] = {1, 2, 3, 4, 5};
    r.core.handle(reinterpret_cast<const char*>(junk), 5, a);
    EXPECT_EQ(r.core.lastSender(), a);
    r.core.handle(reinterpret_cast<const char*>(junk), 2, b);
    EXPECT_EQ(r.core.lastSender(), a);
    r.core.reset();
    EXPECT_EQ(r.core.lastSender(), VoiceReceiverCore::Sender{});
}
