// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the WAV file reader's decoding as if they were a recorded message,
// from memory (the reader's thread and pacing play no part in what the bytes can do).
#include "audio/wave_read.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// libsndfile's MPEG decoder (libmpg123) writes a note to stderr for every damaged frame it meets,
// dozens per input, and writing them cost more than the decoding. Unless the run says otherwise,
// the target's stderr is closed (-close_fd_mask=2): the fuzzer's own lines and the sanitizers'
// reports go to a copy of it that the fuzzer keeps, and the notes are buffered on their way to
// nowhere instead of costing a system call each.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-close_fd_mask=", 15) == 0)
            return 0;
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    static char quiet[] = "-close_fd_mask=2";
    args.insert(args.begin() + 1, quiet);
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
    return 0;
}

// libvorbis keeps the stream information of an Ogg Vorbis file that libsndfile gives up on half
// read (5.7 kB a file): a library's leak, not the reader's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libvorbis.so\n";
}

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
