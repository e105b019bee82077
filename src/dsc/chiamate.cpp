// DSC TX: the call builders and the send procedure.
#include "station/station.h"

#include <optional>

namespace {

// CATEGORY of an individual or all-ships call by the category chosen on the panel.
const QByteArray& category_of(int selected)
{
    switch (selected) {
    case 2: return dsc::CAT_SAFETY;
    case 3: return dsc::CAT_URGENCY;
    case 4: return dsc::CAT_DISTRESS;
    default: return dsc::CAT_ROUTINE;
    }
}

void put_simulated_position(dsc::DscRecord& r, const StationSettings& s)
{
    r.LATD = s.gps_lat;
    r.LATM = "28";
    r.NS = s.gps_ns;
    r.LOND = s.gps_lon;
    r.LONM = "15";
    r.EW = s.gps_EW;
}

std::optional<int> channel_number(const QByteArray& text)
{
    bool ok = false;
    const int n = QString::fromLatin1(text).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return n;
}

} // namespace

void Station::btnTXMouseDown()
{
    set_key_picture(Key::btnTX, 2);
    panel.led = LED_DSC_TX;
    repaint();
    tx_action();
}

void Station::btnTXMouseUp()
{
    sleep(200);
    set_key_picture(Key::btnTX, 0);
    panel.led = LED_NONE;
}

// Sends the call that `panel_mode` names, then returns the panel to idle.
void Station::tx_action()
{
    const int mode = state.panel_mode;
    if (mode == 0) {
        m_ports.ui.beep();
        return;
    }

    QByteArray record;
    std::optional<int> channel;   // the voice channel to select after sending, if any
    switch (mode) {
    case 2:
    case 11: {
        // A channel emptied with CLR is no call: refuse and leave the ready screen for a new entry.
        channel = channel_number(state.entry_channel);
        if (!channel) {
            play_cue(cue_refuse);
            return;
        }
        record = mode == 2 ? build_individual_call() : build_group_call();
        break;
    }
    case 14: record = build_all_ships_call(1); channel = 77; break;
    case 15: record = build_all_ships_call(2); channel = 16; break;
    case 16: record = build_all_ships_call(3); channel = 16; break;
    case 17: record = build_all_ships_call(4); channel = 16; break;
    case 21: record = build_distress_alert(); channel = 16; break;
    case 22: record = build_distress_ack(); channel = 16; break;
    case 24: record = build_individual_ack(true); channel = channel_number(state.ack_channel).value_or(16); break;
    case 25: record = build_individual_ack(false); break;
    case 31: record = build_position_request(); break;
    case 32: record = build_position_reply(); break;
    default: break;
    }

    if (!record.isEmpty()) {
        if (!send_record(record))
            return;   // the error has been shown; the ready screen stays for another try
        // What the answer used is spent once it has gone out.
        switch (mode) {
        case 21: state.distress_no_info = 0; break;
        case 22: saved_distress_alert = SavedDistressAlert{}; break;
        case 24:
        case 25: ack_mmsi.clear(); state.ack_channel.clear(); break;
        case 32: pos_request_mmsi.clear(); break;
        default: break;
        }
        play_cue(cue_tx);
        if (channel) {
            select_voice_channel(channel_key(*channel));
            repaint();
        }
    }

    state.panel_mode = 0;
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
    QHostAddress to;
    bool broadcast = false;
    if (settings.mode == 0) {
        to = QHostAddress(QHostAddress::LocalHost);
    } else if (settings.mode == 1) {
        to = QHostAddress(QHostAddress::Broadcast);
        broadcast = true;
    } else {
        return true;   // no network configured: nothing leaves the station
    }
    QString error;
    if (!m_ports.dsc.send(text, to, 8090, broadcast, &error)) {
        m_ports.ui.errorBox(error);
        return false;
    }
    ++records_sent;
    return true;
}

QByteArray Station::build_individual_call() const
{
    return dsc::compose(dsc::plain_record(settings.mmsi, state.entry_mmsi, dsc::CALL_INDIVID,
                                     category_of(state.selected_category), state.entry_channel));
}

QByteArray Station::build_group_call() const
{
    return dsc::compose(
        dsc::plain_record(settings.mmsi, state.entry_mmsi, dsc::CALL_GROUP, dsc::CAT_ROUTINE, state.entry_channel));
}

QByteArray Station::build_all_ships_call(int category) const
{
    dsc::DscRecord r = dsc::plain_record(settings.mmsi, dsc::ALL_SHIPS_MMSI, dsc::CALL_ALLSHIPS, category_of(category),
                                    category == 1 ? "77" : "16");
    if (category == 4)
        r.TIME = "--:--";
    return dsc::compose(r);
}

QByteArray Station::build_distress_alert() const
{
    dsc::DscRecord r =
        dsc::plain_record(settings.mmsi, dsc::ALL_SHIPS_MMSI, dsc::CALL_DISTRESS, dsc::CAT_DISTRESS, "16");
    r.DANGER = QByteArray::number(state.menu_index);
    if (state.distress_no_info) {
        r.TIME = "--:--";
    } else {
        put_simulated_position(r, settings);
        r.TIME = state.alert_time;
    }
    return dsc::compose(r);
}

QByteArray Station::build_distress_ack() const
{
    const SavedDistressAlert& a = saved_distress_alert;
    dsc::DscRecord r = dsc::plain_record(settings.mmsi, a.mmsi, dsc::CALL_DISTRESS, dsc::CAT_DIST_ACK, "16");
    dsc::repeat_alert_data(a, r);
    return dsc::compose(r);
}

QByteArray Station::build_individual_ack(bool able) const
{
    return dsc::compose(dsc::plain_record(settings.mmsi, ack_mmsi, dsc::CALL_INDIVID, dsc::CAT_ROUT_ACK,
                                     state.ack_channel, able ? "Y" : "N"));
}

QByteArray Station::build_position_request() const
{
    return dsc::compose(dsc::plain_record(settings.mmsi, state.entry_mmsi, dsc::CALL_INDIVID, dsc::CAT_POS_REQ, "16"));
}

QByteArray Station::build_position_reply() const
{
    dsc::DscRecord r = dsc::plain_record(settings.mmsi, pos_request_mmsi, dsc::CALL_INDIVID, dsc::CAT_POS_ACK, "16");
    put_simulated_position(r, settings);
    r.TIME = state.alert_time;
    return dsc::compose(r);
}

QByteArray Station::utc_time_text() const
{
    return m_ports.clock.utcTimeOfDay().toString(QStringLiteral("hh:mm")).toLatin1();
}
