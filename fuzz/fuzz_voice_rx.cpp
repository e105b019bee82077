// Arbitrary datagrams for the voice receiver's rules. The input is cut into datagrams at each
// 0xFF 0xFE pair, so one run can carry an announcement and audio packets after it.
#include "audio/broadcast_rx.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t delivered = 0;
    VoiceReceiverCore core(
        [&](const AudioFormat&, const char* d, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i)
                delivered += static_cast<unsigned char>(d[i]);   // touches every byte handed on
        },
        [] {});
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xFE) {
            core.handle(reinterpret_cast<const char*>(data + start), i - start);
            start = i + 2;
            ++i;
        }
    }
    if (start < size)
        core.handle(reinterpret_cast<const char*>(data + start), size - start);
    (void)delivered;
    return 0;
}
