#include "audio/pcm_output.h"

#include <pulse/simple.h>

#include <string>

namespace {

class PulseOutput : public PcmOutput {
public:
    explicit PulseOutput(const char* name) : m_name(name) {}
    ~PulseOutput() override
    {
        if (m_stream)
            pa_simple_free(m_stream);
    }

    bool open(int rate, int channels, int chunkFrames) override
    {
        if (m_stream)
            pa_simple_free(m_stream);
        m_frameBytes = size_t(channels) * 2;
        const pa_sample_spec format{PA_SAMPLE_S16NE, uint32_t(rate), uint8_t(channels)};
        const uint32_t chunk = uint32_t(chunkFrames) * uint32_t(channels) * 2;
        // Room for six chunks, so that a write never waits (the writer keeps the queue short itself);
        // playback starts (and restarts after running dry) with one.
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = 6 * chunk;
        attr.prebuf = chunk;
        attr.minreq = chunk;
        attr.fragsize = uint32_t(-1);
        int error = 0;
        m_stream = pa_simple_new(nullptr, "Kelvo station", PA_STREAM_PLAYBACK, nullptr, m_name.c_str(), &format,
                                 nullptr, &attr, &error);
        return m_stream != nullptr;
    }

    bool write(const int16_t* pcm, qsizetype frames) override
    {
        return m_stream && pa_simple_write(m_stream, pcm, size_t(frames) * m_frameBytes, nullptr) >= 0;
    }

    qint64 queuedUs() override
    {
        if (!m_stream)
            return -1;
        int error = 0;
        const pa_usec_t latency = pa_simple_get_latency(m_stream, &error);
        return latency == pa_usec_t(-1) ? -1 : qint64(latency);
    }

    void flush() override
    {
        if (m_stream)
            pa_simple_flush(m_stream, nullptr);
    }

private:
    size_t m_frameBytes = 4;
    std::string m_name;
    pa_simple* m_stream = nullptr;
};

} // namespace

std::unique_ptr<PcmOutput> make_pulse_output(const char* streamName)
{
    return std::make_unique<PulseOutput>(streamName);
}
