// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary datagrams through the whole receive chain: the receiver's rules, the GSM decoder, the
// resampler and a playback buffer that keeps what the loudspeaker stage keeps. After a first mode
// byte, the input is cut into datagrams at each 0xFF 0xFE pair, so one run can carry an
// announcement and audio packets after it; packets that come out of sequence wait, and those
// missing are stood in for by the decoder. Whatever the datagrams announce, no block handed on may grow beyond what the largest
// legal payload at the lowest playable rate makes, and the playback buffer stays within its cap.
// Every datagram the receiver reads is written again with the sender's code and reads back the same
// (but an empty audio packet, which the sender never makes).
// An empty datagram (two separators in a row) stands for the receiver closed and opened again.
#include "audio/broadcast_rx.h"
#include "audio/gsm_codec.h"
#include "audio/jitter_buffer.h"
#include "audio/resampler.h"
#include "audio/voice_packet.h"
#include "audio/wave_out.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The largest block the chain can hand to playback: a whole payload of GSM blocks at the lowest
// accepted rate, resampled to 44100 Hz stereo 16-bit, with room for what the filter held back.
constexpr qsizetype kMaxBlock = qsizetype(voice::kMaxPayload / gsm_block_bytes + 1) * gsm_block_samples *
                                (44100 / gsm_min_rate + 1) * 4;

// The loudspeaker stage's jitter buffer without the device: each block arrives half to one and a
// half of its own length after the one before, as its size says (bursts and stalls), and the
// device plays in real time: every 20 ms it takes a fixed chunk, or as much as it has room for
// (holding some already), now and then running dry. The delay it aims at is never
// shorter than a chunk.
class PlaybackBuffer : public Stage {
public:
    bool active() const override { return true; }
    void write(const AudioFormat& format, const char* data, qsizetype size) override
    {
        if (!(format == WaveOut::playback_format) || size < 0 || size > kMaxBlock)
            std::abort();
        const qint64 length = qint64(size / 4) * 1000000 / m_jitter.config().rate;
        m_now += length / 2 + length * (size / 4 % 5) / 4;
        // The device played until the block came.
        for (; m_played + 20000 <= m_now; m_played += 20000)
            play(m_played + 20000);
        m_jitter.push(reinterpret_cast<const int16_t*>(data), size / 4, m_now);
        if (m_jitter.bufferedMs() > m_jitter.config().capMs + 1 || m_jitter.targetMs() < m_jitter.config().chunkMs)
            std::abort();
    }

protected:
    bool doOpen() override { return true; }
    void doClose() override { m_jitter.clear(); }

private:
    void play(qint64 now)
    {
        const qsizetype frames = qsizetype(m_chunk.size() / 2);
        if (++m_chunks % 2) {
            m_jitter.pull(m_chunk.data(), frames, now);
        } else if (m_jitter.take(m_chunk.data(), frames, now, frames / 2) > frames) {
            std::abort();
        } else if (m_chunks % 7 == 0) {
            m_jitter.ranDry();
        }
    }

    JitterBuffer m_jitter;
    std::vector<int16_t> m_chunk = std::vector<int16_t>(size_t(m_jitter.config().rate / 50) * 2);
    qint64 m_now = 0;
    qint64 m_played = 0;   // the device's time: what it played up to, in microseconds
    unsigned m_chunks = 0;
};

// A datagram the receiver reads, written again by the sender's code, reads back the same.
void roundTrip(const std::vector<unsigned char>& datagram)
{
    const voice::Parsed p = voice::parse(datagram.data(), datagram.size());
    // An empty audio packet is legal to receive; the sender never makes one.
    if (!p.ok || (p.type != voice::Announcement && p.type != voice::Audio) || (p.type == voice::Audio && !p.payloadSize))
        return;
    std::vector<unsigned char> again;
    if (p.type == voice::Announcement)
        voice::build_announcement(again, p.formatChanged, p.epoch, p.format);
    else if (!voice::build_audio(again, reinterpret_cast<const char*>(p.payload), p.payloadSize, p.sequence, p.epoch,
                                 p.firstChunk))
        std::abort();
    const voice::Parsed q = voice::parse(again.data(), again.size());
    if (!q.ok || q.type != p.type || q.epoch != p.epoch || q.formatChanged != p.formatChanged || !(q.format == p.format)
        || q.sequence != p.sequence || q.firstChunk != p.firstChunk || q.payloadSize != p.payloadSize
        || (p.payloadSize && std::memcmp(q.payload, p.payload, p.payloadSize) != 0))
        std::abort();
}

} // namespace

// A single allocation beyond 64 MB is a finding, however the target is run (the flag goes first,
// so one given on the command line still wins).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args;
    static char limit[] = "-malloc_limit_mb=64";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + (args.empty() ? 0 : 1), limit);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte's low bit: set, each datagram gets its right check byte, so that the formats
    // and payloads behind the check are reached quickly; clear, the datagrams go as they are.
    const bool fixCheck = data[0] & 1;
    ++data;
    --size;

    GsmDecoder decoder;
    Resampler resampler;
    PlaybackBuffer playback;
    decoder.link(&resampler);
    resampler.link(&playback);
    decoder.open();
    VoiceReceiverCore core(
        [&](const AudioFormat& f, const char* d, std::size_t n) { decoder.write(f, d, qsizetype(n)); }, [] {},
        [&](const AudioFormat& f, std::size_t n) { decoder.missing(f, qsizetype(n)); });
    core.setHold([] { return qint64(12'000); });
    std::vector<unsigned char> datagram;
    qint64 now = 0;
    auto handle = [&](std::size_t from, std::size_t to) {
        if (from == to) {
            core.reset();   // an empty datagram stands for the receiver closed and opened again
            return;
        }
        datagram.assign(data + from, data + to);
        if (fixCheck && !datagram.empty())
            datagram[0] = voice::check_byte(datagram.data(), datagram.size());
        // Datagrams 5 ms apart: packets waiting for a missing one are given up after a few.
        now += 5'000;
        core.handle(reinterpret_cast<const char*>(datagram.data()), datagram.size(), {}, now);
        core.tick(now);
        roundTrip(datagram);
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xFE) {
            handle(start, i);
            start = i + 2;
            ++i;
        }
    }
    if (start < size)
        handle(start, size);
    core.tick(now + 1'000'000);
    decoder.close();
    return 0;
}
