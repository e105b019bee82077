// Acknowledgements and replies to received calls.
#include "panel/screen.h"

namespace {

QString txt(const QByteArray& field) { return dsc::cp1252(field); }

// The working channels an acknowledgement can name are those of the channel keys; any other
// receiver port names 16.
QByteArray working_channel_text(int channel)
{
    return QByteArray::number(Station::key_channel(Station::channel_key(channel)));
}

} // namespace

void Station::reply_to_received_call()
{
    if (state.pending_position_reply) {
        state.pending_position_reply = 0;
        state.alert_time = utc_time_text();
        Inizializza_label();
        state.panel_mode = PanelMode::PosReplyReady;
        const StationSettings& s = settings;
        write_lines(*this, {
            {1, QStringLiteral("  - SEND YOUR POSITION -")},
            {3, "To MMSI  = " + txt(pos_request_mmsi)},
            {5, QStringLiteral("Simulated Position =")},
            {6, txt(s.gps_lat) + QStringLiteral("\u00B028\u00B4") + txt(s.gps_ns) + " / " + txt(s.gps_lon) + QStringLiteral("\u00B015\u00B4")
                    + txt(s.gps_EW)},
            {7, "Time = " + txt(state.alert_time) + " UTC"},
            {9, QStringLiteral("( Press <DSC TX> to send! )")},
        });
        enable_tx_key();
    } else if (state.pending_distress_ack) {
        Inizializza_label();
        const int nature = dsc::leading_number(saved_distress_alert.DANGER);
        state.panel_mode = PanelMode::DistressAckReady;
        write_lines(*this, {
            {1, QStringLiteral(" # DISTRESS ALERT ACK #")},
            {3, "To MMSI  = " + txt(saved_distress_alert.mmsi)},
            {4, "Distress = " + dsc::nature_name(nature)},
            {9, QStringLiteral("( Press <DSC TX> to send! )")},
        });
        enable_tx_key();
    } else if (state.pending_individual_ack) {
        Inizializza_label();
        state.panel_mode = PanelMode::ComplySelector;
        set_key_enabled(Key::imgUP, true);
        set_key_enabled(Key::imgDW, true);
        state.menu_index = 1;
        mostra_tipo_ack(1);
    }
}

void Station::mostra_tipo_ack(int choice)
{
    if (choice != 1 && choice != 2)
        return;
    Inizializza_label();
    write_lines(*this, {
        {1, QStringLiteral("   - SELECT A COMPLY - ")},
        {3, choice == 1 ? QStringLiteral("> ABLE") : QStringLiteral("  ABLE"), choice == 1},
        {4, choice == 2 ? QStringLiteral("> UNABLE") : QStringLiteral("  UNABLE"), choice == 2},
        {9, QStringLiteral("( Press ENT to continue )")},
    });
}

void Station::show_individual_ack()
{
    Inizializza_label();
    write_lines(*this, {
        {1, QStringLiteral(" -INDIVIDUAL CALL ACK-")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QStringLiteral("INDIVIDUAL CALL ACK")},
        {6, "to MMSI = " + txt(ack_mmsi)},
    });
    set_key_enabled(Key::imgUP, false);
    set_key_enabled(Key::imgDW, false);
    // The answer always names the channel this station listens on, not the one the caller proposed.
    state.ack_channel = working_channel_text(current_voice_channel());
    if (state.menu_index == 1) {
        state.panel_mode = PanelMode::AckAbleReady;
        write_lines(*this, {
            {7, "Channel = " + txt(state.ack_channel)},
            {8, QStringLiteral("ABLE TO COMPLY")},
        });
    } else if (state.menu_index == 2) {
        state.panel_mode = PanelMode::AckUnableReady;
        write_lines(*this, {
            {8, QStringLiteral("UNABLE TO COMPLY")},
        });
    }
    m_ports.ui.processEvents();
    enable_tx_key();
}
