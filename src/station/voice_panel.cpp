// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/voice_panel.h"

Key VoicePanel::channel_key(int channel)
{
    for (const ChannelKey& c : kChannelKeys)
        if (c.channel == channel)
            return c.key;
    return Key::imgCH16;
}

int VoicePanel::key_channel(Key k)
{
    for (const ChannelKey& c : kChannelKeys)
        if (c.key == k)
            return c.channel;
    return 16;
}

// With Alt held the key opens the message player (modal: it returns when the player has closed).
// The player's closing is the key's release: with a real mouse the release happens while the
// player is up and never reaches the station, which would stay "transmitting". So the release
// steps run as the player closes, and a release that still follows finds nothing on the air.
void VoicePanel::press_to_talk(bool alt)
{
    if (alt) {
        if (m_talking) {
            m_talking = false;
            listen();
        }
        m_view.set_key_picture(Key::btnAudio, 5);
        m_ui.openPlayer();
        listen();
        return;
    }
    if (m_talking)
        return;
    m_talking = true;
    m_view.set_key_picture(Key::btnAudio, 5);
    m_view.set_led(LED_VOICE_TX);
    m_ui.repaint();
    m_voice.closeReceiver();
    m_ui.sleep(200);
    m_view.set_debug1(m_voice.openCapture() ? QStringLiteral("waveIn1 aperto") : QStringLiteral("Errore apertura waveIN1"));
}

void VoicePanel::release_to_talk()
{
    if (!m_talking)
        return;
    m_talking = false;
    listen();
}

void VoicePanel::listen()
{
    m_view.set_key_picture(Key::btnAudio, 4);
    m_view.set_led(LED_NONE);
    m_ui.repaint();
    m_voice.closeCapture();
    m_ui.sleep(200);
    m_view.set_debug1(m_voice.openReceiver() ? QStringLiteral("RX aperto") : QStringLiteral("Errore apertura RX"));
}

void VoicePanel::select_channel(Key channelKey, int basePort)
{
    const int c = key_channel(channelKey);
    m_view.reset_channel_keys();
    m_view.mark_channel_key(c);
    m_voice.closeReceiver();
    m_voice.closeSender();
    const int duplex = (c == 23 || c == 84) ? 100 : 0;   // duplex channels send 100 ports higher
    m_voice.setReceiverPort(QString::number(basePort + c));
    m_voice.setSenderPort(QString::number(basePort + c + duplex));
    m_ui.sleep(200);
    m_view.set_debug1(m_voice.openReceiver() ? QStringLiteral("RX aperta ") + QString::number(c)
                                             : QStringLiteral("errore apertura RX"));
}

bool VoicePanel::data_available()
{
    m_view.set_debug2(QString::number(m_voice.receiverCount()));
    const bool starts = !m_rxTimer.running();
    if (starts) {
        m_rxTimer.start(200);
        m_view.set_key_picture(Key::btnAudio, 3);
        m_view.set_key_enabled(Key::btnAudio, false);
        m_view.set_led(LED_VOICE_RX);
    }
    m_ui.repaint();
    return starts;
}

void VoicePanel::rx_timer()
{
    const long n = m_voice.receiverCount();
    m_view.set_led(LED_VOICE_RX);
    if (n > m_rx_last_count) {
        m_rx_last_count = n;   // a voice is still arriving
        return;
    }
    m_voice.closeReceiver();
    m_view.set_led(LED_NONE);
    m_view.set_key_picture(Key::btnAudio, 4);
    m_view.set_key_enabled(Key::btnAudio, true);
    m_rx_last_count = 0;
    m_rxTimer.stop();
    m_voice.openReceiver();
    m_ui.repaint();
}
