// SPDX-License-Identifier: GPL-3.0-or-later
// Push-to-talk, the channel keys and the receive indication, under their own names; the voice
// panel (station/voice_panel) holds what they do.
#include "station/station.h"

void Station::btnAudioMouseDown(Mods mods) { m_voice.press_to_talk(mods.alt); }

void Station::btnAudioMouseUp() { m_voice.release_to_talk(); }

void Station::imgCH16MouseDown(Key k) { select_voice_channel(k); }

void Station::select_voice_channel(Key channelKey) { m_voice.select_channel(channelKey, m_settings.base_port); }

void Station::BroadcastRXDataAvailable()
{
    if (m_voice.data_available())
        ++m_counters.voices_heard;
}

void Station::RXTimerTimer()
{
    if (!m_destroying)
        m_voice.rx_timer();
}

int Station::current_voice_channel() const { return m_voice.current_channel(m_settings.base_port); }

Key Station::channel_key(int channel) { return VoicePanel::channel_key(channel); }
