// SPDX-License-Identifier: GPL-3.0-or-later
// The one way for a test into the station's state and routines beyond its entry points: reads what
// the panel keeps behind its model, sets up a state that the keys would take long to reach (or one
// they cannot reach at all, a station closing down), and runs a handler on its own.
#pragma once

#include "station/station.h"

class StationProbe {
public:
    explicit StationProbe(Station& s) : m_s(s) {}
    PanelState& state() { return m_s.m_state; }
    StationSettings& settings() { return m_s.m_settings; }
    ReplyMemory& replies() { return m_s.m_replies; }
    PanelView& view() { return m_s.m_view; }
    const Composer& composer() const { return m_s.m_composer; }
    const DistressMenu& distress() const { return m_s.m_distress; }
    const dsc::ReceivedRecord& received() const { return m_s.m_rx; }
    long rx_last_count() const { return m_s.m_voice.rx_last_count(); }
    // What the keypad would have typed; a category of 0 keeps the one chosen.
    void set_entry(const QByteArray& mmsi, const QByteArray& channel, int category = 0)
    {
        m_s.m_composer.m_mmsi = mmsi;
        m_s.m_composer.m_channel = channel;
        if (category)
            m_s.m_composer.m_category = category;
    }
    // The distress alert as its data screen would have left it.
    void set_distress(int nature, const QByteArray& time, bool noInfo = false)
    {
        m_s.m_distress.m_nature = nature;
        m_s.m_distress.m_alert_time = time;
        m_s.m_distress.m_no_info = noInfo;
    }
    void set_destroying() { m_s.m_destroying = true; }

    // Handlers and routines run on their own, past the key dispatch and its locks.
    void btnTXMouseDown() { m_s.btnTXMouseDown(); }
    void reply_to_received_call() { m_s.reply_to_received_call(); }
    void mostra_tipo_ack(int choice) { m_s.mostra_tipo_ack(choice); }
    void show_individual_ack() { m_s.show_individual_ack(); }
    void select_voice_channel(Key channelKey) { m_s.select_voice_channel(channelKey); }
    void BroadcastRXDataAvailable() { m_s.BroadcastRXDataAvailable(); }
    bool send_record(const QByteArray& text) { return m_s.send_record(text); }
    void enable_tx_key() { m_s.enable_tx_key(); }
    void abilita_tasti_chiamate() { m_s.abilita_tasti_chiamate(); }
    void blocca_tasti_chiamate() { m_s.blocca_tasti_chiamate(); }
    void set_key_picture(Key k, int picture) { m_s.set_key_picture(k, picture); }
    void set_key_enabled(Key k, bool enabled) { m_s.set_key_enabled(k, enabled); }
    void set_line(int n, const QString& text, bool bold = false) { m_s.set_line(n, text, bold); }
    void Inizializza_label() { m_s.Inizializza_label(); }
    void reset_channel_key_images() { m_s.reset_channel_key_images(); }
    void show_key_hint(int kind) { m_s.show_key_hint(kind); }

private:
    Station& m_s;
};
