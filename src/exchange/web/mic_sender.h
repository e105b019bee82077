// A web station's microphone on the air: the page's PCM, while push-to-talk is held, encoded with
// the station's GSM 6.10 encoder and sent as voice packets on the channel's port exactly as a
// desktop station's push-to-talk sends them (the partners' voice senders). Opened and closed by the
// station's core (its thread); written by the page's socket (the console's thread) as frames come.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class GsmEncoder;

namespace exchange {
class VoiceSenders;
}

namespace exchange::web {

class MicSender {
public:
    explicit MicSender(std::vector<std::uint32_t> destinations);
    ~MicSender();
    // On the air on `port`; false when no voice socket could be opened.
    bool open(int port);
    void close();
    // 16-bit little-endian mono PCM at kMicRate; nothing when not on the air.
    void write(const QByteArray& pcm);

private:
    const std::vector<std::uint32_t> m_destinations;
    std::mutex m_mutex;
    std::unique_ptr<VoiceSenders> m_senders;
    std::unique_ptr<GsmEncoder> m_encoder;
};

} // namespace exchange::web
