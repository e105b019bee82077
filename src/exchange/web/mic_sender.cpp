// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/web/mic_sender.h"

#include "audio/gsm_codec.h"
#include "exchange/voice_senders.h"
#include "exchange/web/page_message.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace exchange::web {

std::size_t BacklogTrim::afterStep(std::size_t queued)
{
    m_least = std::min(m_least, queued);
    if (++m_steps < kWindowSteps)
        return 0;
    const std::size_t surplus = m_least > kMarginSamples ? m_least - kMarginSamples : 0;
    restart();
    return surplus;
}

void BacklogTrim::restart()
{
    m_least = SIZE_MAX;
    m_steps = 0;
}

MicSender::MicSender(std::vector<std::uint32_t> destinations) : m_destinations(std::move(destinations)) {}

MicSender::~MicSender()
{
    close();
}

bool MicSender::open(int port)
{
    close();
    m_senders = std::make_unique<VoiceSenders>(m_destinations, port);
    m_encoder = std::make_unique<GsmEncoder>();
    m_encoder->link(m_senders.get());
    if (!m_encoder->open()) {
        m_encoder.reset();
        m_senders.reset();
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
        m_stop = false;
        m_onAir = true;
    }
    m_thread = std::thread([this] { pace(); });
    return true;
}

void MicSender::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_onAir = false;
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_encoder)
        m_encoder->close();
    m_encoder.reset();
    m_senders.reset();
}

void MicSender::write(const QByteArray& pcm)
{
    std::lock_guard lock(m_mutex);
    if (!m_onAir)
        return;
    const auto* samples = reinterpret_cast<const std::int16_t*>(pcm.constData());
    m_queue.insert(m_queue.end(), samples, samples + pcm.size() / 2);
    if (m_queue.size() > std::size_t(kMaxQueued))
        m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(m_queue.size() - kMaxQueued));
}

void MicSender::pace()
{
    using Clock = std::chrono::steady_clock;
    const AudioFormat format{WAVE_FORMAT_PCM, kMicRate, 16, 1};
    std::vector<std::int16_t> step;
    bool flowing = false;   // a run has started: steps follow each other until the queue runs dry
    BacklogTrim trim;
    auto next = Clock::now();
    for (;;) {
        next += std::chrono::milliseconds(20);
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_until(lock, next, [this] { return m_stop; }))
                return;
            if (!flowing && m_queue.size() < std::size_t(kStartSamples))
                continue;
            const std::size_t n = std::min(m_queue.size(), std::size_t(kStepSamples));
            if (!flowing || n == 0)
                trim.restart();
            flowing = n > 0;
            step.assign(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(n));
            m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(n));
            if (flowing) {
                const std::size_t surplus = trim.afterStep(m_queue.size());
                m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(surplus));
            }
        }
        if (!step.empty())
            m_encoder->write(format, reinterpret_cast<const char*>(step.data()), qsizetype(step.size() * 2));
    }
}

} // namespace exchange::web
