// SPDX-License-Identifier: GPL-3.0-or-later
// GSM 6.10 coding and sample-rate conversion: what comes out still carries the tone that went in.
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "support/collect_sink.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void feed(Stage& stage, const AudioFormat& f, const std::vector<int16_t>& pcm, size_t frameSamples)
{
    const size_t bytesPerSample = 2;
    for (size_t i = 0; i < pcm.size(); i += frameSamples) {
        const size_t n = std::min(frameSamples, pcm.size() - i);
        stage.write(f, reinterpret_cast<const char*>(pcm.data() + i), qsizetype(n * bytesPerSample));
    }
}

constexpr AudioFormat pcm22{WAVE_FORMAT_PCM, 22050, 16, 1};

// Encodes `pcm` (format `f`) and returns the encoder's output.
QByteArray encode(const AudioFormat& f, const std::vector<int16_t>& pcm, size_t chunk,
                  std::vector<qsizetype>* sizes = nullptr)
{
    GsmEncoder enc;
    CollectSink sink;
    enc.link(&sink);
    EXPECT_TRUE(enc.open());
    feed(enc, f, pcm, chunk);
    for (const AudioFormat& of : sink.formats)
        EXPECT_EQ(of, GsmEncoder::output_format);
    if (sizes)
        *sizes = sink.sizes;
    return sink.bytes;
}

std::vector<int16_t> decode(const QByteArray& gsm, qsizetype piece, std::vector<AudioFormat>* formats = nullptr)
{
    GsmDecoder dec;
    CollectSink sink;
    dec.link(&sink);
    EXPECT_TRUE(dec.open());
    for (qsizetype i = 0; i < gsm.size(); i += piece)
        dec.write(GsmEncoder::output_format, gsm.constData() + i, std::min(piece, gsm.size() - i));
    if (formats)
        *formats = sink.formats;
    return sink.samples();
}

} // namespace

TEST(VoiceGsm, ToneSurvivesRoundTrip)
{
    const auto in = tone::sine(1000, 22050, 22050);
    std::vector<qsizetype> sizes;
    const QByteArray gsm = encode(pcm22, in, 441, &sizes);   // 20 ms capture blocks
    ASSERT_EQ(gsm.size(), (22050 / gsm_block_samples) * gsm_block_bytes);
    for (qsizetype s : sizes)
        EXPECT_EQ(s % gsm_block_bytes, 0);

    // Pieces that split blocks: the decoder keeps the rest for the next write.
    std::vector<AudioFormat> formats;
    const auto out = decode(gsm, 47, &formats);
    ASSERT_EQ(out.size(), size_t(22050 / gsm_block_samples) * gsm_block_samples);
    for (const AudioFormat& f : formats)
        EXPECT_EQ(f, pcm22);

    auto x = tone::channel(out, 1, 0);
    x.erase(x.begin(), x.begin() + 2000);   // codec settling
    EXPECT_NEAR(tone::dominant(x, 22050), 1000, 10);
    const double snr = tone::snr_db(x, 1000, 22050);
    EXPECT_GT(snr, 20.0) << "SNR " << snr << " dB";
    RecordProperty("snr_db", std::to_string(snr));
}

TEST(VoiceGsm, EncoderBringsOtherFormatsTo22050Mono)
{
    // The message player hands on WAV files as they are: 44100 Hz stereo here.
    const auto in = tone::sine(700, 44100, 44100, 8000, 2);
    const QByteArray gsm = encode(AudioFormat{WAVE_FORMAT_PCM, 44100, 16, 2}, in, 2048);
    // One second in, about one second of 22050 Hz blocks out (the filter holds a little back).
    EXPECT_NEAR(double(gsm.size() / gsm_block_bytes), 22050.0 / gsm_block_samples, 2.0);
    auto x = tone::channel(decode(gsm, gsm_block_bytes * 3), 1, 0);
    x.erase(x.begin(), x.begin() + 2000);
    EXPECT_NEAR(tone::dominant(x, 22050), 700, 10);
    EXPECT_GT(tone::snr_db(x, 700, 22050), 8.0);

    // 8-bit unsigned mono at 8000 Hz.
    std::vector<int16_t> dummy;
    std::vector<unsigned char> u8(8000);
    for (size_t i = 0; i < u8.size(); ++i)
        u8[i] = static_cast<unsigned char>(128 + std::lround(60 * std::sin(2 * M_PI * 500 * double(i) / 8000)));
    GsmEncoder enc;
    CollectSink sink;
    enc.link(&sink);
    enc.open();
    enc.write(AudioFormat{WAVE_FORMAT_PCM, 8000, 8, 1}, reinterpret_cast<const char*>(u8.data()), qsizetype(u8.size()));
    EXPECT_NEAR(double(sink.bytes.size() / gsm_block_bytes), 22050.0 / gsm_block_samples, 2.0);
}

TEST(VoiceGsm, EncoderRefusesWhatIsNotPcmAndIdlesWhenClosed)
{
    GsmEncoder enc;
    CollectSink sink;
    enc.link(&sink);
    const auto in = tone::sine(1000, 22050, 3200);
    enc.write(pcm22, reinterpret_cast<const char*>(in.data()), qsizetype(in.size() * 2));
    EXPECT_FALSE(enc.active());
    EXPECT_TRUE(enc.open());
    EXPECT_TRUE(sink.active());   // opening the encoder opened the stage it feeds
    enc.write(AudioFormat{WAVE_FORMAT_GSM610, 22050, 0, 1}, reinterpret_cast<const char*>(in.data()), 6400);
    enc.write(AudioFormat{WAVE_FORMAT_PCM, 0, 16, 1}, reinterpret_cast<const char*>(in.data()), 6400);
    enc.write(AudioFormat{WAVE_FORMAT_PCM, 22050, 24, 1}, reinterpret_cast<const char*>(in.data()), 6400);
    EXPECT_TRUE(sink.bytes.isEmpty());
    enc.write(pcm22, reinterpret_cast<const char*>(in.data()), qsizetype(in.size() * 2));
    EXPECT_EQ(sink.bytes.size(), 10 * gsm_block_bytes);
    enc.close();
    EXPECT_FALSE(sink.active());
}

TEST(VoiceGsm, LongWritesAreCutIntoPacketSizedGroupsOfBlocks)
{
    std::vector<qsizetype> sizes;
    encode(pcm22, tone::sine(1000, 22050, 100 * gsm_block_samples), 100 * gsm_block_samples, &sizes);
    ASSERT_FALSE(sizes.empty());
    qsizetype total = 0;
    for (qsizetype s : sizes) {
        EXPECT_LE(s, GsmEncoder::max_blocks_per_write * gsm_block_bytes);
        EXPECT_LE(s, 1400);
        total += s;
    }
    EXPECT_EQ(total, 100 * gsm_block_bytes);
}

TEST(VoiceGsm, DecoderDropsForeignFormatsAndResetsOnAChange)
{
    const QByteArray gsm = encode(pcm22, tone::sine(1000, 22050, 22050), 441);
    GsmDecoder dec;
    CollectSink sink;
    dec.link(&sink);
    dec.open();
    // Not GSM: nothing comes out, nothing is kept.
    dec.write(AudioFormat{WAVE_FORMAT_PCM, 22050, 16, 1}, gsm.constData(), 130);
    dec.write(AudioFormat{WAVE_FORMAT_GSM610, 0, 0, 1}, gsm.constData(), 130);
    // GSM at rates no voice has (one sample a second, or beyond 48 kHz) is dropped too.
    for (int rate : {1, 8, gsm_min_rate - 1, gsm_max_rate + 1, 65535})
        dec.write(AudioFormat{WAVE_FORMAT_GSM610, rate, 0, 1}, gsm.constData(), 130);
    EXPECT_TRUE(sink.bytes.isEmpty());
    dec.write(AudioFormat{WAVE_FORMAT_GSM610, gsm_max_rate, 0, 1}, gsm.constData(), 65);
    EXPECT_EQ(sink.bytes.size(), gsm_block_samples * 2);
    sink.bytes.clear();
    sink.formats.clear();
    // Half a block of one stream, then another rate: the half block is forgotten.
    dec.write(AudioFormat{WAVE_FORMAT_GSM610, 22050, 0, 1}, gsm.constData(), 40);
    dec.write(AudioFormat{WAVE_FORMAT_GSM610, 8000, 0, 1}, gsm.constData(), 65);
    ASSERT_EQ(sink.formats.size(), 1u);
    EXPECT_EQ(sink.formats[0], (AudioFormat{WAVE_FORMAT_PCM, 8000, 16, 1}));
    EXPECT_EQ(sink.bytes.size(), gsm_block_samples * 2);
}

TEST(VoiceGsm, DecoderSurvivesGarbage)
{
    std::mt19937 rng(7);
    QByteArray junk(65 * 40 + 17, Qt::Uninitialized);
    for (char& c : junk)
        c = char(rng());
    const auto out = decode(junk, 333);
    EXPECT_EQ(out.size(), size_t(40 * gsm_block_samples));
}

TEST(VoiceResampler, ToneTo44100Stereo)
{
    Resampler rs;
    CollectSink sink;
    rs.link(&sink);
    ASSERT_TRUE(rs.open());
    feed(rs, pcm22, tone::sine(1000, 22050, 22050), 320);
    for (const AudioFormat& f : sink.formats)
        EXPECT_EQ(f, Resampler::output_format);
    const auto out = sink.samples();
    EXPECT_NEAR(double(out.size() / 2), 44100.0, 400.0);   // the filter holds a few ms back
    auto left = tone::channel(out, 2, 0);
    const auto right = tone::channel(out, 2, 1);
    EXPECT_EQ(left, right);
    left.erase(left.begin(), left.begin() + 1000);
    EXPECT_NEAR(tone::dominant(left, 44100), 1000, 10);
    EXPECT_GT(tone::snr_db(left, 1000, 44100), 40.0);
}

TEST(VoiceResampler, FollowsFormatChangesAndPassesPlaybackFormatThrough)
{
    Resampler rs;
    CollectSink sink;
    rs.link(&sink);
    rs.open();
    feed(rs, AudioFormat{WAVE_FORMAT_PCM, 8000, 16, 1}, tone::sine(400, 8000, 8000), 160);
    const qsizetype afterFirst = sink.bytes.size();
    EXPECT_NEAR(double(afterFirst / 4), 44100.0, 1500.0);
    feed(rs, AudioFormat{WAVE_FORMAT_PCM, 48000, 16, 2}, tone::sine(400, 48000, 48000, 8000, 2), 960);
    EXPECT_NEAR(double((sink.bytes.size() - afterFirst) / 4), 44100.0, 1500.0);

    sink.bytes.clear();
    const auto same = tone::sine(400, 44100, 4410, 8000, 2);
    rs.write(Resampler::output_format, reinterpret_cast<const char*>(same.data()), qsizetype(same.size() * 2));
    EXPECT_EQ(sink.samples(), same);

    sink.bytes.clear();
    rs.write(AudioFormat{WAVE_FORMAT_GSM610, 22050, 0, 1}, reinterpret_cast<const char*>(same.data()), 650);
    EXPECT_TRUE(sink.bytes.isEmpty());
    // Rates more than 16 times apart are refused, not blown up (or squeezed) a thousand times.
    rs.write(AudioFormat{WAVE_FORMAT_PCM, 1, 16, 1}, reinterpret_cast<const char*>(same.data()), 650);
    rs.write(AudioFormat{WAVE_FORMAT_PCM, 2756, 16, 1}, reinterpret_cast<const char*>(same.data()), 650);
    rs.write(AudioFormat{WAVE_FORMAT_PCM, 44100 * 17, 16, 1}, reinterpret_cast<const char*>(same.data()), 650);
    EXPECT_TRUE(sink.bytes.isEmpty());
    rs.close();
    rs.write(Resampler::output_format, reinterpret_cast<const char*>(same.data()), 400);
    EXPECT_TRUE(sink.bytes.isEmpty());
}
