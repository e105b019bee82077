// SPDX-License-Identifier: GPL-3.0-or-later
// The network stages of the voice chains as the station wires them: `tx` sends on the voice
// ports, `rx` listens on them. Both must outlive the chains made with the result.
#pragma once

#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/voice_chains.h"

inline VoiceNet voice_net(BroadcastTX& tx, BroadcastRX& rx)
{
    return VoiceNet{&tx,
                    &rx,
                    [&tx](const QString& p) { tx.setPort(p); },
                    [&rx](const QString& p) { rx.setPort(p); },
                    [&rx] { return rx.port(); },
                    [&rx] { return rx.count(); },
                    [&rx](std::function<void()> f) { rx.setPayloadCallback(std::move(f)); }};
}
