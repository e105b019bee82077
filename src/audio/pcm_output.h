// A playback stream of interleaved 16-bit PCM, written by one thread at the pace it asks for.
// The loudspeaker stage plays through one of these; PulseAudio is the back end on Linux, and
// another back end only has to give the same four calls.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <memory>

class PcmOutput {
public:
    virtual ~PcmOutput() = default;
    // Connects and opens the stream; may take a while (a sound server to reach). `chunkFrames`:
    // the size of the writes to come, so the device buffer can be kept to about that.
    virtual bool open(int rate, int channels, int chunkFrames) = 0;
    // Queues audio; false when the stream is gone (the server went away).
    virtual bool write(const int16_t* pcm, qsizetype frames) = 0;
    // Audio written and not yet heard, in microseconds; -1 when the stream cannot say.
    virtual qint64 queuedUs() = 0;
    // Drops what is queued.
    virtual void flush() = 0;
};

// A PulseAudio playback stream on the default (or PULSE_SERVER's) server, named `streamName`.
std::unique_ptr<PcmOutput> make_pulse_output(const char* streamName);
