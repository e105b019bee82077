#include "exchange/web/mic_sender.h"

#include "audio/gsm_codec.h"
#include "exchange/voice_senders.h"
#include "exchange/web/page_message.h"

namespace exchange::web {

MicSender::MicSender(std::vector<std::uint32_t> destinations) : m_destinations(std::move(destinations)) {}

MicSender::~MicSender()
{
    close();
}

bool MicSender::open(int port)
{
    std::lock_guard lock(m_mutex);
    if (m_encoder)
        m_encoder->close();
    m_senders = std::make_unique<VoiceSenders>(m_destinations, port);
    m_encoder = std::make_unique<GsmEncoder>();
    m_encoder->link(m_senders.get());
    if (!m_encoder->open()) {
        m_encoder.reset();
        m_senders.reset();
        return false;
    }
    return true;
}

void MicSender::close()
{
    std::lock_guard lock(m_mutex);
    if (m_encoder)
        m_encoder->close();
    m_encoder.reset();
    m_senders.reset();
}

void MicSender::write(const QByteArray& pcm)
{
    std::lock_guard lock(m_mutex);
    if (m_encoder)
        m_encoder->write(AudioFormat{WAVE_FORMAT_PCM, kMicRate, 16, 1}, pcm.constData(), pcm.size());
}

} // namespace exchange::web
