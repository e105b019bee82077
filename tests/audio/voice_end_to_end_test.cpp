// SPDX-License-Identifier: GPL-3.0-or-later
// The whole voice path in one process, over real UDP on loopback and without audio devices:
// tone -> codecTX -> broadcastTX -> BroadcastRX -> CodecRX -> resamplerRX -> a collecting sink.
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "audio/voice_packet.h"
#include "support/collect_sink.h"
#include "support/udp_ports.h"
#include "tone.h"


#include <gtest/gtest.h>

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;

// Opens `rx` on the first port of a test range that is free; 0 when none is. The receiver binds
// with address reuse and would open on a port another test holds too, so a plain socket asks first.
int open_on_free_port(BroadcastRX& rx, int from)
{
    for (int p = from; p < from + 200; ++p) {
        if (!udp_ports::is_free(p))
            continue;
        rx.setPort(QString::number(p));
        if (rx.open())
            return p;
    }
    return 0;
}

// Writes `seconds` of a tone to the encoder in 20 ms capture blocks, a little faster than real
// time so that the test stays short but the receive thread is never left far behind.
void speak(Stage& encoder, double freq, double seconds)
{
    const AudioFormat pcm{WAVE_FORMAT_PCM, 22050, 16, 1};
    const auto samples = tone::sine(freq, 22050, int(22050 * seconds));
    for (size_t at = 0; at < samples.size(); at += 441) {
        const size_t n = std::min<size_t>(441, samples.size() - at);
        encoder.write(pcm, reinterpret_cast<const char*>(samples.data() + at), qsizetype(n * 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}

struct Path {
    GsmEncoder codecTX;
    BroadcastTX broadcastTX{kLoopback};
    BroadcastRX receiver;
    GsmDecoder codecRX;
    Resampler resamplerRX;
    CollectSink ear;
    int port = 0;

    Path()
    {
        codecTX.link(&broadcastTX);
        receiver.link(&codecRX);
        codecRX.link(&resamplerRX);
        resamplerRX.link(&ear);
    }
    ~Path()
    {
        codecTX.close();
        receiver.close();
    }
    bool open()
    {
        port = open_on_free_port(receiver, 27300);
        if (!port)
            return false;
        broadcastTX.setPort(QString::number(port));
        return codecTX.open() && broadcastTX.active();
    }
};

} // namespace

TEST(VoiceEndToEnd, ToneKeepsItsPitchAndQualityThroughCodecNetworkAndResampler)
{
    for (double freq : {440.0, 1000.0, 2000.0}) {
        SCOPED_TRACE(freq);
        Path path;
        ASSERT_TRUE(path.open());
        EXPECT_TRUE(path.ear.active());
        speak(path.codecTX, freq, 1.0);
        // 68 whole blocks of 320 samples at 22050 Hz leave the encoder; doubled in rate and in
        // channels they are about 174000 bytes, less what the resampler still holds.
        const qsizetype expected = 68 * 320 * 2 * 2 * 2;
        // Every 20 ms write makes one packet (441 samples give one or two blocks): 50 packets,
        // announced before the 1st, the 18th and the 35th. On a busy machine the last ones may
        // still be on their way: waited for, as the sound they bring.
        for (int ms = 0; ms < 30000 && path.receiver.count() < 50 + 3; ms += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(path.ear.waitBytes(expected - 4000, 30000));
        EXPECT_EQ(path.receiver.lost(), 0);
        EXPECT_EQ(path.receiver.count(), 50 + 3);
        {
            std::lock_guard l(path.ear.m);
            ASSERT_FALSE(path.ear.formats.empty());
            EXPECT_EQ(path.ear.formats.back(), Resampler::output_format);
        }
        const auto pcm = path.ear.samples();
        ASSERT_GE(qsizetype(pcm.size() * 2), expected - 4000);
        ASSERT_LE(qsizetype(pcm.size() * 2), expected);
        const auto left = tone::channel(pcm, 2, 0);
        const auto right = tone::channel(pcm, 2, 1);
        EXPECT_EQ(left, right);
        std::vector<double> x(left.begin() + 4410, left.end());   // codec settling
        EXPECT_NEAR(tone::dominant(x, 44100), freq, 10);
        const double snr = tone::snr_db(x, freq, 44100);
        EXPECT_GE(snr, 20.0) << "SNR " << snr << " dB";
        RecordProperty("snr_db_" + std::to_string(int(freq)), std::to_string(snr));
    }
}

TEST(VoiceEndToEnd, SpeechAfterAPauseAndAfterReopeningTheSenderIsHeardAgain)
{
    Path path;
    ASSERT_TRUE(path.open());
    speak(path.codecTX, 700, 0.5);
    ASSERT_TRUE(path.ear.waitBytes(30000, 30000));
    // The talker lets go and presses again: a fresh sender state (announcement with the flag,
    // sequence from 1) that the receiver, still open, must follow without losses.
    path.codecTX.close();
    EXPECT_FALSE(path.broadcastTX.active());
    ASSERT_TRUE(path.codecTX.open());
    {
        std::lock_guard l(path.ear.m);
        path.ear.bytes.clear();
    }
    speak(path.codecTX, 1500, 0.5);
    ASSERT_TRUE(path.ear.waitBytes(30000, 30000));
    auto x = tone::channel(path.ear.samples(), 2, 0);
    x.erase(x.begin(), x.begin() + 4410);
    EXPECT_NEAR(tone::dominant(x, 44100), 1500, 10);
    // The open receiver expected sequence 10 after 25 packets; the announcement with the flag set
    // starts a new sequence, so the new stream's first packet (sequence 1) is played, not lost.
    EXPECT_EQ(path.receiver.lost(), 0);
}

namespace {

// The process's peak resident memory (kB; -1 where the system cannot tell) since reset_peak().
bool reset_peak()
{
    QFile f("/proc/self/clear_refs");
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}
long peak_kb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Sends hand-made voice datagrams to a port on loopback.
struct RawSender {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int port = 0;
    int sequence = 0;
    std::vector<unsigned char> packet;
    ~RawSender() { ::close(fd); }
    void send()
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(kLoopback);
        to.sin_port = htons(std::uint16_t(port));
        ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    void announce(const AudioFormat& f, int epoch)
    {
        voice::build_announcement(packet, true, epoch, f);
        send();
    }
    void audio(std::size_t size, int epoch)
    {
        const std::string payload(size, '\x33');
        sequence = (sequence + 1) % 16;
        voice::build_audio(packet, payload.data(), payload.size(), sequence, epoch, true);
        packet.resize(voice::audio_size(size));
        send();
    }
};

} // namespace

// Announcements a station cannot play must not take it down: GSM "at 1 Hz" once made the
// resampler blow a 65-byte block up to 136 MB, and a 1300-byte packet ended the program. Every
// such stream is dropped, the receiver lives on with its memory in bounds, and the next good
// stream plays.
TEST(VoiceEndToEnd, HostileFormatsAreDroppedAndTheNextStreamPlays)
{
    Path path;
    ASSERT_TRUE(path.open());
    RawSender raw;
    raw.port = path.port;
    const bool canMeasure = reset_peak();
    const long before = peak_kb();

    const AudioFormat hostile[] = {
        {WAVE_FORMAT_GSM610, 1, 0, 1},     {WAVE_FORMAT_GSM610, 8, 0, 1},
        {WAVE_FORMAT_GSM610, 0, 0, 1},     {WAVE_FORMAT_GSM610, 3999, 0, 1},
        {WAVE_FORMAT_GSM610, 48001, 0, 1}, {WAVE_FORMAT_GSM610, 65535, 255, 255},
        {WAVE_FORMAT_PCM, 1, 16, 1},       {0xFFFF, 2, 8, 200},
    };
    int epoch = 3;
    for (const AudioFormat& f : hostile) {
        SCOPED_TRACE(f.rate);
        epoch = (epoch + 3) % 4;
        raw.announce(f, epoch);
        raw.audio(65, epoch);
        raw.audio(1300, epoch);
        raw.audio(65 * 21, epoch);
        raw.audio(voice::kMaxPayload, epoch);
    }
    const long sent = long(std::size(hostile)) * 5;
    for (int i = 0; i < 1000 && path.receiver.count() < sent; ++i)   // ample under the sanitizers
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(path.receiver.count(), sent);
    EXPECT_TRUE(path.receiver.active());
    EXPECT_EQ(path.ear.samples().size(), 0u) << "a hostile stream reached the loudspeaker";
    if (canMeasure && before > 0) {
        EXPECT_LT(peak_kb() - before, 8 * 1024) << "kB more at the peak";
    }

    // The next stream, at the rates a voice has, plays.
    speak(path.codecTX, 1000, 0.5);
    ASSERT_TRUE(path.ear.waitBytes(30000, 30000));
    auto x = tone::channel(path.ear.samples(), 2, 0);
    x.erase(x.begin(), x.begin() + 4410);
    EXPECT_NEAR(tone::dominant(x, 44100), 1000, 10);
}
