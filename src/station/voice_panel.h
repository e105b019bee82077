// SPDX-License-Identifier: GPL-3.0-or-later
// The voice panel: push-to-talk, the quick channel keys and the receive indication, over the
// voice chains. It draws its own keys and lamp on the panel view and pauses through the window
// as the handlers do; the DSC side of the panel is none of its business.
#pragma once

#include "panel/panel_view.h"
#include "station/ports.h"

class VoicePanel {
public:
    VoicePanel(PanelView& view, UiPort& ui, VoicePort& voice, TimerPort& rxTimer)
        : m_view(view), m_ui(ui), m_voice(voice), m_rxTimer(rxTimer)
    {
    }

    static Key channel_key(int channel);   // 9, 16, 23, 77, 84 to their key, anything else imgCH16
    static int key_channel(Key channelKey);

    // Push-to-talk pressed: on the air (capture open, receiver closed), or with Alt the message
    // player, whose closing stands for the release. A press while on the air already (the mouse
    // and the keyboard together) changes nothing; with Alt it takes the station off the air first.
    void press_to_talk(bool alt);
    // Push-to-talk released: back to listening. Nothing when not on the air (the player's closing
    // did it already, or another release came first).
    void release_to_talk();
    bool talking() const { return m_talking; }
    // Listens on `channelKey`'s channel and sends on it (duplex channels 100 ports higher).
    void select_channel(Key channelKey, int basePort);
    int current_channel(int basePort) const { return m_voice.receiverPort() - basePort; }
    // A voice datagram arrived; true when it starts a receive indication.
    bool data_available();
    // The receive indication's timer: the indication ends once no datagram came during a period.
    void rx_timer();
    long rx_last_count() const { return m_rx_last_count; }

private:
    void listen();   // the key idle, the microphone closed, the receiver open again

    PanelView& m_view;
    UiPort& m_ui;
    VoicePort& m_voice;
    TimerPort& m_rxTimer;
    long m_rx_last_count = 0;
    bool m_talking = false;   // the microphone is on the air
};
