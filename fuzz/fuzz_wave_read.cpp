// Feeds arbitrary bytes to the WAV file reader's decoding as if they were a recorded message,
// from memory (the reader's thread and pacing play no part in what the bytes can do).
#include "audio/wave_read.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    volatile char sink = 0;
    read_wave_bytes(bytes, [&](const AudioFormat& format, const char* samples, qsizetype n) {
        // Whole frames of 16-bit samples, at most a block of about 20 ms.
        const qsizetype frame = qsizetype(format.channels) * 2;
        if (format.channels < 1 || format.channels > 8 || n <= 0 || n % frame != 0
            || n / frame > qMax(1, format.rate / 50))
            __builtin_trap();
        sink = char(sink ^ samples[0] ^ samples[n - 1]);
    });
    return 0;
}
