// Loudspeaker playback `WaveOut1` / `waveOUT2`: 44100 Hz stereo 16-bit PCM to the default output.
// write() only puts the audio into an adaptive jitter buffer (audio/jitter_buffer.h) and returns;
// a thread of the stage's own plays from it through a playback stream (PulseAudio) that it keeps
// open, taking 20 ms chunks when the stream has little left, so a talker costs one wake-up per
// chunk and the device holds a few tens of ms. Between talks the thread sleeps and writes nothing.
// Open and close return at once (only the first open after the stage is made waits for the
// stream to connect); with no sound server the stage stays inactive and drops what it is given.
#pragma once

#include "audio/jitter_buffer.h"
#include "audio/pcm_output.h"
#include "audio/stage.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class WaveOut : public Stage {
public:
    static constexpr AudioFormat playback_format{WAVE_FORMAT_PCM, 44100, 16, 2};
    static constexpr int chunk_ms = 10;
    using OutputFactory = std::function<std::unique_ptr<PcmOutput>()>;

    // `streamName`: how the sound server lists the stream; `output`: the back end (PulseAudio
    // when empty).
    explicit WaveOut(const char* streamName = "Voice", OutputFactory output = {});
    ~WaveOut() override;
    WaveOut(const WaveOut&) = delete;
    WaveOut& operator=(const WaveOut&) = delete;

    bool active() const override { return m_active; }
    void write(const AudioFormat& format, const char* data, qsizetype size) override;

    // Audio discarded because the backlog passed the jitter buffer's cap.
    qsizetype droppedBytes() const;
    // Audio waiting in the jitter buffer: the delay this stage adds beyond the device's own buffer.
    qsizetype bufferedBytes() const;
    double targetMs() const;

protected:
    bool doOpen() override;
    void doClose() override;

private:
    enum class Device { Opening, Open, Failed };
    void run(OutputFactory output, std::string name);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    JitterBuffer m_jitter;                      // under m_mutex
    void clearIfClosed();                       // under m_mutex

    std::atomic<unsigned> m_closes{0};          // counts closes: the thread flushes after one
    unsigned m_cleared = 0;                     // under m_mutex: the closes the buffer was cleared for
    bool m_retry = false;                       // under m_mutex
    bool m_stop = false;                        // under m_mutex
    std::atomic<Device> m_device{Device::Opening};
    std::atomic<bool> m_active{false};
    std::thread m_thread;
};
