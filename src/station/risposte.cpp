// SPDX-License-Identifier: GPL-3.0-or-later
// Acknowledgements and replies to received calls.
#include "station/station.h"

namespace {

QString txt(const QByteArray& field) { return dsc::cp1252(field); }

// The working channels an acknowledgement can name are those of the channel keys; any other
// receiver port names 16.
QByteArray working_channel_text(int channel)
{
    return QByteArray::number(VoicePanel::key_channel(VoicePanel::channel_key(channel)));
}

} // namespace

void Station::reply_to_received_call()
{
    if (m_replies.pending_position_reply) {
        m_replies.pending_position_reply = 0;
        m_state.position_time = utc_time_text();
        Inizializza_label();
        m_state.panel_mode = PanelMode::PosReplyReady;
        const StationSettings& s = m_settings;
        m_view.write_lines({
            {1, QStringLiteral("  - SEND YOUR POSITION -")},
            {3, "To MMSI  = " + txt(m_replies.pos_request_mmsi)},
            {5, QStringLiteral("Simulated Position =")},
            {6, txt(s.gps_lat) + QStringLiteral("\u00B028\u00B4") + txt(s.gps_ns) + " / " + txt(s.gps_lon) + QStringLiteral("\u00B015\u00B4")
                    + txt(s.gps_EW)},
            {7, "Time = " + txt(m_state.position_time) + " UTC"},
            {9, QStringLiteral("( Press <DSC TX> to send! )")},
        });
        enable_tx_key();
    } else if (m_replies.pending_distress_ack) {
        Inizializza_label();
        const int nature = dsc::leading_number(m_replies.saved_distress_alert.DANGER);
        m_state.panel_mode = PanelMode::DistressAckReady;
        m_view.write_lines({
            {1, QStringLiteral(" # DISTRESS ALERT ACK #")},
            {3, "To MMSI  = " + txt(m_replies.saved_distress_alert.mmsi)},
            {4, "Distress = " + dsc::nature_name(nature)},
            {9, QStringLiteral("( Press <DSC TX> to send! )")},
        });
        enable_tx_key();
    } else if (m_replies.pending_individual_ack) {
        Inizializza_label();
        m_state.panel_mode = PanelMode::ComplySelector;
        set_key_enabled(Key::imgUP, true);
        set_key_enabled(Key::imgDW, true);
        m_state.comply_choice = 1;
        mostra_tipo_ack(1);
    }
}

void Station::mostra_tipo_ack(int choice)
{
    if (choice != 1 && choice != 2)
        return;
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("   - SELECT A COMPLY - ")},
        {3, choice == 1 ? QStringLiteral("> ABLE") : QStringLiteral("  ABLE"), choice == 1},
        {4, choice == 2 ? QStringLiteral("> UNABLE") : QStringLiteral("  UNABLE"), choice == 2},
        {9, QStringLiteral("( Press ENT to continue )")},
    });
}

void Station::show_individual_ack()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral(" -INDIVIDUAL CALL ACK-")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QStringLiteral("INDIVIDUAL CALL ACK")},
        {6, "to MMSI = " + txt(m_replies.ack_mmsi)},
    });
    set_key_enabled(Key::imgUP, false);
    set_key_enabled(Key::imgDW, false);
    // The answer always names the channel this station listens on, not the one the caller proposed.
    m_replies.ack_channel = working_channel_text(current_voice_channel());
    if (m_state.comply_choice == 1) {
        m_state.panel_mode = PanelMode::AckAbleReady;
        m_view.write_lines({
            {7, "Channel = " + txt(m_replies.ack_channel)},
            {8, QStringLiteral("ABLE TO COMPLY")},
        });
    } else if (m_state.comply_choice == 2) {
        m_state.panel_mode = PanelMode::AckUnableReady;
        m_view.write_lines({
            {8, QStringLiteral("UNABLE TO COMPLY")},
        });
    }
    m_ports.ui.processEvents();
    enable_tx_key();
}
