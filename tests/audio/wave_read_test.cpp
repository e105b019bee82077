// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wave_read.h"
#include "support/collect_sink.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

QString writeTone(const QString& path, int rate, int channels, int format, double seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    const int frames = int(rate * seconds);
    std::vector<short> data(size_t(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[size_t(i * channels + c)] = short(8000 * std::sin(2 * M_PI * 440 * i / rate));
    sf_writef_short(f, data.data(), frames);
    sf_close(f);
    return path;
}

bool waitInactive(const WaveRead& r, int ms)
{
    for (int i = 0; i < ms / 10 && r.active(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !r.active();
}

} // namespace

TEST(WaveRead, ReadsEveryFormatAtItsOwnRateInRealTime)
{
    QTemporaryDir dir;
    struct Case { int rate, channels, format; };
    for (Case c : {Case{8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                   Case{44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                   Case{22050, 1, SF_FORMAT_WAV | SF_FORMAT_GSM610}}) {
        const QString path = writeTone(dir.filePath(QString("t%1_%2.wav").arg(c.rate).arg(c.channels)),
                                       c.rate, c.channels, c.format, 0.3);
        CollectSink out({.keepWhileClosed = true});
        WaveRead reader;
        reader.link(&out);
        reader.setFileName(path);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(reader.open());
        EXPECT_TRUE(reader.active());
        EXPECT_TRUE(out.active());
        ASSERT_TRUE(waitInactive(reader, 3000));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(200)) << "paced in real time";
        ASSERT_FALSE(out.formats.empty());
        EXPECT_EQ(out.formats.back(), (AudioFormat{WAVE_FORMAT_PCM, c.rate, 16, c.channels}));
        for (const AudioFormat& f : out.formats)
            EXPECT_EQ(f, reader.format());
        EXPECT_NEAR(double(out.samples().size()), 0.3 * c.rate * c.channels, 0.025 * c.rate * c.channels); // GSM pads its last frame
        EXPECT_GT(out.blockCount.load(), 10); // blocks of about 20 ms
        short peak = 0;
        for (short s : out.samples())
            peak = std::max<short>(peak, short(std::abs(s)));
        EXPECT_GT(peak, 4000);

        // Decoded from memory, the same file gives the same blocks.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        std::vector<short> fromMemory;
        int blocks = 0;
        EXPECT_TRUE(read_wave_bytes(file.readAll(), [&](const AudioFormat& f, const char* data, qsizetype size) {
            EXPECT_EQ(f, reader.format());
            ++blocks;
            auto* samples = reinterpret_cast<const short*>(data);
            fromMemory.insert(fromMemory.end(), samples, samples + size / 2);
        }));
        EXPECT_EQ(blocks, out.blockCount.load());
        EXPECT_EQ(fromMemory, out.samples());
    }
}

TEST(WaveRead, MissingOrGarbageFilesLeaveItInactive)
{
    QTemporaryDir dir;
    QFile garbage(dir.filePath("garbage.wav"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("RIFF\x10\0\0\0WAVEfmt garbage garbage garbage", 40);
    garbage.close();
    QFile empty(dir.filePath("empty.wav"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    for (const QString& name : {QString(), dir.filePath("none.wav"), garbage.fileName(), empty.fileName()}) {
        CollectSink out({.keepWhileClosed = true});
        WaveRead reader;
        reader.link(&out);
        reader.setFileName(name);
        EXPECT_FALSE(reader.open()) << name.toStdString();
        EXPECT_FALSE(reader.active());
        reader.close();
        EXPECT_EQ(out.blockCount.load(), 0);
        QFile file(name);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        EXPECT_FALSE(read_wave_bytes(bytes, [](const AudioFormat&, const char*, qsizetype) { ADD_FAILURE(); }));
    }
}

TEST(WaveRead, CloseStopsAtOnceAndReopenStartsAgain)
{
    QTemporaryDir dir;
    const QString path = writeTone(dir.filePath("long.wav"), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 5);
    CollectSink out({.keepWhileClosed = true});
    WaveRead reader;
    reader.link(&out);
    reader.setFileName(path);
    ASSERT_TRUE(reader.open());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader.discard();
    reader.close();
    EXPECT_FALSE(reader.active());
    EXPECT_FALSE(out.active());
    const size_t got = out.samples().size();
    EXPECT_LT(got, 8000u);
    ASSERT_TRUE(reader.open());
    EXPECT_TRUE(reader.active());
    // Re-linking while audio flows is safe.
    CollectSink other({.keepWhileClosed = true});
    reader.link(&other);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader.link(&out);
} // destroyed while playing: the thread ends

TEST(WaveRead, ReadsTheShippedExamples)
{
    const QDir dir(QString(qgetenv("KELVO_SOURCE")) + "/assets/example");
    const QStringList files = dir.entryList({"*.wav"}, QDir::Files);
    ASSERT_EQ(files.size(), 4);
    for (const QString& f : files) {
        SF_INFO info{};
        SNDFILE* s = sf_open(dir.filePath(f).toLocal8Bit().constData(), SFM_READ, &info);
        ASSERT_NE(s, nullptr) << f.toStdString();
        EXPECT_EQ(info.samplerate, 22050);
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_GSM610);
        EXPECT_GT(info.frames, 22050 * 5);
        sf_close(s);
    }
}
