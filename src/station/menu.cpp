// SPDX-License-Identifier: GPL-3.0-or-later
// Call composition menus and the navigation keys.
#include "station/station.h"

namespace {

// What a call key opens on its release: the category of an individual or all-ships call (0 for the
// group and position request keys, which have handlers of their own), and the pause before it.
struct CallKeyAction {
    int tag;
    int pauseMs;
};

// In the order of kCallKeys.
const CallKeyAction kCallKeyActions[] = {
    {1, 100}, {2, 200}, {3, 200}, {4, 200}, {0, 100}, {0, 100},
};

const CallKeyAction* callKeyAction(Key k)
{
    const int i = callKeyIndex(k);
    return i < 0 ? nullptr : &kCallKeyActions[i];
}

// Line 1 of the individual call screen, by category.
const char* const kIndividualTitle[] = {
    nullptr,
    " - INDIVIDUAL ROUTINE CALL -",
    " - INDIVIDUAL SAFETY CALL  -",
    " - INDIVIDUAL URGENCY CALL -",
    " - INDIVIDUAL DISTRESS CALL -",
};

// The all-ships ready screen, by category: title, call type, channel.
struct AllShipsScreen {
    const char* title;
    const char* type;
    const char* channel;
};
const AllShipsScreen kAllShips[] = {
    {nullptr, nullptr, nullptr},
    {" - ALL SHIPS ROUTINE CALL -", "   DSC ROUTINE CALL", "Channel = 77"},
    {" - ALL SHIPS SAFETY CALL  -", "   DSC SAFETY CALL", "Channel = 16"},
    {" - ALL SHIPS URGENCY CALL -", "   DSC URGENCY CALL", "Channel = 16"},
    {" - ALL SHIPS DISTRESS CALL -", "   DSC DISTRESS CALL", "Channel = 16"},
};

bool validCategory(int category) { return category >= 1 && category <= 4; }

// Pressed pictures of the navigation keys in ImageList2.
int navPicture(Key k)
{
    switch (k) {
    case Key::imgESC: return 0;
    case Key::imgENT: return 1;
    case Key::imgUP: return 2;
    case Key::imgDW: return 3;
    default: return -1;
    }
}

} // namespace

// ---- call keys

void Station::callKeyMouseDown(Key k)
{
    if (isCallKey(k)) {
        set_key_picture(k, callKeyPicture(k, CallKeyLook::Pressed));
        repaint();
    }
}

void Station::callKeyMouseUp(Key k, Mods mods)
{
    const CallKeyAction* c = callKeyAction(k);
    if (!c || !validCategory(c->tag) || !take_release(k, c->pauseMs))
        return;
    // The Alt key held at the release, not at the press, turns the call into an all-ships call.
    if (mods.alt)
        show_all_ships_call(c->tag);
    else
        show_individual_call(c->tag);
}

void Station::btnGroupMouseUp()
{
    if (take_release(Key::btnGroup, 100))
        show_group_call();
}

void Station::btnPosReqMouseUp()
{
    if (take_release(Key::btnPosReq, 100))
        show_position_request();
}

// ---- composition screens

// The common start of a composition: call keys locked, the mode set, the entry emptied, the LCD cleared.
void Station::start_composition(PanelMode mode, bool keepChannel)
{
    blocca_tasti_chiamate();
    m_state.panel_mode = mode;
    m_composer.start(keepChannel);
    Inizializza_label();
}

void Station::show_individual_call(int category)
{
    if (!validCategory(category))
        return;
    start_composition(PanelMode::IndividualMmsi);
    set_line(1, QString::fromLatin1(kIndividualTitle[category]));
    m_composer.set_category(category);
    m_view.write_lines({
        {3, QStringLiteral("TO MMSI    =  ")},
        {5, QStringLiteral("Channel    =  ")},
    });
    m_view.set_opaque(3, true);
    repaint();
}

void Station::show_all_ships_call(int category)
{
    if (!validCategory(category))
        return;
    start_composition(PanelMode::IndividualMmsi);
    const AllShipsScreen& s = kAllShips[category];
    m_view.write_lines({
        {1, QString::fromLatin1(s.title)},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QString::fromLatin1(s.type), true},
        {7, QStringLiteral("to all stations")},
        {8, QString::fromLatin1(s.channel)},
    });
    m_ports.ui.processEvents();
    enable_tx_key();
    m_state.panel_mode = all_ships_mode(category);
}

void Station::show_group_call()
{
    start_composition(PanelMode::GroupMmsi);
    m_view.write_lines({
        {1, QStringLiteral(" - GROUP CALL TO STATIONS -")},
        {3, QStringLiteral("TO MMSI   =  ")},
        {5, QStringLiteral("Channel   =  ")},
    });
    m_view.set_opaque(3, true);
    repaint();
}

void Station::show_position_request()
{
    start_composition(PanelMode::PosRequestMmsi, true);   // the channel field keeps its value
    m_view.write_lines({
        {1, QStringLiteral("   - POSITION REQUEST -")},
        {3, QStringLiteral("TO MMSI    =  ")},
    });
    m_view.set_opaque(3, true);
    repaint();
}

// ---- navigation keys

void Station::imgESCMouseDown()
{
    set_key_picture(Key::imgESC, navPicture(Key::imgESC));
    play_cue(cue_click);
    show_idle_screen();
    abilita_tasti_chiamate();
    disable_tx_key();   // its picture stays as it is
    m_composer.start();
    m_replies.pending_distress_ack = 0;
    m_distress.leave();
    set_key_enabled(Key::imgUP, false);
    set_key_enabled(Key::imgDW, false);
    m_state.panel_mode = PanelMode::Idle;
    m_state.comply_choice = 0;
}

void Station::imgENTMouseDown()
{
    set_key_picture(Key::imgENT, navPicture(Key::imgENT));
    repaint();
    play_cue(cue_click);
    switch (m_state.panel_mode) {
    case PanelMode::DistressNature: show_distress_data(); break;
    case PanelMode::DistressData: show_distress_send(); break;
    case PanelMode::ComplySelector: show_individual_ack(); break;
    case PanelMode::ReceivedCall: reply_to_received_call(); break;
    default: break;
    }
}

// Moves the cursor of the nature list or the comply selector by `step`, within its bounds.
void Station::move_cursor(int step)
{
    bool moved;
    switch (m_state.panel_mode) {
    case PanelMode::DistressNature: moved = m_distress.step(step); break;
    case PanelMode::ComplySelector: moved = step_list_cursor(m_state.comply_choice, step, 2); break;
    default: return;
    }
    if (!moved) {
        play_cue(cue_refuse);
        return;
    }
    play_cue(cue_click);
    if (m_state.panel_mode == PanelMode::DistressNature)
        show_nature_menu(m_distress.nature());
    else
        mostra_tipo_ack(m_state.comply_choice);
}

void Station::imgUPMouseDown()
{
    set_key_picture(Key::imgUP, navPicture(Key::imgUP));
    play_cue(cue_click);
    move_cursor(-1);
}

void Station::imgDWMouseDown()
{
    set_key_picture(Key::imgDW, navPicture(Key::imgDW));
    play_cue(cue_click);
    move_cursor(+1);
}

void Station::navKeyMouseUp(Key k)
{
    if (navPicture(k) < 0 || !take_release(k, 200))
        return;
    set_key_picture(k, -1);
    repaint();
}
