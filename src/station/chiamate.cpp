// SPDX-License-Identifier: GPL-3.0-or-later
// DSC TX: the TX key, the TX action with its common ending, the send procedure and the builders
// under their own names. Which call a ready screen sends is decided here; what the call is and what
// follows it is the transmission table's (dsc/transmission).
#include "station/station.h"

namespace {

// The call each ready screen sends; none for a screen without a call.
std::optional<dsc::CallKind> call_of(PanelMode mode)
{
    using dsc::CallKind;
    switch (mode) {
    case PanelMode::IndividualChannel: return CallKind::Individual;
    case PanelMode::GroupChannel: return CallKind::Group;
    case PanelMode::AllShipsRoutine: return CallKind::AllShipsRoutine;
    case PanelMode::AllShipsSafety: return CallKind::AllShipsSafety;
    case PanelMode::AllShipsUrgency: return CallKind::AllShipsUrgency;
    case PanelMode::AllShipsDistress: return CallKind::AllShipsDistress;
    case PanelMode::DistressData: return CallKind::DistressAlert;
    case PanelMode::DistressAckReady: return CallKind::DistressAck;
    case PanelMode::AckAbleReady: return CallKind::AckAble;
    case PanelMode::AckUnableReady: return CallKind::AckUnable;
    case PanelMode::PosRequestReady: return CallKind::PositionRequest;
    case PanelMode::PosReplyReady: return CallKind::PositionReply;
    default: return std::nullopt;
    }
}

enum class Sent { Out, NoNetwork, Refused };

// The send procedure: to this machine in network mode 0, broadcast in mode 1; any other mode sends
// nothing, which is no failure. Refused, with the platform's `error`, when the send fails.
Sent send_datagram(DatagramPort& port, const QByteArray& text, int networkMode, QString* error)
{
    QHostAddress to;
    bool broadcast = false;
    if (networkMode == 0) {
        to = QHostAddress(QHostAddress::LocalHost);
    } else if (networkMode == 1) {
        to = QHostAddress(QHostAddress::Broadcast);
        broadcast = true;
    } else {
        return Sent::NoNetwork;   // no network configured: nothing leaves the station
    }
    return port.send(text, to, 8090, broadcast, error) ? Sent::Out : Sent::Refused;
}

} // namespace

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
    if (const auto kind = call_of(m_state.panel_mode)) {
        const dsc::Plan plan = dsc::plan(*kind, tx_inputs());
        if (plan.refused) {
            // A channel changed with CLR into one the keypad refuses is no call: refuse and leave
            // the ready screen for a new entry.
            play_cue(cue_refuse);
            return;
        }
        if (!send_record(plan.record))
            return;   // the error has been shown; the ready screen stays for another try
        spend(plan.spent);
        play_cue(cue_tx);
        if (plan.channel) {
            select_voice_channel(channel_key(*plan.channel));
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
    switch (send_datagram(m_ports.dsc, text, m_settings.mode, &error)) {
    case Sent::Out: ++m_counters.records_sent; return true;
    case Sent::NoNetwork: return true;
    case Sent::Refused: break;
    }
    m_ports.ui.errorBox(error);
    return false;
}

// Spends what a call used up, once it has gone out.
void Station::spend(dsc::Spent spent)
{
    switch (spent) {
    case dsc::Spent::Nothing: break;
    case dsc::Spent::DistressNoInfo: m_distress.clear_no_info(); break;
    case dsc::Spent::SavedAlert: m_replies.saved_distress_alert = SavedDistressAlert{}; break;
    case dsc::Spent::AckData: m_replies.ack_mmsi.clear(); m_replies.ack_channel.clear(); break;
    case dsc::Spent::PosRequestMmsi: m_replies.pos_request_mmsi.clear(); break;
    }
}

dsc::CallInputs Station::tx_inputs() const
{
    dsc::CallInputs in;
    in.own = m_settings.own_station();
    in.entry_mmsi = m_composer.entry_mmsi();
    in.entry_channel = m_composer.entry_channel();
    in.entry_channel_valid = m_composer.channel_valid();
    in.category = m_composer.selected_category();
    in.nature = m_distress.nature();
    in.no_info = m_distress.no_info();
    in.alert_time = m_distress.alert_time();
    in.saved_alert = m_replies.saved_distress_alert;
    in.ack_mmsi = m_replies.ack_mmsi;
    in.ack_channel = m_replies.ack_channel;
    in.pos_request_mmsi = m_replies.pos_request_mmsi;
    in.position_time = m_state.position_time;
    return in;
}

QByteArray Station::utc_time_text() const
{
    return m_ports.clock.utcTimeOfDay().toString(QStringLiteral("hh:mm")).toLatin1();
}
