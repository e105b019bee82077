// SPDX-License-Identifier: GPL-3.0-or-later
// The voice sockets of one transmission (a partner's phrase, a web station's push-to-talk): one
// station's sender per destination, each with its state (a fresh announcement, epoch and sequence
// at every open), on a channel's port.
#pragma once

#include "audio/broadcast_tx.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace exchange {

class VoiceSenders : public Stage {
public:
    VoiceSenders(const std::vector<std::uint32_t>& destinations, int port)
    {
        for (std::uint32_t d : destinations) {
            m_tx.push_back(std::make_unique<BroadcastTX>(d));
            m_tx.back()->setPort(QString::number(port));
        }
    }
    bool active() const override
    {
        for (const auto& tx : m_tx)
            if (tx->active())
                return true;
        return false;
    }
    void write(const AudioFormat& format, const char* data, qsizetype size) override
    {
        for (const auto& tx : m_tx)
            tx->write(format, data, size);
    }

protected:
    bool doOpen() override
    {
        bool any = false;
        for (const auto& tx : m_tx)
            any = tx->open() || any;
        return any;
    }
    void doClose() override
    {
        for (const auto& tx : m_tx)
            tx->close();
    }

private:
    std::vector<std::unique_ptr<BroadcastTX>> m_tx;
};

} // namespace exchange
