// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/gsm_codec.h"

#include "audio/voice_packet.h"

#include <gsm.h>

#include <algorithm>

namespace {

gsm_state* make_wav49()
{
    gsm g = gsm_create();
    if (!g)
        return nullptr;
    int one = 1;
    gsm_option(g, GSM_OPT_WAV49, &one);
    return g;
}

} // namespace

// ---------------------------------------------------------------- encoder

GsmEncoder::GsmEncoder() = default;
GsmEncoder::~GsmEncoder() { release(); }

void GsmEncoder::release()
{
    if (m_gsm)
        gsm_destroy(m_gsm);
    m_gsm = nullptr;
    m_conv.reset();
    m_pending.clear();
    m_in = AudioFormat{0, 0, 0, 0};
}

bool GsmEncoder::active() const
{
    std::lock_guard lock(m_mutex);
    return m_gsm != nullptr;
}

bool GsmEncoder::doOpen()
{
    std::lock_guard lock(m_mutex);
    release();
    m_gsm = make_wav49();
    return m_gsm != nullptr;
}

void GsmEncoder::doClose()
{
    std::lock_guard lock(m_mutex);
    release();
}

void GsmEncoder::write(const AudioFormat& format, const char* data, qsizetype size)
{
    std::lock_guard lock(m_mutex);
    if (!m_gsm)
        return;
    if (!(format == m_in)) {
        // A new source format: what was pending belongs to the old one.
        m_in = format;
        m_pending.clear();
        m_conv.reset();
        if (format.tag == WAVE_FORMAT_PCM)
            m_conv.setup(format.rate, gsm_rate, 1);
    }
    if (!m_conv.ready() || !pcm_to_int16(format, data, size, 1, m_mono))
        return;
    m_conv.process(m_mono.data(), m_mono.size(), m_pending);

    const size_t whole = m_pending.size() / gsm_block_samples;
    size_t done = 0;
    while (done < whole) {
        const size_t n = std::min(whole - done, size_t(max_blocks_per_write));
        m_blocks.resize(n * gsm_block_bytes);
        for (size_t b = 0; b < n; ++b) {
            gsm_signal* pcm = m_pending.data() + (done + b) * gsm_block_samples;
            gsm_byte* out = m_blocks.data() + b * gsm_block_bytes;
            // WAV packing: the first frame fills 32 bytes and leaves half a byte for the second.
            gsm_encode(m_gsm, pcm, out);
            gsm_encode(m_gsm, pcm + 160, out + 32);
        }
        deliver(output_format, reinterpret_cast<const char*>(m_blocks.data()),
                qsizetype(m_blocks.size()));
        done += n;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(whole * gsm_block_samples));
}

// ---------------------------------------------------------------- decoder

GsmDecoder::GsmDecoder() = default;
GsmDecoder::~GsmDecoder() { release(); }

void GsmDecoder::release()
{
    if (m_gsm)
        gsm_destroy(m_gsm);
    m_gsm = nullptr;
    m_partial.clear();
    m_in = AudioFormat{0, 0, 0, 0};
    m_haveLast = false;
    m_lostRun = 0;
    m_owed = 0;
}

qint64 GsmDecoder::concealedBlocks() const
{
    std::lock_guard lock(m_mutex);
    return m_concealed;
}

void GsmDecoder::decode(const unsigned char* block, int16_t* pcm)
{
    // The first frame is read as 33 bytes, the second as the 32 that follow.
    auto* in = const_cast<gsm_byte*>(block);
    if (gsm_decode(m_gsm, in, pcm) < 0)
        std::fill(pcm, pcm + 160, 0);
    if (gsm_decode(m_gsm, in + 33, pcm + 160) < 0)
        std::fill(pcm + 160, pcm + 320, 0);
}

bool GsmDecoder::active() const
{
    std::lock_guard lock(m_mutex);
    return m_active;
}

bool GsmDecoder::doOpen()
{
    std::lock_guard lock(m_mutex);
    release();
    m_active = true;
    return true;
}

void GsmDecoder::doClose()
{
    std::lock_guard lock(m_mutex);
    m_active = false;
    release();
}

void GsmDecoder::write(const AudioFormat& format, const char* data, qsizetype size)
{
    std::lock_guard lock(m_mutex);
    if (!m_active)
        return;
    if (!(format == m_in)) {
        // Another stream: start from a clean decoder state.
        release();
        m_in = format;
        if (format.tag == WAVE_FORMAT_GSM610 && format.rate >= gsm_min_rate && format.rate <= gsm_max_rate)
            m_gsm = make_wav49();
    }
    if (!m_gsm || size <= 0)
        return;
    m_partial.insert(m_partial.end(), reinterpret_cast<const unsigned char*>(data),
                     reinterpret_cast<const unsigned char*>(data) + size);
    const size_t whole = m_partial.size() / gsm_block_bytes;
    if (whole == 0)
        return;
    m_pcm.resize(whole * gsm_block_samples);
    for (size_t b = 0; b < whole; ++b)
        decode(m_partial.data() + b * gsm_block_bytes, m_pcm.data() + b * gsm_block_samples);
    std::copy_n(m_partial.data() + (whole - 1) * gsm_block_bytes, gsm_block_bytes, m_last);
    m_haveLast = true;
    m_lostRun = 0;
    m_partial.erase(m_partial.begin(), m_partial.begin() + std::ptrdiff_t(whole * gsm_block_bytes));
    const AudioFormat out{WAVE_FORMAT_PCM, format.rate, 16, 1};
    deliver(out, reinterpret_cast<const char*>(m_pcm.data()), qsizetype(m_pcm.size() * sizeof(int16_t)));
}

void GsmDecoder::missing(const AudioFormat& format, qsizetype size)
{
    std::lock_guard lock(m_mutex);
    if (!m_active || !m_gsm || !(format == m_in) || size <= 0)
        return;
    // A block begun before the loss lost its end: it is lost too. Whole blocks are stood in for,
    // the rest is owed to the next loss; a loss never stands for more than one payload's worth.
    constexpr qsizetype kMaxBlocks = qsizetype(voice::kMaxPayload) / gsm_block_bytes;
    m_owed += qsizetype(m_partial.size()) + std::min<qsizetype>(size, qsizetype(voice::kMaxPayload));
    m_partial.clear();
    const qsizetype blocks = std::min(m_owed / gsm_block_bytes, kMaxBlocks);
    m_owed = blocks == kMaxBlocks ? 0 : m_owed % gsm_block_bytes;
    if (blocks == 0)
        return;
    m_pcm.assign(size_t(blocks) * gsm_block_samples, 0);
    for (qsizetype b = 0; b < blocks && m_haveLast; ++b) {
        // Full strength for two blocks (some 30 ms), then halved at every block: silent after eight.
        const int shift = std::max(0, m_lostRun - 1);
        ++m_lostRun;
        if (shift >= 7)
            break;
        int16_t* pcm = m_pcm.data() + size_t(b) * gsm_block_samples;
        decode(m_last, pcm);
        for (int i = 0; i < gsm_block_samples; ++i)
            pcm[i] = int16_t(pcm[i] >> shift);
    }
    m_concealed += blocks;
    const AudioFormat out{WAVE_FORMAT_PCM, format.rate, 16, 1};
    deliver(out, reinterpret_cast<const char*>(m_pcm.data()), qsizetype(m_pcm.size() * sizeof(int16_t)));
}
