// SPDX-License-Identifier: GPL-3.0-or-later
// Sample-rate conversion for the voice paths.
//
// RateConverter turns interleaved 16-bit PCM of one rate into another with libsoxr in a low-latency
// setting (low quality recipe, minimum phase): the voice path cares about delay, not about the last
// decibel of stop band. Resampler is the stage `resamplerRX` / `resampler2`: whatever PCM it is
// given leaves it as 44100 Hz, 16 bits, two channels.
#pragma once

#include "audio/stage.h"

#include <cstdint>
#include <mutex>
#include <vector>

struct soxr;

class RateConverter {
public:
    RateConverter() = default;
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // The largest ratio of the two rates, either way, that a conversion takes on.
    static constexpr int max_ratio = 16;

    // Prepares a conversion of `channels` interleaved channels from `inRate` to `outRate`.
    // Returns false (and converts nothing) for rates or channel counts that make no sense, and for
    // rates more than max_ratio apart: every input block would grow (or shrink) beyond reason.
    bool setup(int inRate, int outRate, int channels);
    void reset();   // forgets the configuration and any samples held inside
    bool ready() const { return m_soxr != nullptr || m_passThrough; }

    // Converts `frames` frames of interleaved samples, appending the result to `out`.
    void process(const int16_t* in, size_t frames, std::vector<int16_t>& out);

private:
    soxr* m_soxr = nullptr;
    bool m_passThrough = false;
    int m_inRate = 0;
    int m_outRate = 0;
    int m_channels = 0;
};

// Interleaved 16-bit PCM of `format` (8 or 16 bits, any channel count) as 16-bit frames of
// `channels` channels: more channels are averaged down, a single channel is duplicated.
// Returns false when the format is not PCM it can read.
bool pcm_to_int16(const AudioFormat& format, const char* data, qsizetype size, int channels,
                  std::vector<int16_t>& out);

class Resampler : public Stage {
public:
    static constexpr AudioFormat output_format{WAVE_FORMAT_PCM, 44100, 16, 2};

    Resampler();
    ~Resampler() override;

    bool active() const override;
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    mutable std::mutex m_mutex;
    bool m_active = false;
    AudioFormat m_in{0, 0, 0, 0};
    RateConverter m_conv;
    std::vector<int16_t> m_frames;
    std::vector<int16_t> m_mono;
    std::vector<int16_t> m_out;
};
