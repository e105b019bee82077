// Push-to-talk, the channel keys and the receive indication.
#include "station/station.h"

void Station::btnAudioMouseDown(Mods) {}
void Station::btnAudioMouseUp() {}
void Station::imgCH16MouseDown(Key k) { select_voice_channel(k); }
// Provisional channel selection so that the DSC flows can be exercised; the voice channel unit
// replaces it.
void Station::select_voice_channel(Key k)
{
    reset_channel_key_images();
    m_ports.voice.closeReceiver(3000);
    m_ports.voice.closeSender();
    m_ports.voice.setReceiverPort(QString::number(settings.base_port + key_channel(k)));
    sleep(200);
    m_ports.voice.openReceiver(3000);
}
void Station::BroadcastRXDataAvailable() {}
void Station::RXTimerTimer() {}
int Station::current_voice_channel() const { return m_ports.voice.receiverPort() - settings.base_port; }
Key Station::channel_key(int channel)
{
    switch (channel) {
    case 9: return Key::imgCH9;
    case 23: return Key::imgCH23;
    case 77: return Key::imgCH77;
    case 84: return Key::imgCH84;
    default: return Key::imgCH16;
    }
}
int Station::key_channel(Key k)
{
    switch (k) {
    case Key::imgCH9: return 9;
    case Key::imgCH23: return 23;
    case Key::imgCH77: return 77;
    case Key::imgCH84: return 84;
    default: return 16;
    }
}
