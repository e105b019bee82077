// SPDX-License-Identifier: GPL-3.0-or-later
// Voice datagrams as the exchange's watch recorder takes them on the voice ports: each sender's
// stream followed with the receiver's rules, a WAV file of GSM 6.10 blocks per transmission, the
// payloads handed to a listener's decoder, and every file read back as the console serves it.
// After a first byte (bit 0: each datagram gets its right check byte; bits 1-2: one to four
// senders; bits 4-7: which ports they send to), the input is cut into datagrams at each 0xFF 0xFE
// pair, taken in turn from each sender. Whatever comes, every file holds whole blocks behind its
// header and reads back as whole blocks, and the log lines of each transmission stay one JSON
// object.
#include "audio/gsm_codec.h"
#include "audio/voice_packet.h"
#include "exchange/gsm_wav.h"
#include "exchange/watch_recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// What a listener's decoder hands on: 16-bit mono PCM, never more than a datagram can carry.
class Listener : public Stage {
public:
    bool active() const override { return true; }
    void write(const AudioFormat& format, const char*, qsizetype size) override
    {
        if (format.tag != WAVE_FORMAT_PCM || format.channels != 1 || size % 2
            || size > qsizetype(voice::kMaxPayload / gsm_block_bytes + 1) * gsm_block_samples * 2)
            __builtin_trap();
    }

protected:
    bool doOpen() override { return true; }
    void doClose() override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace exchange;
    if (size == 0)
        return 0;
    static QTemporaryDir folder;
    const bool fixCheck = data[0] & 1;
    const int senders = 1 + ((data[0] >> 1) & 3);
    const int ports = data[0] >> 4;
    ++data;
    --size;

    std::vector<VoiceTransmission> ended;
    {
        WatchRecorder recorder(folder.path(), 17000);
        QObject::connect(&recorder, &WatchRecorder::ended, [&](const VoiceTransmission& t) { ended.push_back(t); });
        GsmDecoder decoder;
        Listener listener;
        decoder.link(&listener);
        decoder.open();
        recorder.setTap([&](int, const AudioFormat& format, const char* d, std::size_t n) {
            decoder.write(format, d, qsizetype(n));
        });
        recorder.startWithoutSockets();

        std::vector<unsigned char> datagram;
        int count = 0;
        auto take = [&](std::size_t from, std::size_t to) {
            datagram.assign(data + from, data + to);
            if (fixCheck && !datagram.empty())
                datagram[0] = voice::check_byte(datagram.data(), datagram.size());
            const int sender = count++ % senders;
            recorder.take((ports + sender) % int(kVoicePortOffsets.size()), reinterpret_cast<const char*>(datagram.data()),
                          datagram.size(), 0x0A000001 + std::uint32_t(sender), std::uint16_t(40000 + sender));
        };
        std::size_t start = 0;
        for (std::size_t i = 0; i + 1 < size; ++i) {
            if (data[i] == 0xFF && data[i + 1] == 0xFE) {
                take(start, i);
                start = i + 2;
                ++i;
            }
        }
        if (start < size)
            take(start, size);
        recorder.stop();
        for (const WatchRecorder::ChannelState& c : recorder.channels())
            if (!c.sender.isEmpty())
                __builtin_trap();   // every transmission ended with the recorder
        decoder.close();
    }

    for (const VoiceTransmission& t : ended) {
        if (t.payloads < 1 || t.lost < 0 || t.seconds < 0 || voiceLogLine(t).contains(QLatin1Char('\n'))
            || !QJsonDocument::fromJson(voiceJsonLine(t)).isObject())
            __builtin_trap();
        if (t.file.isEmpty())
            continue;
        const QString path = QDir(folder.path()).filePath(t.file);
        const qint64 bytes = QFileInfo(path).size();
        const QByteArray pcm = pcmWavOf(path);
        // Whole blocks, and the pad byte that keeps a RIFF chunk even. libsndfile (which lays out
        // its own files of this format the same way) reads the pad byte as one more block.
        const qint64 data = bytes - GsmWavWriter::kHeaderBytes, blocks = data / gsm_block_bytes;
        if (data < 0 || data != blocks * gsm_block_bytes + (blocks & 1)
            || pcm.size() != 44 + (blocks + (blocks & 1)) * gsm_block_samples * 2)
            __builtin_trap();
    }
    // The next run finds the folder empty, as a course begins.
    for (const QString& name : QDir(folder.path()).entryList(QDir::Files))
        QFile::remove(QDir(folder.path()).filePath(name));
    return 0;
}
