// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/suoni.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

namespace {
// No server answers here: the player must do without sound output.
const QString kNoServer = QStringLiteral("unix:/nonexistent/kelvo/native");

void writeStereo48k(const QString& path, int frames)
{
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_TRUE(f);
    std::vector<short> pcm(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        pcm[size_t(i) * 2] = short(16000 * std::sin(2 * M_PI * 1000 * i / 48000.0));
        pcm[size_t(i) * 2 + 1] = pcm[size_t(i) * 2];
    }
    sf_writef_short(f, pcm.data(), frames);
    sf_close(f);
}
} // namespace

TEST(Cues, TableNamesTheFilesTheStationRequests)
{
    EXPECT_EQ(cue_file(1), "btn1.wav");
    EXPECT_EQ(cue_file(2), "btn2.wav");
    EXPECT_EQ(cue_file(15), "alarm1.wav");
    EXPECT_EQ(cue_file(16), "alarm4.wav");
    EXPECT_EQ(cue_file(20), "tx.wav");
    for (unsigned none : {0u, 7u, 9u, 12u, 14u, 17u, 19u, 21u, 1000u})
        EXPECT_TRUE(cue_file(none).isEmpty()) << none;
}

TEST(Cues, MissingOrUnreadableFileOrNoOutputFallsBackToTheBeep)
{
    QTemporaryDir folder;
    QFile junk(QDir(folder.path()).filePath("btn2.wav"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray("RIFF\x10\0\0\0WAVE", 12) + "junk that is no sound");
    junk.close();
    int beeps = 0;
    {
        CuePlayer player(folder.path(), [&] { ++beeps; }, kNoServer);
        player.play_cue(1);       // no file beside the program
        player.play_cue(2);       // a file that is no sound
        player.play_cue(99);      // no such cue
        EXPECT_EQ(beeps, 3);

        // Files in the current directory are not taken for the program's own.
        QTemporaryDir other;
        QFile::copy(QStringLiteral(KELVO_BIN_DIR "/btn1.wav"), QDir(other.path()).filePath("btn1.wav"));
        const QString before = QDir::currentPath();
        QDir::setCurrent(other.path());
        player.play_cue(1);
        QDir::setCurrent(before);
        EXPECT_EQ(beeps, 4);
    }
    // The real cue files, but no sound server: every cue beeps, none waits for a device.
    CuePlayer player(QStringLiteral(KELVO_BIN_DIR), [&] { ++beeps; }, kNoServer);
    for (unsigned cue : {1u, 2u, 15u, 16u, 20u})
        player.play_cue(cue);
    EXPECT_EQ(beeps, 9);
}

TEST(Cues, AnyReadableFileBecomesMonoAt44100WithItsLengthKept)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath("tone.wav");
    writeStereo48k(path, 48000 / 4);   // 250 ms
    const CueSound pcm = CueEngine::decode(path);
    EXPECT_NEAR(double(pcm.size()), 44100 / 4, 2);
    int peak = 0;
    for (int16_t s : pcm)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_NEAR(peak, 16000, 400);

    // The files the program ships: 22050 Hz, doubled; a key click is 25 ms.
    EXPECT_NEAR(double(CueEngine::decode(QStringLiteral(KELVO_BIN_DIR "/btn1.wav")).size()), 44100 * 0.025, 2);

    // A file far longer than any cue is cut to its first ten seconds.
    writeStereo48k(path, 48000 * 12);
    EXPECT_NEAR(double(CueEngine::decode(path).size()), 44100 * CueEngine::kMaxSeconds, 2);
}
