// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/voice_chains.h"

#include <QMetaObject>

VoiceChains::VoiceChains(VoiceNet net, QObject* uiContext, const QString& soundServer)
    : m_net(std::move(net)), m_ui(uiContext), m_waveIn(soundServer)
{
    m_waveIn.link(&m_codecTX);
    m_codecTX.link(m_net.sender);
    if (m_net.receiver)
        m_net.receiver->link(&m_codecRX);
    m_codecRX.link(&m_resamplerRX);
    m_resamplerRX.link(&m_waveOut1);
    m_resampler2.link(&m_waveOut2);
    if (m_net.setPayloadCallback) {
        // Raised on the receive thread: only hop to the UI thread there, never touch the panel.
        m_net.setPayloadCallback([this] {
            const unsigned opening = m_opening.load();
            if (QObject* ui = m_ui.data())
                QMetaObject::invokeMethod(
                    ui,
                    [this, opening] {
                        if (m_handler && opening == m_opening.load())
                            m_handler();
                    },
                    Qt::QueuedConnection);
        });
    }
}

VoiceChains::~VoiceChains()
{
    if (m_net.setPayloadCallback)
        m_net.setPayloadCallback({});
    closeCapture();
    closeReceiver();
}

bool VoiceChains::openReceiver()
{
    if (!m_net.receiver)
        return false;
    // The receiver's activity alone counts: no loudspeaker must not silence the indication.
    return m_net.receiver->open();
}

void VoiceChains::closeReceiver()
{
    if (m_net.receiver)
        m_net.receiver->close();   // the receive thread has ended: nothing more is raised
    ++m_opening;
}

bool VoiceChains::receiverActive() const { return m_net.receiver && m_net.receiver->active(); }

void VoiceChains::setReceiverPort(const QString& port)
{
    if (m_net.setReceiverPort)
        m_net.setReceiverPort(port);
}

int VoiceChains::receiverPort() const { return m_net.receiverPort ? m_net.receiverPort() : 0; }
long VoiceChains::receiverCount() const { return m_net.receiverCount ? m_net.receiverCount() : 0; }

void VoiceChains::setSenderPort(const QString& port)
{
    if (m_net.setSenderPort)
        m_net.setSenderPort(port);
}

void VoiceChains::closeSender()
{
    if (m_net.sender)
        m_net.sender->close();
}

bool VoiceChains::openCapture() { return m_waveIn.open(); }
void VoiceChains::closeCapture() { m_waveIn.close(); }

void VoiceChains::setDataAvailableHandler(std::function<void()> handler) { m_handler = std::move(handler); }
