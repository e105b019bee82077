// SPDX-License-Identifier: GPL-3.0-or-later
// Reception of DSC records and the received-call screens.
#include "dsc/reception.h"
#include "station/station.h"

namespace {

QString txt(const QByteArray& field) { return dsc::cp1252(field); }

QString all_ships_category_line(const QByteArray& c)
{
    if (c == dsc::CAT_ROUTINE) return QStringLiteral("Category = ROUTINE");
    if (c == dsc::CAT_SAFETY) return QStringLiteral("Category = SAFETY");
    if (c == dsc::CAT_URGENCY) return QStringLiteral("Category = URGENCY");
    return QStringLiteral("Category = DISTRESS");
}

// The screen of a received call that names its caller, category and channel.
void write_call_screen(PanelView& view, const QString& title, const QString& categoryLine, const QString& prompt,
                       const dsc::DscRecord& r)
{
    view.write_lines({
        {1, title},
        {3, "From     = " + txt(r.TXMMSI)},
        {5, categoryLine},
        {6, "Channel  = " + txt(r.CH)},
        {9, prompt},
    });
}

} // namespace

void Station::IdUDPServer1UDPRead(const QByteArray& datagram)
{
    m_rx.rx_text = datagram.left(255);
    Inizializza_label();
    m_view.write_lines({
        {3, QStringLiteral(" *** RECEIVING DSC DATA ***")},
        {4, QStringLiteral(" **   ON VHF CHANNEL 70  **")},
    });
    m_view.set_led(LED_DSC_RX);
    repaint();
    sleep(1500);
    m_view.set_led(LED_NONE);
    repaint();
    dsc::Decodifica_stringa(m_rx.rx_text, m_rx);
    ++m_counters.datagrams_handled;
    if (m_rx.TXMMSI == m_settings.mmsi)
        return;   // our own transmission, relayed back: the banner stays
    Mostra_Dati_ricevuti();
}

// A call for another station: back to watching channel 70; mode, key locks and pending replies stay.
void Station::received_not_for_us(bool letEventsRun)
{
    show_idle_screen();
    repaint();
    if (letEventsRun)
        m_ports.ui.processEvents();
}

void Station::received_individual_call(const dsc::DscRecord& r)
{
    m_state.panel_mode = PanelMode::ReceivedCall;
    Inizializza_label();
    clear_pending_replies();
    m_replies.pending_individual_ack = 1;
    m_replies.ack_mmsi = r.TXMMSI;
    m_replies.ack_channel = r.CH;
    blocca_tasti_chiamate();
    write_call_screen(m_view, QStringLiteral("-RECEIVED INDIVIDUAL CALL-"), "Category = " + txt(r.CATEGORY),
                      QStringLiteral("( Press ENT to ACKN or ESC )"), r);
    play_cue(cue_call_alarm);
}

// A position reply names no one to acknowledge, so the caller remembered in ack_mmsi stays.
void Station::received_position_reply(const dsc::DscRecord& r)
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("   - RECEIVED POSITION -")},
        {3, "From: " + txt(r.TXMMSI)},
        {4, QStringLiteral("Position:")},
        {5, "    LAT  =  " + txt(r.LATD) + ":" + txt(r.LATM) + " " + txt(r.NS)},
        {6, "    LON  = " + txt(r.LOND) + ":" + txt(r.LONM) + " " + txt(r.EW)},
        {7, "    TIME =  " + txt(r.TIME) + " UTC"},
        {9, QStringLiteral(" ( Press ESC to continue )")},
    });
    play_cue(cue_call_alarm);
    if (r.LATD == "--" || r.LOND == "---")
        m_view.write_lines({
            {5, QStringLiteral("    No Position Data")},
            {6, QStringLiteral("    No Time Data")},
            {7, QString()},
        });
}

void Station::received_position_request(const dsc::DscRecord& r)
{
    blocca_tasti_chiamate();
    Inizializza_label();
    clear_pending_replies();
    m_replies.pending_position_reply = 1;
    m_state.panel_mode = PanelMode::ReceivedCall;
    m_replies.pos_request_mmsi = r.TXMMSI;
    m_view.write_lines({
        {1, QStringLiteral(" - RECEIVED POSITION REQUEST -")},
        {4, " From: " + txt(r.TXMMSI)},
        {9, QStringLiteral("( Press ENT to ACKN or ESC )")},
    });
    play_cue(cue_call_alarm);
}

void Station::received_group_call(const dsc::DscRecord& r)
{
    Inizializza_label();
    write_call_screen(m_view, QStringLiteral(" - RECEIVED GROUP CALL -"), "Category = " + txt(r.CATEGORY),
                      QStringLiteral("( Press ESC to continue )"), r);
    play_cue(cue_call_alarm);
}

void Station::received_all_ships_call(const dsc::DscRecord& r)
{
    Inizializza_label();
    write_call_screen(m_view, QStringLiteral("-RECEIVED ALLSHIPS CALL-"), all_ships_category_line(r.CATEGORY),
                      QStringLiteral("( Press ESC to continue )"), r);
    play_cue(cue_call_alarm);
}

// Every station shows a distress alert and listens on channel 16.
void Station::received_distress_alert(const dsc::DscRecord& r)
{
    Inizializza_label();
    clear_pending_replies();
    m_replies.pending_distress_ack = 1;
    select_voice_channel(Key::imgCH16);
    m_state.panel_mode = PanelMode::ReceivedCall;
    m_replies.saved_distress_alert = {r.TXMMSI, r.DANGER, r.TIME, r.LATD, r.LATM, r.NS, r.LOND, r.LONM, r.EW};
    blocca_tasti_chiamate();
    m_view.write_lines({
        {1, QStringLiteral(" # RECEIVED DISTRESS ALERT #")},
        {3, "From     = " + txt(r.TXMMSI)},
        {4, "Distress = " + dsc::nature_name(dsc::leading_number(r.DANGER))},
        {6, "TIME:  UTC: " + txt(r.TIME)},
        {7, "POS.:  Lat:  " + txt(r.LATD) + QStringLiteral("\u00BA:") + txt(r.LATM) + "'" + txt(r.NS)},
        {8, "       Lon: " + txt(r.LOND) + QStringLiteral("\u00BA:") + txt(r.LONM) + "'" + txt(r.EW)},
        {9, QStringLiteral("( Press ENT to ACKN or ESC )")},
    });
    if (r.TIME == "--:--")
        m_view.write_lines({
            {6, QStringLiteral(" ! No Time data")},
            {7, QStringLiteral(" ! No Position data")},
            {8, QString()},
        });
    repaint();
}

void Station::received_distress_ack(const dsc::DscRecord& r)
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("-RECEIVED DISTRESS ACK -")},
        {3, "From          = " + txt(r.TXMMSI)},
        {4, QStringLiteral("Distressed ID = ")},
        {5, QStringLiteral("            ") + txt(r.RXMMSI)},
    });
}

// An acknowledgement with a COMPLY other than Y or N leaves the LCD empty.
void Station::received_individual_ack(const dsc::DscRecord& r)
{
    Inizializza_label();
    if (r.COMPLY == "Y" || r.COMPLY == "N")
        m_view.write_lines({
            {1, QStringLiteral("-RECEIVED INDIVIDUAL ACK-")},
            {3, "From    = " + txt(r.TXMMSI)},
            {4, "Channel = " + txt(r.CH)},
            {6, r.COMPLY == "Y" ? QStringLiteral("   ABLE TO COMPLY") : QStringLiteral("   UNABLE TO COMPLY")},
            {9, QStringLiteral("( Press ESC to continue )")},
        });
}

void Station::Mostra_Dati_ricevuti()
{
    show_received(dsc::classify(m_rx, m_settings.mmsi, m_settings.group), m_rx);
}

void Station::show_received(dsc::ReceivedScreen screen, const dsc::DscRecord& r)
{
    using dsc::ReceivedScreen;
    switch (screen) {
    case ReceivedScreen::None: break;
    case ReceivedScreen::NotForUs: received_not_for_us(true); break;
    case ReceivedScreen::NotForUsQuiet: received_not_for_us(false); break;
    case ReceivedScreen::IndividualCall: received_individual_call(r); break;
    case ReceivedScreen::PositionReply: received_position_reply(r); break;
    case ReceivedScreen::PositionRequest: received_position_request(r); break;
    case ReceivedScreen::GroupCall: received_group_call(r); break;
    case ReceivedScreen::AllShipsCall: received_all_ships_call(r); break;
    case ReceivedScreen::DistressAlert: received_distress_alert(r); break;
    case ReceivedScreen::DistressAck: received_distress_ack(r); break;
    case ReceivedScreen::IndividualAck: received_individual_ack(r); break;
    }
}
