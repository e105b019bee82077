// Push-to-talk, the channel keys and the receive indication.
#include "station/station.h"

// With Alt held the key opens the message player (modal: it returns when the player has closed).
// The player's closing is the key's release: with a real mouse the release happens while the
// player is up and never reaches the station, which would stay "transmitting". So the release
// steps run as the player closes, and a release that still follows is taken as done.
void Station::btnAudioMouseDown(Mods mods)
{
    m_ptt_released_by_player = false;
    set_key_picture(Key::btnAudio, 5);
    if (mods.alt) {
        m_ports.ui.openPlayer();
        btnAudioMouseUp();
        m_ptt_released_by_player = true;
        return;
    }
    m_view.set_led(LED_VOICE_TX);
    repaint();
    m_ports.voice.closeReceiver();
    sleep(200);
    m_view.set_debug1(m_ports.voice.openCapture() ? QStringLiteral("waveIn1 aperto")
                                                   : QStringLiteral("Errore apertura waveIN1"));
}

void Station::btnAudioMouseUp()
{
    if (m_ptt_released_by_player) {
        m_ptt_released_by_player = false;
        return;
    }
    set_key_picture(Key::btnAudio, 4);
    m_view.set_led(LED_NONE);
    repaint();
    m_ports.voice.closeCapture();
    sleep(200);
    m_view.set_debug1(m_ports.voice.openReceiver() ? QStringLiteral("RX aperto")
                                                    : QStringLiteral("Errore apertura RX"));
}

void Station::imgCH16MouseDown(Key k) { select_voice_channel(k); }

void Station::select_voice_channel(Key channelKey)
{
    const int c = key_channel(channelKey);
    reset_channel_key_images();
    m_view.mark_channel_key(c);
    m_ports.voice.closeReceiver();
    m_ports.voice.closeSender();
    const int duplex = (c == 23 || c == 84) ? 100 : 0;   // duplex channels send 100 ports higher
    m_ports.voice.setReceiverPort(QString::number(m_settings.base_port + c));
    m_ports.voice.setSenderPort(QString::number(m_settings.base_port + c + duplex));
    sleep(200);
    m_view.set_debug1(m_ports.voice.openReceiver() ? QStringLiteral("RX aperta ") + QString::number(c)
                                                        : QStringLiteral("errore apertura RX"));
}

void Station::BroadcastRXDataAvailable()
{
    m_view.set_debug2(QString::number(m_ports.voice.receiverCount()));
    if (!m_ports.rxTimer.running()) {
        ++m_counters.voices_heard;
        m_ports.rxTimer.start(200);
        set_key_picture(Key::btnAudio, 3);
        set_key_enabled(Key::btnAudio, false);
        m_view.set_led(LED_VOICE_RX);
    }
    repaint();
}

void Station::RXTimerTimer()
{
    if (m_destroying)
        return;
    const long n = m_ports.voice.receiverCount();
    m_view.set_led(LED_VOICE_RX);
    if (n > m_rx_last_count) {
        m_rx_last_count = n;   // a voice is still arriving
        return;
    }
    m_ports.voice.closeReceiver();
    m_view.set_led(LED_NONE);
    set_key_picture(Key::btnAudio, 4);
    set_key_enabled(Key::btnAudio, true);
    m_rx_last_count = 0;
    m_ports.rxTimer.stop();
    m_ports.voice.openReceiver();
    repaint();
}
int Station::current_voice_channel() const { return m_ports.voice.receiverPort() - m_settings.base_port; }
Key Station::channel_key(int channel)
{
    for (const ChannelKey& c : kChannelKeys)
        if (c.channel == channel)
            return c.key;
    return Key::imgCH16;
}
int Station::key_channel(Key k)
{
    for (const ChannelKey& c : kChannelKeys)
        if (c.key == k)
            return c.channel;
    return 16;
}
