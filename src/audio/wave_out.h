// Loudspeaker playback `WaveOut1` / `waveOUT2`: 44100 Hz stereo 16-bit PCM to the default output
// device. The device lives on a thread of its own; write() only appends to a bounded jitter buffer
// and wakes that thread, so the producer never waits on the device. The delay is kept short: when
// the buffer overflows (the device stalled, as it does for a while after opening, or the sender
// ran ahead) the oldest audio goes down to a short reserve, and audio that stands in the buffer
// for half a second without ever being needed goes too, so a late start does not leave the whole
// talk late. With no output device the stage stays inactive and drops what it is given. Open and
// close return at once; the device starts and stops on its thread.
#pragma once

#include "audio/stage.h"

#include <QByteArray>
#include <QThread>
#include <atomic>
#include <mutex>

class WaveOut : public Stage {
public:
    static constexpr AudioFormat playback_format{WAVE_FORMAT_PCM, 44100, 16, 2};
    static constexpr qsizetype max_buffered = 44100 * 4 / 5;     // 200 ms
    static constexpr qsizetype reserve_buffered = 44100 * 4 / 25; // 40 ms kept after an overflow
    // Bytes to drop from the front of a buffer holding `buffered` bytes (whole stereo frames).
    static constexpr qsizetype overflow_drop(qsizetype buffered)
    {
        return buffered > max_buffered ? (buffered - reserve_buffered + 3) & ~qsizetype(3) : 0;
    }

    WaveOut();
    ~WaveOut() override;

    bool active() const override { return m_active; }
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

    // Audio that never ran out over a while is delay nobody needs: told what is left after each
    // top-up of the device, says how much of the oldest to drop at the end of each window.
    class StandingDelay {
    public:
        static constexpr qint64 window_ms = 500;
        qsizetype after_top_up(qsizetype buffered, qint64 now_ms);

    private:
        qsizetype m_low = -1;
        qint64 m_since = 0;
    };

    qsizetype droppedBytes() const { return m_dropped; }
    // Audio waiting for the device: the delay this stage adds beyond the device's own buffer.
    qsizetype bufferedBytes() const
    {
        std::lock_guard lock(m_mutex);
        return m_buffer.size();
    }

protected:
    bool doOpen() override;
    void doClose() override;

private:
    class Worker;
    QThread m_thread;
    Worker* m_worker;
    std::atomic<bool> m_active{false};
    std::atomic<unsigned> m_opening{0};   // counts opens and closes
    std::atomic<bool> m_pumpQueued{false};
    std::atomic<qsizetype> m_dropped{0};
    mutable std::mutex m_mutex;
    QByteArray m_buffer;   // jitter buffer, under m_mutex
};
