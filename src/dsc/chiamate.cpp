// DSC TX: the call builders and the send procedure.
#include "dsc/builders.h"
#include "station/station.h"

#include <optional>

namespace {

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

namespace {

// Where the voice channel goes after a call has been sent.
enum class ChannelAfter {
    Unchanged,
    Entry,      // the channel typed with the call; a field emptied with CLR refuses the send
    Ch16,
    Ch77,
    AckChannel, // the channel the acknowledgement names, 16 when it is no number
};

// What the transmission spends once its record has gone out.
enum class Spent { Nothing, DistressNoInfo, SavedAlert, AckData, PosRequestMmsi };

// One ready mode: how its record is built, where the channel goes, what is spent.
struct TxKind {
    PanelMode mode;
    QByteArray (*build)(const Station&);
    ChannelAfter channel;
    Spent spent;
};

const TxKind kTxKinds[] = {
    {PanelMode::IndividualChannel, [](const Station& s) { return s.build_individual_call(); }, ChannelAfter::Entry, Spent::Nothing},
    {PanelMode::GroupChannel, [](const Station& s) { return s.build_group_call(); }, ChannelAfter::Entry, Spent::Nothing},
    {PanelMode::AllShipsRoutine, [](const Station& s) { return s.build_all_ships_call(1); }, ChannelAfter::Ch77, Spent::Nothing},
    {PanelMode::AllShipsSafety, [](const Station& s) { return s.build_all_ships_call(2); }, ChannelAfter::Ch16, Spent::Nothing},
    {PanelMode::AllShipsUrgency, [](const Station& s) { return s.build_all_ships_call(3); }, ChannelAfter::Ch16, Spent::Nothing},
    {PanelMode::AllShipsDistress, [](const Station& s) { return s.build_all_ships_call(4); }, ChannelAfter::Ch16, Spent::Nothing},
    {PanelMode::DistressData, [](const Station& s) { return s.build_distress_alert(); }, ChannelAfter::Ch16, Spent::DistressNoInfo},
    {PanelMode::DistressAckReady, [](const Station& s) { return s.build_distress_ack(); }, ChannelAfter::Ch16, Spent::SavedAlert},
    {PanelMode::AckAbleReady, [](const Station& s) { return s.build_individual_ack(true); }, ChannelAfter::AckChannel, Spent::AckData},
    {PanelMode::AckUnableReady, [](const Station& s) { return s.build_individual_ack(false); }, ChannelAfter::Unchanged, Spent::AckData},
    {PanelMode::PosRequestReady, [](const Station& s) { return s.build_position_request(); }, ChannelAfter::Unchanged, Spent::Nothing},
    {PanelMode::PosReplyReady, [](const Station& s) { return s.build_position_reply(); }, ChannelAfter::Unchanged, Spent::PosRequestMmsi},
};

void spend(Spent what, PanelState& state, ReplyMemory& replies)
{
    switch (what) {
    case Spent::Nothing: break;
    case Spent::DistressNoInfo: state.distress_no_info = 0; break;
    case Spent::SavedAlert: replies.saved_distress_alert = SavedDistressAlert{}; break;
    case Spent::AckData: replies.ack_mmsi.clear(); replies.ack_channel.clear(); break;
    case Spent::PosRequestMmsi: replies.pos_request_mmsi.clear(); break;
    }
}

const TxKind* tx_kind(PanelMode mode)
{
    for (const TxKind& k : kTxKinds)
        if (k.mode == mode)
            return &k;
    return nullptr;
}

} // namespace

// Sends the call that `panel_mode` names, then returns the panel to idle.
void Station::tx_action()
{
    if (m_state.panel_mode == PanelMode::Idle) {
        m_ports.ui.beep();
        return;
    }
    if (const TxKind* kind = tx_kind(m_state.panel_mode)) {
        std::optional<int> channel;   // the voice channel to select after sending, if any
        switch (kind->channel) {
        case ChannelAfter::Unchanged: break;
        case ChannelAfter::Entry:
            channel = channel_number(m_composer.entry_channel());
            if (!channel) {
                // A channel emptied with CLR is no call: refuse and leave the ready screen for a new entry.
                play_cue(cue_refuse);
                return;
            }
            break;
        case ChannelAfter::Ch16: channel = 16; break;
        case ChannelAfter::Ch77: channel = 77; break;
        case ChannelAfter::AckChannel: channel = channel_number(m_replies.ack_channel).value_or(16); break;
        }
        if (!send_record(kind->build(*this)))
            return;   // the error has been shown; the ready screen stays for another try
        spend(kind->spent, m_state, m_replies);
        play_cue(cue_tx);
        if (channel) {
            select_voice_channel(channel_key(*channel));
            repaint();
        }
    }

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
    QHostAddress to;
    bool broadcast = false;
    if (m_settings.mode == 0) {
        to = QHostAddress(QHostAddress::LocalHost);
    } else if (m_settings.mode == 1) {
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
    ++m_counters.records_sent;
    return true;
}

QByteArray Station::build_individual_call() const
{
    return dsc::compose(calls::individual_call(m_settings, m_composer.entry_mmsi(), m_composer.selected_category(), m_composer.entry_channel()));
}

QByteArray Station::build_group_call() const
{
    return dsc::compose(calls::group_call(m_settings, m_composer.entry_mmsi(), m_composer.entry_channel()));
}

QByteArray Station::build_all_ships_call(int category) const
{
    return dsc::compose(calls::all_ships_call(m_settings, category));
}

QByteArray Station::build_distress_alert() const
{
    return dsc::compose(calls::distress_alert(m_settings, m_state.menu_index, m_state.distress_no_info, m_state.alert_time));
}

QByteArray Station::build_distress_ack() const
{
    return dsc::compose(calls::distress_ack(m_settings, m_replies.saved_distress_alert));
}

QByteArray Station::build_individual_ack(bool able) const
{
    return dsc::compose(calls::individual_ack(m_settings, m_replies.ack_mmsi, m_replies.ack_channel, able));
}

QByteArray Station::build_position_request() const
{
    return dsc::compose(calls::position_request(m_settings, m_composer.entry_mmsi()));
}

QByteArray Station::build_position_reply() const
{
    return dsc::compose(calls::position_reply(m_settings, m_replies.pos_request_mmsi, m_state.alert_time));
}

QByteArray Station::utc_time_text() const
{
    return m_ports.clock.utcTimeOfDay().toString(QStringLiteral("hh:mm")).toLatin1();
}
