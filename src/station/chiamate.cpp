// DSC TX: the TX key, the TX action with its common ending, the send procedure and the builders
// under their own names. Which call a mode sends, and what follows it, is the transmission table's
// (dsc/transmission).
#include "station/station.h"

void Station::btnTXMouseDown()
{
    set_key_picture(Key::btnTX, 2);
    m_view.set_led(LED_DSC_TX);
    repaint();
    tx_action();
}

void Station::btnTXMouseUp()
{
    sleep(200);
    set_key_picture(Key::btnTX, 0);
    m_view.set_led(LED_NONE);
}

// Sends the call that `panel_mode` names, then returns the panel to idle.
void Station::tx_action()
{
    if (m_state.panel_mode == PanelMode::Idle) {
        m_ports.ui.beep();
        return;
    }
    if (const auto plan = DscTransmission::plan(m_state.panel_mode, tx_sources())) {
        if (plan->refused) {
            // A channel changed with CLR into one the keypad refuses is no call: refuse and leave
            // the ready screen for a new entry.
            play_cue(cue_refuse);
            return;
        }
        if (!send_record(plan->record))
            return;   // the error has been shown; the ready screen stays for another try
        DscTransmission::spend(m_state.panel_mode, m_distress, m_replies);
        play_cue(cue_tx);
        if (plan->channel) {
            select_voice_channel(channel_key(*plan->channel));
            repaint();
        }
    }
    end_transmission();
}

// The common ending of every transmission: back to idle after the blank LCD has shown.
void Station::end_transmission()
{
    m_state.panel_mode = PanelMode::Idle;
    disable_tx_key();
    Inizializza_label();
    clear_pending_replies();
    repaint();
    sleep(1500);
    write_idle_picture();
    abilita_tasti_chiamate();
}

bool Station::send_record(const QByteArray& text)
{
    QString error;
    switch (m_tx.send(text, m_settings.mode, &error)) {
    case DscTransmission::Sent::Out: ++m_counters.records_sent; return true;
    case DscTransmission::Sent::NoNetwork: return true;
    case DscTransmission::Sent::Refused: break;
    }
    m_ports.ui.errorBox(error);
    return false;
}

TxSources Station::tx_sources() const { return {m_settings, m_composer, m_distress, m_state, m_replies}; }

QByteArray Station::build_individual_call() const { return DscTransmission::record(PanelMode::IndividualChannel, tx_sources()); }
QByteArray Station::build_group_call() const { return DscTransmission::record(PanelMode::GroupChannel, tx_sources()); }
QByteArray Station::build_all_ships_call(int category) const { return DscTransmission::record(all_ships_mode(category), tx_sources()); }
QByteArray Station::build_distress_alert() const { return DscTransmission::record(PanelMode::DistressData, tx_sources()); }
QByteArray Station::build_distress_ack() const { return DscTransmission::record(PanelMode::DistressAckReady, tx_sources()); }
QByteArray Station::build_individual_ack(bool able) const
{
    return DscTransmission::record(able ? PanelMode::AckAbleReady : PanelMode::AckUnableReady, tx_sources());
}
QByteArray Station::build_position_request() const { return DscTransmission::record(PanelMode::PosRequestReady, tx_sources()); }
QByteArray Station::build_position_reply() const { return DscTransmission::record(PanelMode::PosReplyReady, tx_sources()); }

QByteArray Station::utc_time_text() const
{
    return m_ports.clock.utcTimeOfDay().toString(QStringLiteral("hh:mm")).toLatin1();
}
