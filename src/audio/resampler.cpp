// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

RateConverter::~RateConverter() { reset(); }

void RateConverter::reset()
{
    if (m_soxr)
        soxr_delete(m_soxr);
    m_soxr = nullptr;
    m_passThrough = false;
    m_inRate = m_outRate = m_channels = 0;
}

bool RateConverter::setup(int inRate, int outRate, int channels)
{
    reset();
    if (inRate <= 0 || outRate <= 0 || channels <= 0 || channels > 8)
        return false;
    if (std::int64_t(inRate) > std::int64_t(outRate) * max_ratio || std::int64_t(outRate) > std::int64_t(inRate) * max_ratio)
        return false;
    m_inRate = inRate;
    m_outRate = outRate;
    m_channels = channels;
    if (inRate == outRate) {
        m_passThrough = true;
        return true;
    }
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags = SOXR_NO_DITHER;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_LQ | SOXR_MINIMUM_PHASE, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    // Small transform blocks: at the voice rates the filter then holds back well under a
    // millisecond instead of some twenty.
    runtime.log2_min_dft_size = 8;
    soxr_error_t error = nullptr;
    m_soxr = soxr_create(inRate, outRate, unsigned(channels), &error, &io, &quality, &runtime);
    if (error || !m_soxr) {
        reset();
        return false;
    }
    return true;
}

void RateConverter::process(const int16_t* in, size_t frames, std::vector<int16_t>& out)
{
    if (m_passThrough) {
        out.insert(out.end(), in, in + frames * size_t(m_channels));
        return;
    }
    if (!m_soxr || frames == 0)
        return;
    // Room for the converted frames plus what the filter still held back.
    const size_t room = size_t(std::ceil(double(frames) * m_outRate / m_inRate)) + 64;
    const size_t start = out.size();
    out.resize(start + room * size_t(m_channels));
    size_t idone = 0, odone = 0;
    soxr_process(m_soxr, in, frames, &idone, out.data() + start, room, &odone);
    out.resize(start + odone * size_t(m_channels));
}

bool pcm_to_int16(const AudioFormat& format, const char* data, qsizetype size, int channels,
                  std::vector<int16_t>& out)
{
    out.clear();
    if (format.tag != WAVE_FORMAT_PCM || format.channels <= 0 || size < 0 || channels <= 0)
        return false;
    if (format.bits != 16 && format.bits != 8)
        return false;
    const int inChannels = format.channels;
    const size_t bytesPerFrame = size_t(inChannels) * size_t(format.bits / 8);
    const size_t frames = size_t(size) / bytesPerFrame;
    out.resize(frames * size_t(channels));
    auto sample = [&](size_t frame, int channel) -> int {
        const size_t index = frame * size_t(inChannels) + size_t(channel);
        if (format.bits == 8)
            return (int(static_cast<unsigned char>(data[index])) - 128) << 8;
        int16_t v;
        std::memcpy(&v, data + index * 2, 2);
        return v;
    };
    for (size_t f = 0; f < frames; ++f) {
        if (inChannels == channels) {
            for (int c = 0; c < channels; ++c)
                out[f * size_t(channels) + size_t(c)] = int16_t(sample(f, c));
        } else if (channels == 2 && inChannels == 1) {
            const int v = sample(f, 0);
            out[f * 2] = out[f * 2 + 1] = int16_t(v);
        } else if (channels == 2) {
            // More than two channels: keep the front pair.
            out[f * 2] = int16_t(sample(f, 0));
            out[f * 2 + 1] = int16_t(sample(f, 1));
        } else {
            // Down to mono by averaging.
            long sum = 0;
            for (int c = 0; c < inChannels; ++c)
                sum += sample(f, c);
            out[f] = int16_t(sum / inChannels);
        }
    }
    return true;
}

Resampler::Resampler() = default;
Resampler::~Resampler() = default;

bool Resampler::active() const
{
    std::lock_guard lock(m_mutex);
    return m_active;
}

bool Resampler::doOpen()
{
    std::lock_guard lock(m_mutex);
    m_active = true;
    m_in = AudioFormat{0, 0, 0, 0};
    m_conv.reset();
    return true;
}

void Resampler::doClose()
{
    std::lock_guard lock(m_mutex);
    m_active = false;
    m_conv.reset();
}

void Resampler::write(const AudioFormat& format, const char* data, qsizetype size)
{
    std::unique_lock lock(m_mutex);
    if (!m_active)
        return;
    // Mono is converted as mono and doubled afterwards: half the work, and both sides alike.
    const int channels = format.channels == 1 ? 1 : 2;
    if (!(format == m_in)) {
        m_in = format;
        m_conv.reset();
        if (format.tag == WAVE_FORMAT_PCM)
            m_conv.setup(format.rate, output_format.rate, channels);
    }
    if (!m_conv.ready() || !pcm_to_int16(format, data, size, channels, m_frames))
        return;
    m_conv.process(m_frames.data(), m_frames.size() / size_t(channels), m_mono);
    if (m_mono.empty())
        return;
    if (channels == 1) {
        m_out.resize(m_mono.size() * 2);
        for (size_t i = 0; i < m_mono.size(); ++i)
            m_out[2 * i] = m_out[2 * i + 1] = m_mono[i];
    } else {
        m_out.swap(m_mono);
    }
    m_mono.clear();
    deliver(output_format, reinterpret_cast<const char*>(m_out.data()),
            qsizetype(m_out.size() * sizeof(int16_t)));
}
