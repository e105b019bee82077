// SPDX-License-Identifier: GPL-3.0-or-later
// The WAV file reader (`waveRead1`): reads a file as 16-bit PCM at the file's own rate and
// channel count and hands it on in blocks of about 20 ms, paced in real time on its own thread
// (about 200 ms ahead). At the end of the file, once the last block has had its time to be heard,
// it becomes inactive by itself; a file it cannot read leaves it inactive.
#pragma once

#include "audio/stage.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

// Decodes a whole sound file held in memory exactly as the reader decodes a file, without its
// thread or pacing: `block` receives the blocks the reader would hand on, in order. False when the
// reader would not open the file (not a sound file, or an unusable rate or channel count).
bool read_wave_bytes(const QByteArray& bytes,
                     const std::function<void(const AudioFormat&, const char*, qsizetype)>& block);

class WaveRead : public Stage {
public:
    WaveRead();
    ~WaveRead() override;

    void setFileName(const QString& path);
    QString fileName() const;
    // The format of the file last opened (initially 22050 Hz mono).
    AudioFormat format() const;
    // Drops what has been read and not yet handed on.
    void discard();

    bool active() const override;
    void write(const AudioFormat&, const char*, qsizetype) override {}

protected:
    bool doOpen() override;
    void doClose() override;

private:
    void run(void* file, AudioFormat format);
    void stopThread();

    mutable std::mutex m_state;
    QString m_fileName;
    AudioFormat m_format{WAVE_FORMAT_PCM, 22050, 16, 1};
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_active{false};
    std::atomic<unsigned> m_discards{0};
};
