// Loudspeaker playback `WaveOut1` / `waveOUT2`: 44100 Hz stereo 16-bit PCM to the default output
// device. The device lives on a thread of its own; write() only appends to a bounded jitter buffer
// (the oldest audio goes when it overflows) and wakes that thread, so the producer never waits on
// the device. With no output device the stage stays inactive and drops what it is given.
#pragma once

#include "audio/stage.h"

#include <QByteArray>
#include <QThread>
#include <atomic>
#include <mutex>

class WaveOut : public Stage {
public:
    static constexpr AudioFormat playback_format{WAVE_FORMAT_PCM, 44100, 16, 2};
    static constexpr qsizetype max_buffered = 44100 * 4 / 5;   // 200 ms

    WaveOut();
    ~WaveOut() override;

    bool active() const override { return m_active; }
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

    qsizetype droppedBytes() const { return m_dropped; }

protected:
    bool doOpen() override;
    void doClose() override;

private:
    class Worker;
    QThread m_thread;
    Worker* m_worker;
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_pumpQueued{false};
    std::atomic<qsizetype> m_dropped{0};
    std::mutex m_mutex;
    QByteArray m_buffer;   // jitter buffer, under m_mutex
};
