// Keypad and number entry: the entry routine, its checks and the ready screens it leads to.
#include "station/station.h"

namespace {

constexpr int kClr = 10;
constexpr int kOk = 11;
constexpr int kMmsiLength = 9;
constexpr int kChannelLength = 2;

const QString kPrompt = QStringLiteral("( Press OK or CLR buttons )");
const QString kMmsiPrefix = QStringLiteral("TO MMSI    =  ");
const QString kGroupMmsiPrefix = QStringLiteral("TO MMSI   =  ");
const QString kChannelPrefix = QStringLiteral("Channel =  ");

QString text(const QByteArray& digits) { return QString::fromLatin1(digits); }

// Adds a key to a field: a digit is appended and the field cut to its limit; CLR empties it.
void addKey(QByteArray& field, int tag, int limit)
{
    if (tag == kClr)
        field.clear();
    else
        field = (field + QByteArray::number(tag)).left(limit);
}

// Call type on line 5 of the individual ready screen, by category.
QString individualCallType(int category)
{
    switch (category) {
    case 1: return QStringLiteral("   DSC ROUTINE CALL");
    case 2: return QStringLiteral("   DSC SAFETY CALL");
    case 3: return QStringLiteral("   DSC URGENCY CALL");
    case 4: return QStringLiteral("   DSC DISTRESS CALL");
    default: return {};
    }
}

} // namespace

// ---- keypad keys

void Station::num1MouseDown(int tag)
{
    if (tag < 0 || tag > kOk)
        return;
    if (m_state.panel_mode == PanelMode::Idle)
        play_cue(cue_refuse);
    set_key_picture(keypadKey(tag), tag);
    ports().ui.processEvents();
    scrivi_label(tag);
}

void Station::num1MouseUp(int tag)
{
    if (tag < 0 || tag > kOk)
        return;
    set_key_picture(keypadKey(tag), -1);
    repaint();
}

// ---- checks

bool Station::channel_valid() const
{
    if (m_state.entry_channel.size() != kChannelLength)
        return false;
    bool ok = false;
    const int channel = m_state.entry_channel.toInt(&ok);
    if (!ok)
        return false;
    return dsc::allowed_working_channel(channel);
}

bool Station::group_id_valid() const
{
    return m_state.entry_mmsi.size() == kMmsiLength && m_state.entry_mmsi.startsWith('0');
}

// ---- the entry routine

// A digit or CLR on the MMSI line (modes 1, 10, 30).
void Station::mmsi_key(int tag, const QString& prefix)
{
    QByteArray& mmsi = m_state.entry_mmsi;
    addKey(mmsi, tag, kMmsiLength);
    if (tag == kClr)
        set_line(8, QString());
    m_view.write_text(3, prefix + text(mmsi));
    play_cue(mmsi.size() == kMmsiLength ? cue_refuse : cue_click);
    if (mmsi.size() == kMmsiLength)
        set_line(9, kPrompt);
}

// OK on a complete MMSI: the highlight moves from the MMSI line to the channel line.
void Station::move_to_channel(PanelMode nextMode)
{
    set_line(8, QString());
    m_view.set_opaque(3, false);
    m_view.set_opaque(5, true);
    repaint();
    m_ports.ui.processEvents();
    m_state.panel_mode = nextMode;
    play_cue(cue_click);
}

// A key on the channel line (modes 2 and 11). `drawReady` draws the ready screen of the call;
// `refusedLine` is what line 5 shows once a refused channel has been taken away.
void Station::channel_entry_key(int tag, void (Station::*drawReady)(), const QString& refusedLine)
{
    QByteArray& channel = m_state.entry_channel;
    if (tag == kClr) {
        channel.clear();
        m_view.write_text(5, kChannelPrefix);
        return;
    }
    if (tag == kOk) {
        play_cue(cue_refuse);
        return;
    }
    addKey(channel, tag, kChannelLength);
    m_view.write_text(5, kChannelPrefix + text(channel));
    m_ports.ui.processEvents();
    if (channel.size() < kChannelLength) {
        play_cue(cue_click);
        return;
    }
    play_cue(cue_refuse);
    if (channel_valid()) {
        sleep(300);
        (this->*drawReady)();
        enable_tx_key();
        m_ports.ui.processEvents();
    } else {
        // The wrong number stays visible during the pause, then the trainee types anew.
        play_cue(cue_entry_error);
        sleep(1000);
        channel.clear();
        m_view.write_text(5, refusedLine);
    }
}

void Station::scrivi_label(int tag)
{
    if (tag < 0 || tag > kOk)
        return;
    switch (m_state.panel_mode) {
    case PanelMode::IndividualMmsi:
        if (tag != kOk)
            mmsi_key(tag, kMmsiPrefix);
        else if (m_state.entry_mmsi.size() == kMmsiLength)
            move_to_channel(PanelMode::IndividualChannel);
        else
            play_cue(cue_refuse);
        break;
    case PanelMode::IndividualChannel:
        channel_entry_key(tag, &Station::show_individual_ready, QStringLiteral("Channel = "));
        break;
    case PanelMode::GroupMmsi:
        if (tag != kOk)
            mmsi_key(tag, kGroupMmsiPrefix);
        else if (m_state.entry_mmsi.size() < kMmsiLength)
            play_cue(cue_refuse);
        else if (group_id_valid())
            move_to_channel(PanelMode::GroupChannel);
        else {
            play_cue(cue_entry_error);
            m_state.entry_mmsi.clear();
            m_view.write_text(3, kGroupMmsiPrefix);
            set_line(8, QStringLiteral("GROUP-ID start with a 0"));
        }
        break;
    case PanelMode::GroupChannel:
        channel_entry_key(tag, &Station::show_group_ready, QStringLiteral("Channel =  "));
        break;
    case PanelMode::PosRequestMmsi:
        if (tag != kOk)
            mmsi_key(tag, kMmsiPrefix);
        else if (m_state.entry_mmsi.size() == kMmsiLength) {
            m_state.panel_mode = PanelMode::PosRequestReady;
            sleep(300);
            show_position_request_ready();
            enable_tx_key();
            ports().ui.processEvents();
        } else
            play_cue(cue_refuse);
        break;
    default:  // no entry open: nothing, not even a sound
        break;
    }
}

// ---- ready screens

void Station::show_individual_ready()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("    -- INDIVIDUAL CALL --")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, individualCallType(m_state.selected_category), true},
        {7, QStringLiteral("To MMSI  = ") + text(m_state.entry_mmsi)},
        {8, QStringLiteral("Channel  = ") + text(m_state.entry_channel)},
    });
}

void Station::show_group_ready()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral(" - GROUP CALL TO STATIONS -")},
        {3, QStringLiteral("Press <DSC TX> to send a")},
        {5, QStringLiteral("  DSC ROUTINE GROUP CALL"), true},
        {7, QStringLiteral("To group MMSI = ") + text(m_state.entry_mmsi)},
        {8, QStringLiteral("Channel =  ") + text(m_state.entry_channel)},
    });
}

void Station::show_position_request_ready()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("   - POSITION REQUEST -")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QStringLiteral("   DSC POSITION REQUEST"), true},
        {7, QStringLiteral("To MMSI  = ") + text(m_state.entry_mmsi)},
    });
}
