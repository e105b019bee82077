// Reception of DSC records and the received-call screens.
#include "station/station.h"

#include <initializer_list>

namespace {

struct RxLine {
    int line;
    QString text;
};

void write_lines(Station& s, std::initializer_list<RxLine> lines)
{
    for (const RxLine& l : lines)
        s.set_line(l.line, l.text);
}

QString txt(const QByteArray& field) { return dsc::cp1252(field); }

bool is_all_ships_category(const QByteArray& c)
{
    return c == dsc::CAT_ROUTINE || c == dsc::CAT_SAFETY || c == dsc::CAT_URGENCY || c == dsc::CAT_DISTRESS;
}

QString all_ships_category_line(const QByteArray& c)
{
    if (c == dsc::CAT_ROUTINE) return QStringLiteral("Category = ROUTINE");
    if (c == dsc::CAT_SAFETY) return QStringLiteral("Category = SAFETY");
    if (c == dsc::CAT_URGENCY) return QStringLiteral("Category = URGENCY");
    return QStringLiteral("Category = DISTRESS");
}

} // namespace

void Station::IdUDPServer1UDPRead(const QByteArray& datagram)
{
    rx.rx_text = datagram.left(255);
    Inizializza_label();
    write_lines(*this, {
        {3, QStringLiteral(" *** RECEIVING DSC DATA ***")},
        {4, QStringLiteral(" **   ON VHF CHANNEL 70  **")},
    });
    panel.led = LED_DSC_RX;
    repaint();
    sleep(1500);
    panel.led = LED_NONE;
    repaint();
    dsc::Decodifica_stringa(rx.rx_text, rx);
    ++datagrams_handled;
    if (rx.TXMMSI == settings.mmsi)
        return;   // our own transmission, relayed back: the banner stays
    Mostra_Dati_ricevuti();
}

void Station::Mostra_Dati_ricevuti()
{
    const dsc::ReceivedRecord& r = rx;
    // A call for another station: back to watching channel 70, nothing else changes.
    auto not_for_us = [this](bool letEventsRun) {
        show_idle_screen();
        repaint();
        if (letEventsRun)
            m_ports.ui.processEvents();
    };

    // 1. Individual call.
    if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY != dsc::CAT_ROUT_ACK && r.CATEGORY != dsc::CAT_POS_ACK
        && r.CATEGORY != dsc::CAT_POS_REQ) {
        if (r.RXMMSI == settings.mmsi) {
            state.panel_mode = 100;
            Inizializza_label();
            clear_pending_replies();
            state.pending_individual_ack = 1;
            ack_mmsi = r.TXMMSI;
            state.ack_channel = r.CH;
            blocca_tasti_chiamate();
            write_lines(*this, {
                {1, QStringLiteral("-RECEIVED INDIVIDUAL CALL-")},
                {3, "From     = " + txt(r.TXMMSI)},
                {5, "Category = " + txt(r.CATEGORY)},
                {6, "Channel  = " + txt(r.CH)},
                {9, QStringLiteral("( Press ENT to ACKN or ESC )")},
            });
            play_cue(cue_call_alarm);
        } else {
            not_for_us(true);
        }
    }

    // 2. Position reply. It names no one to acknowledge, so the caller remembered in ack_mmsi stays.
    if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_POS_ACK) {
        if (r.RXMMSI != settings.mmsi) {
            not_for_us(true);
            return;
        }
        Inizializza_label();
        write_lines(*this, {
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
            write_lines(*this, {
                {5, QStringLiteral("    No Position Data")},
                {6, QStringLiteral("    No Time Data")},
                {7, QString()},
            });
        return;
    }

    // 3. Position request.
    if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_POS_REQ) {
        if (r.RXMMSI != settings.mmsi) {
            not_for_us(false);
            return;
        }
        blocca_tasti_chiamate();
        Inizializza_label();
        clear_pending_replies();
        state.pending_position_reply = 1;
        state.panel_mode = 100;
        pos_request_mmsi = r.TXMMSI;
        write_lines(*this, {
            {1, QStringLiteral(" - RECEIVED POSITION REQUEST -")},
            {4, " From: " + txt(r.TXMMSI)},
            {9, QStringLiteral("( Press ENT to ACKN or ESC )")},
        });
        play_cue(cue_call_alarm);
        return;
    }

    // 4. Group call.
    if (r.CALL == dsc::CALL_GROUP) {
        if (r.RXMMSI == settings.group) {
            Inizializza_label();
            write_lines(*this, {
                {1, QStringLiteral(" - RECEIVED GROUP CALL -")},
                {3, "From     = " + txt(r.TXMMSI)},
                {5, "Category = " + txt(r.CATEGORY)},
                {6, "Channel  = " + txt(r.CH)},
                {9, QStringLiteral("( Press ESC to continue )")},
            });
            play_cue(cue_call_alarm);
        } else {
            not_for_us(true);
        }
    }

    // 5. All-ships call, whatever it is addressed to.
    if (r.CALL == dsc::CALL_ALLSHIPS && is_all_ships_category(r.CATEGORY)) {
        Inizializza_label();
        write_lines(*this, {
            {1, QStringLiteral("-RECEIVED ALLSHIPS CALL-")},
            {3, "From     = " + txt(r.TXMMSI)},
            {5, all_ships_category_line(r.CATEGORY)},
            {6, "Channel  = " + txt(r.CH)},
            {9, QStringLiteral("( Press ESC to continue )")},
        });
        play_cue(cue_call_alarm);
    }

    // 6. Distress alert: every station shows it and listens on channel 16.
    if (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DISTRESS) {
        Inizializza_label();
        clear_pending_replies();
        state.pending_distress_ack = 1;
        select_voice_channel(Key::imgCH16);
        state.panel_mode = 100;
        saved_distress_alert = {r.TXMMSI, r.DANGER, r.TIME, r.LATD, r.LATM, r.NS, r.LOND, r.LONM, r.EW};
        blocca_tasti_chiamate();
        write_lines(*this, {
            {1, QStringLiteral(" # RECEIVED DISTRESS ALERT #")},
            {3, "From     = " + txt(r.TXMMSI)},
            {4, "Distress = " + dsc::nature_name(dsc::leading_number(r.DANGER))},
            {6, "TIME:  UTC: " + txt(r.TIME)},
            {7, "POS.:  Lat:  " + txt(r.LATD) + QStringLiteral("\u00BA:") + txt(r.LATM) + "'" + txt(r.NS)},
            {8, "       Lon: " + txt(r.LOND) + QStringLiteral("\u00BA:") + txt(r.LONM) + "'" + txt(r.EW)},
            {9, QStringLiteral("( Press ENT to ACKN or ESC )")},
        });
        if (r.TIME == "--:--")
            write_lines(*this, {
                {6, QStringLiteral(" ! No Time data")},
                {7, QStringLiteral(" ! No Position data")},
                {8, QString()},
            });
        repaint();
    }

    // 7. Distress acknowledgement, whoever it names.
    if (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DIST_ACK) {
        Inizializza_label();
        write_lines(*this, {
            {1, QStringLiteral("-RECEIVED DISTRESS ACK -")},
            {3, "From          = " + txt(r.TXMMSI)},
            {4, QStringLiteral("Distressed ID = ")},
            {5, QStringLiteral("            ") + txt(r.RXMMSI)},
        });
    }

    // 8. Individual acknowledgement to this station.
    if (r.CALL == dsc::CALL_INDIVID && r.CATEGORY == dsc::CAT_ROUT_ACK && r.RXMMSI == settings.mmsi) {
        Inizializza_label();
        if (r.COMPLY == "Y" || r.COMPLY == "N")
            write_lines(*this, {
                {1, QStringLiteral("-RECEIVED INDIVIDUAL ACK-")},
                {3, "From    = " + txt(r.TXMMSI)},
                {4, "Channel = " + txt(r.CH)},
                {6, r.COMPLY == "Y" ? QStringLiteral("   ABLE TO COMPLY") : QStringLiteral("   UNABLE TO COMPLY")},
                {9, QStringLiteral("( Press ESC to continue )")},
            });
    }
}
