// Feeds arbitrary bytes to the WAV file reader as if they were a recorded message.
#include "audio/wave_read.h"

#include <QTemporaryFile>

#include <cstdint>

namespace {
struct Sink : Stage {
    volatile char sink = 0;
    bool active() const override { return true; }
    void write(const AudioFormat&, const char* data, qsizetype size) override
    {
        char x = 0;
        for (qsizetype i = 0; i < size; ++i)
            x = char(x ^ data[i]);
        sink = x;
    }
    bool doOpen() override { return true; }
    void doClose() override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QTemporaryFile file;
    if (!file.open())
        return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    Sink sink;
    WaveRead reader;
    reader.link(&sink);
    reader.setFileName(file.fileName());
    reader.open();
    reader.close(); // reads a first block at least, then stops
    return 0;
}
