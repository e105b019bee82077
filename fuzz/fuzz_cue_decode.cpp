// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the cue decoder as if they were a cue file beside the program.
#include "audio/cue_engine.h"

#include <QTemporaryFile>

#include <cstdint>

// libvorbis keeps the stream information of an Ogg Vorbis file that libsndfile gives up on half
// read (5.7 kB a file): a library's leak, not the reader's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libvorbis.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QTemporaryFile file;
    if (!file.open())
        return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    const CueSound pcm = CueEngine::decode(file.fileName());
    if (pcm.size() > size_t(CueEngine::kRate) * CueEngine::kMaxSeconds + 64)
        __builtin_trap();   // the ten-second limit holds whatever the header says
    return 0;
}
