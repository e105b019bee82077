// SPDX-License-Identifier: GPL-3.0-or-later
// Keypad and number entry: the entry routine, its checks and the ready screens it leads to.
#include "station/station.h"

namespace {

constexpr int kClr = Composer::kClr;
constexpr int kOk = 11;

const QString kPrompt = QStringLiteral("( Press OK or CLR buttons )");
const QString kMmsiPrefix = QStringLiteral("TO MMSI    =  ");
const QString kGroupMmsiPrefix = QStringLiteral("TO MMSI   =  ");
const QString kChannelPrefix = QStringLiteral("Channel =  ");

QString text(const QByteArray& digits) { return QString::fromLatin1(digits); }

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
    m_ports.ui.processEvents();
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

bool Station::channel_valid() const { return m_composer.channel_valid(); }

bool Station::group_id_valid() const { return m_composer.group_id_valid(); }

// ---- the entry routine

// A digit or CLR on the MMSI line (modes 1, 10, 30).
void Station::mmsi_key(int tag, const QString& prefix)
{
    m_composer.add_mmsi_key(tag);
    if (tag == kClr)
        set_line(8, QString());
    m_view.write_text(3, prefix + text(m_composer.entry_mmsi()));
    play_cue(m_composer.mmsi_complete() ? cue_refuse : cue_click);
    if (m_composer.mmsi_complete())
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
    if (tag == kClr) {
        m_composer.clear_channel();
        m_view.write_text(5, kChannelPrefix);
        return;
    }
    if (tag == kOk) {
        play_cue(cue_refuse);
        return;
    }
    m_composer.add_channel_key(tag);
    m_view.write_text(5, kChannelPrefix + text(m_composer.entry_channel()));
    m_ports.ui.processEvents();
    if (!m_composer.channel_complete()) {
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
        m_composer.clear_channel();
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
        else if (m_composer.mmsi_complete())
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
        else if (!m_composer.mmsi_complete())
            play_cue(cue_refuse);
        else if (group_id_valid())
            move_to_channel(PanelMode::GroupChannel);
        else {
            play_cue(cue_entry_error);
            m_composer.clear_mmsi();
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
        else if (m_composer.mmsi_complete()) {
            m_state.panel_mode = PanelMode::PosRequestReady;
            sleep(300);
            show_position_request_ready();
            enable_tx_key();
            m_ports.ui.processEvents();
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
        {5, individualCallType(m_composer.selected_category()), true},
        {7, QStringLiteral("To MMSI  = ") + text(m_composer.entry_mmsi())},
        {8, QStringLiteral("Channel  = ") + text(m_composer.entry_channel())},
    });
}

void Station::show_group_ready()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral(" - GROUP CALL TO STATIONS -")},
        {3, QStringLiteral("Press <DSC TX> to send a")},
        {5, QStringLiteral("  DSC ROUTINE GROUP CALL"), true},
        {7, QStringLiteral("To group MMSI = ") + text(m_composer.entry_mmsi())},
        {8, QStringLiteral("Channel =  ") + text(m_composer.entry_channel())},
    });
}

void Station::show_position_request_ready()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("   - POSITION REQUEST -")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QStringLiteral("   DSC POSITION REQUEST"), true},
        {7, QStringLiteral("To MMSI  = ") + text(m_composer.entry_mmsi())},
    });
}
