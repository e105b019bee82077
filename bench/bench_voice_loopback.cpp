// SPDX-License-Identifier: GPL-3.0-or-later
// Voice path latency over real UDP on loopback:
//   22050 Hz PCM -> GsmEncoder -> BroadcastTX -> 127.0.0.1 -> BroadcastRX -> GsmDecoder -> Resampler
// fed in real time with capture blocks (441 samples = 20 ms by default), as a microphone would.
//
// Every write to the encoder that completes one or more GSM blocks sends one packet. The packet is
// followed to the first 44100 Hz stereo PCM the resampler hands on for it (taps before the sender
// and after the receiver count packets; loopback keeps their order, and the run checks nothing was
// lost). Reported:
//   - from the write that completed the block: what the path adds once a block is whole
//     (encoding, the sender's pacing, the kernel, the receive thread waking, decoding, resampling);
//   - the same plus 14.5 ms: the time 320 samples take to arrive, which a GSM block must wait for
//     whatever the capture block size;
//   - from the write that brought the block's first sample: what this feed really waited. With
//     20 ms capture blocks the first sample often came one capture block earlier, so this is
//     coarser than 14.5 ms; small capture blocks (e.g. 63 samples) bring it close to it.
// The resampler's filter delay is in the samples, not in wall time, and is not part of these.
//
// Usage: bench_voice_loopback [seconds of voice, default 30] [samples per capture block, default 441]
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "voice_bench.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace vbench;

namespace {

// When each payload left the receiver, and the first PCM of it out of the resampler. Receive
// thread only while the receiver is open.
struct EarTimes {
    long payloads = 0;
    long lastTimed = -1;
    std::vector<Clock::time_point> received;
    std::vector<Clock::time_point> out;
};

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const int captureSamples = argc > 2 ? std::max(1, std::atoi(argv[2])) : 441;   // 20 ms at 22050 Hz
    const auto period = std::chrono::nanoseconds(1'000'000'000LL * captureSamples / gsm_rate);
    const int writes = std::max(50, int(seconds * gsm_rate / captureSamples));
    const std::size_t maxPackets = std::size_t(writes) + 1;

    GsmEncoder encoder;
    BroadcastTX sender(kLoopback);
    BroadcastRX receiver;
    GsmDecoder decoder;
    Resampler resampler;
    CollectSink ear({.openAtStart = true, .keep = false});
    EarTimes times;
    times.received.resize(maxPackets);
    times.out.resize(maxPackets);
    ear.onBlock = [&](const AudioFormat&, qsizetype) {
        const long packet = times.payloads - 1;   // the packet now going through the receiving chain
        if (packet >= 0 && packet < long(times.out.size()) && packet > times.lastTimed) {
            times.out[std::size_t(packet)] = Clock::now();
            times.lastTimed = packet;
        }
    };

    // Sending side: the main thread.
    std::vector<Clock::time_point> writeAt(static_cast<std::size_t>(writes));
    std::vector<Clock::time_point> packetAt;        // the write that completed the packet's blocks
    std::vector<std::size_t> packetFirstWrite;      // the write that brought its first sample
    packetAt.reserve(maxPackets);
    packetFirstWrite.reserve(maxPackets);
    long blocksSent = 0;
    int currentWrite = 0;
    Tap beforeSender([&](const AudioFormat&, qsizetype size) {
        const long firstSample = blocksSent * gsm_block_samples;
        packetAt.push_back(writeAt[std::size_t(currentWrite)]);
        packetFirstWrite.push_back(std::size_t(firstSample / captureSamples));
        blocksSent += long(size / gsm_block_bytes);
    });
    Tap afterReceiver([&](const AudioFormat&, qsizetype) {
        if (times.payloads < long(maxPackets))
            times.received[std::size_t(times.payloads)] = Clock::now();
        ++times.payloads;
    });

    encoder.link(&beforeSender);
    beforeSender.link(&sender);
    receiver.link(&afterReceiver);
    afterReceiver.link(&decoder);
    decoder.link(&resampler);
    resampler.link(&ear);

    const int port = open_on_free_port(receiver, 27600);
    if (!port) {
        std::fprintf(stderr, "no free port for the receiver\n");
        return 1;
    }
    sender.setPort(QString::number(port));
    if (!encoder.open() || !sender.active()) {
        std::fprintf(stderr, "cannot open the sending side\n");
        return 1;
    }

    const AudioFormat pcm{WAVE_FORMAT_PCM, gsm_rate, 16, 1};
    std::vector<int16_t> block(captureSamples);
    const auto start = Clock::now();
    for (int w = 0; w < writes; ++w) {
        std::this_thread::sleep_until(start + period * w);
        for (int i = 0; i < captureSamples; ++i)
            block[std::size_t(i)] = int16_t(8000 * std::sin(2 * M_PI * 1000 * double(w * captureSamples + i) / gsm_rate));
        currentWrite = w;
        writeAt[std::size_t(w)] = Clock::now();
        encoder.write(pcm, reinterpret_cast<const char*>(block.data()), qsizetype(block.size() * 2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the last packets
    encoder.close();
    receiver.close();   // joins the receive thread: its results are ours to read now

    const std::size_t packets = packetAt.size();
    std::printf("voice %.1f s in %d writes of %d samples; packets sent %zu, received %ld, lost %ld, PCM out %lld bytes\n",
                double(writes) * captureSamples / gsm_rate, writes, captureSamples, packets, times.payloads, receiver.lost(), (long long)ear.byteCount.load());
    if (times.payloads != long(packets) || receiver.lost() != 0) {
        std::printf("packets went missing: the figures below would pair the wrong packets\n");
        return 1;
    }
    const double blockMs = 1000.0 * gsm_block_samples / gsm_rate;
    std::vector<double> whole, wholePlusBlock, withBuffering, buffering, toReceiver, decodeResample;
    std::size_t noOutput = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        if (times.out[i] == Clock::time_point{}) {
            ++noOutput;   // the resampler held this one back entirely
            continue;
        }
        const auto firstIn = writeAt[packetFirstWrite[i]];
        whole.push_back(ms(times.out[i] - packetAt[i]));
        wholePlusBlock.push_back(whole.back() + blockMs);
        withBuffering.push_back(ms(times.out[i] - firstIn));
        buffering.push_back(ms(packetAt[i] - firstIn));
        toReceiver.push_back(ms(times.received[i] - packetAt[i]));
        decodeResample.push_back(ms(times.out[i] - times.received[i]));
    }
    if (noOutput)
        std::printf("packets with no PCM out of the resampler at once: %zu\n", noOutput);
    print_stats("block complete -> PCM out (target median <= 20 ms)", stats(whole));
    print_stats("  + 320 samples arriving (14.5 ms)", stats(wholePlusBlock));
    print_stats("block's first sample in -> PCM out (this feed)", stats(withBuffering));
    print_stats("  of which waiting for a whole block", stats(buffering));
    print_stats("  block complete -> out of the receiver", stats(toReceiver));
    print_stats("  decoder + resampler", stats(decodeResample));
    return 0;
}
