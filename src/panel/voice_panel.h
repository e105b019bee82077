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
    // player, whose closing stands for the release.
    void press_to_talk(bool alt);
    // Push-to-talk released: back to listening. Nothing when the player's closing did it already.
    void release_to_talk();
    // Listens on `channelKey`'s channel and sends on it (duplex channels 100 ports higher).
    void select_channel(Key channelKey, int basePort);
    int current_channel(int basePort) const { return m_voice.receiverPort() - basePort; }
    // A voice datagram arrived; true when it starts a receive indication.
    bool data_available();
    // The receive indication's timer: the indication ends once no datagram came during a period.
    void rx_timer();
    long rx_last_count() const { return m_rx_last_count; }

private:
    PanelView& m_view;
    UiPort& m_ui;
    VoicePort& m_voice;
    TimerPort& m_rxTimer;
    long m_rx_last_count = 0;
    // The message player's closing ran push-to-talk's release; the key's own release, if it still
    // comes, has nothing left to do. Cleared by the next press.
    bool m_ptt_released_by_player = false;
};
