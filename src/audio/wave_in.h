// Microphone capture `waveIN1`: 22050 Hz mono 16-bit PCM from the default input device, handed
// on block by block. The device lives on a thread of its own with its own event loop; open() and
// close() wait for that thread. With no input device the stage stays inactive.
#pragma once

#include "audio/stage.h"

#include <QThread>
#include <atomic>

class WaveIn : public Stage {
public:
    static constexpr AudioFormat capture_format{WAVE_FORMAT_PCM, 22050, 16, 1};

    WaveIn();
    ~WaveIn() override;

    bool active() const override { return m_active; }
    void write(const AudioFormat&, const char*, qsizetype) override {}   // a source takes nothing

protected:
    bool doOpen() override;
    void doClose() override;

private:
    class Worker;
    QThread m_thread;
    Worker* m_worker;
    std::atomic<bool> m_active{false};
};
