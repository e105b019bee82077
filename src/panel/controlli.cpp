// Keypad and number entry: the entry routine, its checks and the ready screens it leads to.
#include "panel/screen.h"

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
    if (state.panel_mode == PanelMode::Idle)
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
    if (state.entry_channel.size() != kChannelLength)
        return false;
    bool ok = false;
    const int channel = state.entry_channel.toInt(&ok);
    if (!ok)
        return false;
    return dsc::allowed_working_channel(channel);
}

bool Station::group_id_valid() const
{
    return state.entry_mmsi.size() == kMmsiLength && state.entry_mmsi.startsWith('0');
}

// ---- the entry routine

namespace {

// A digit or CLR on the MMSI line (modes 1, 10, 30).
void mmsiKey(Station& s, int tag, const QString& prefix)
{
    QByteArray& mmsi = s.state.entry_mmsi;
    addKey(mmsi, tag, kMmsiLength);
    if (tag == kClr)
        s.set_line(8, QString());
    write_text(s, 3, prefix + text(mmsi));
    s.play_cue(mmsi.size() == kMmsiLength ? cue_refuse : cue_click);
    if (mmsi.size() == kMmsiLength)
        s.set_line(9, kPrompt);
}

// OK on a complete MMSI: the highlight moves from the MMSI line to the channel line.
void moveToChannel(Station& s, PanelMode nextMode)
{
    s.set_line(8, QString());
    set_opaque(s, 3, false);
    set_opaque(s, 5, true);
    s.repaint();
    s.ports().ui.processEvents();
    s.state.panel_mode = nextMode;
    s.play_cue(cue_click);
}

// A key on the channel line (modes 2 and 11). `drawReady` draws the ready screen of the call;
// `refusedLine` is what line 5 shows once a refused channel has been taken away.
void channelKey(Station& s, int tag, void (Station::*drawReady)(), const QString& refusedLine)
{
    QByteArray& channel = s.state.entry_channel;
    if (tag == kClr) {
        channel.clear();
        write_text(s, 5, kChannelPrefix);
        return;
    }
    if (tag == kOk) {
        s.play_cue(cue_refuse);
        return;
    }
    addKey(channel, tag, kChannelLength);
    write_text(s, 5, kChannelPrefix + text(channel));
    s.ports().ui.processEvents();
    if (channel.size() < kChannelLength) {
        s.play_cue(cue_click);
        return;
    }
    s.play_cue(cue_refuse);
    if (s.channel_valid()) {
        s.sleep(300);
        (s.*drawReady)();
        s.enable_tx_key();
        s.ports().ui.processEvents();
    } else {
        // The wrong number stays visible during the pause, then the trainee types anew.
        s.play_cue(cue_entry_error);
        s.sleep(1000);
        channel.clear();
        write_text(s, 5, refusedLine);
    }
}

} // namespace

void Station::scrivi_label(int tag)
{
    if (tag < 0 || tag > kOk)
        return;
    switch (state.panel_mode) {
    case PanelMode::IndividualMmsi:
        if (tag != kOk)
            mmsiKey(*this, tag, kMmsiPrefix);
        else if (state.entry_mmsi.size() == kMmsiLength)
            moveToChannel(*this, PanelMode::IndividualChannel);
        else
            play_cue(cue_refuse);
        break;
    case PanelMode::IndividualChannel:
        channelKey(*this, tag, &Station::show_individual_ready, QStringLiteral("Channel = "));
        break;
    case PanelMode::GroupMmsi:
        if (tag != kOk)
            mmsiKey(*this, tag, kGroupMmsiPrefix);
        else if (state.entry_mmsi.size() < kMmsiLength)
            play_cue(cue_refuse);
        else if (group_id_valid())
            moveToChannel(*this, PanelMode::GroupChannel);
        else {
            play_cue(cue_entry_error);
            state.entry_mmsi.clear();
            write_text(*this, 3, kGroupMmsiPrefix);
            set_line(8, QStringLiteral("GROUP-ID start with a 0"));
        }
        break;
    case PanelMode::GroupChannel:
        channelKey(*this, tag, &Station::show_group_ready, QStringLiteral("Channel =  "));
        break;
    case PanelMode::PosRequestMmsi:
        if (tag != kOk)
            mmsiKey(*this, tag, kMmsiPrefix);
        else if (state.entry_mmsi.size() == kMmsiLength) {
            state.panel_mode = PanelMode::PosRequestReady;
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
    write_lines(*this, {
        {1, QStringLiteral("    -- INDIVIDUAL CALL --")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, individualCallType(state.selected_category), true},
        {7, QStringLiteral("To MMSI  = ") + text(state.entry_mmsi)},
        {8, QStringLiteral("Channel  = ") + text(state.entry_channel)},
    });
}

void Station::show_group_ready()
{
    Inizializza_label();
    write_lines(*this, {
        {1, QStringLiteral(" - GROUP CALL TO STATIONS -")},
        {3, QStringLiteral("Press <DSC TX> to send a")},
        {5, QStringLiteral("  DSC ROUTINE GROUP CALL"), true},
        {7, QStringLiteral("To group MMSI = ") + text(state.entry_mmsi)},
        {8, QStringLiteral("Channel =  ") + text(state.entry_channel)},
    });
}

void Station::show_position_request_ready()
{
    Inizializza_label();
    write_lines(*this, {
        {1, QStringLiteral("   - POSITION REQUEST -")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QStringLiteral("   DSC POSITION REQUEST"), true},
        {7, QStringLiteral("To MMSI  = ") + text(state.entry_mmsi)},
    });
}
