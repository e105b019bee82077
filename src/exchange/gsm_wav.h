// SPDX-License-Identifier: GPL-3.0-or-later
// A WAV file of GSM 6.10 blocks (WAVE_FORMAT_GSM610: 65-byte blocks of 320 samples, mono), written
// from blocks already encoded, byte for byte as they came. libsndfile only writes this format from
// PCM, and decoding and encoding again would not give the same bytes, so the RIFF layout is written
// here: RIFF/WAVE, fmt (20 bytes), fact (the sample count), data, as libsndfile lays out a file of
// this format. The header's sizes are brought up to date every second while blocks come, and
// made final by the close, so a file left by a crash reads back whole but for its last second.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

class GsmWavWriter {
public:
    static constexpr int kHeaderBytes = 60;

    GsmWavWriter() = default;
    GsmWavWriter(const GsmWavWriter&) = delete;
    GsmWavWriter& operator=(const GsmWavWriter&) = delete;
    ~GsmWavWriter() { close(); }

    // Creates `path` (it must not exist yet). False with error() when it cannot be made.
    bool open(const QString& path, int rate);
    // Appends encoded bytes. Whole blocks are written; a block cut short is held until the rest
    // comes and dropped at the close. False with error() when the disk refuses: the file is then
    // closed with what it held.
    bool append(const char* data, std::size_t size);
    // Writes the sizes and closes. False with error() if that last write failed.
    bool close();

    bool isOpen() const { return m_fd >= 0; }
    QString error() const { return m_error; }
    std::int64_t blocks() const { return m_blocks; }
    std::int64_t samples() const { return m_blocks * 320; }

private:
    bool fail(const char* what);

    bool writeHeader(bool final);

    int m_fd = -1;
    int m_rate = 0;
    std::int64_t m_headerAtMs = 0;   // when the header's sizes were last brought up to date
    QString m_path, m_error;
    std::int64_t m_blocks = 0;
    unsigned char m_partial[65];
    std::size_t m_partialSize = 0;
};

// The sound of a WAV file libsndfile reads (a recorded transmission, say) as a 16-bit PCM WAV file
// in memory, for a browser to play; empty when it cannot be read or is longer than `maxSeconds`.
QByteArray pcmWavOf(const QString& path, int maxSeconds = 600);
