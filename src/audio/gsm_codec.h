// SPDX-License-Identifier: GPL-3.0-or-later
// GSM 6.10 in the WAV packing (format tag 49): blocks of 65 bytes, each two frames of 160 samples
// (the first 32 bytes and a half, the second the rest), 320 samples per block.
//
// GsmEncoder is the stage `codecTX`: it takes PCM of any rate and channel count, brings it to
// 22050 Hz mono and hands on whole blocks. GsmDecoder is `CodecRX`: it takes blocks in the format
// the voice receiver announced and hands on 16-bit mono PCM at the announced rate; blocks of any
// other tag, or of a rate outside gsm_min_rate to gsm_max_rate, are dropped. Blocks lost on the
// way (missing()) are stood in for as GSM decoders do: the last good block decoded again, at full
// strength for the first two, then fading out, so a loss costs its own length and no more, and
// the audio after it keeps its time.
#pragma once

#include "audio/resampler.h"
#include "audio/stage.h"

#include <cstdint>
#include <mutex>
#include <vector>

struct gsm_state;

constexpr int gsm_block_bytes = 65;
constexpr int gsm_block_samples = 320;
constexpr int gsm_rate = 22050;
// Rates a voice stream can have. A stream announced outside them is not played: its audio would
// only be noise, and at a few samples per second the resampler would have to blow every block up
// thousands of times.
constexpr int gsm_min_rate = 4000;
constexpr int gsm_max_rate = 48000;

class GsmEncoder : public Stage {
public:
    static constexpr AudioFormat output_format{WAVE_FORMAT_GSM610, gsm_rate, 0, 1};
    // Whole blocks handed on at most per write: 21 blocks fit one voice packet of 1400 bytes, so
    // every packet begins a block.
    static constexpr int max_blocks_per_write = 21;

    GsmEncoder();
    ~GsmEncoder() override;

    bool active() const override;
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    void release();

    mutable std::mutex m_mutex;
    gsm_state* m_gsm = nullptr;
    AudioFormat m_in{0, 0, 0, 0};
    RateConverter m_conv;
    std::vector<int16_t> m_mono;
    std::vector<int16_t> m_pending;   // 22050 Hz samples not yet making a whole block
    std::vector<unsigned char> m_blocks;
};

class GsmDecoder : public Stage {
public:
    GsmDecoder();
    ~GsmDecoder() override;

    bool active() const override;
    void write(const AudioFormat& format, const char* data, qsizetype size) override;
    void missing(const AudioFormat& format, qsizetype size) override;

    // Blocks stood in for since the decoder was opened.
    qint64 concealedBlocks() const;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    void release();
    void decode(const unsigned char* block, int16_t* pcm);

    mutable std::mutex m_mutex;
    bool m_active = false;
    gsm_state* m_gsm = nullptr;
    AudioFormat m_in{0, 0, 0, 0};
    std::vector<unsigned char> m_partial;   // bytes of a block not yet complete
    std::vector<int16_t> m_pcm;
    unsigned char m_last[gsm_block_bytes];  // the last good block
    bool m_haveLast = false;
    int m_lostRun = 0;                      // blocks stood in for since the last good one
    qsizetype m_owed = 0;                   // bytes lost that did not make a whole block yet
    qint64 m_concealed = 0;
};
