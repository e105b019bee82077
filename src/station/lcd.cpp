// SPDX-License-Identifier: GPL-3.0-or-later
// Panel routines: the LCD lines, the idle picture, the call-key lock and the hint line. The
// drawing itself is the panel view's; here are the routines under their own names.
#include "station/station.h"

void Station::Inizializza_label() { m_view.clear_lines(); }

void Station::write_idle_picture() { m_view.write_idle_picture(); }

void Station::show_idle_screen()
{
    Inizializza_label();
    write_idle_picture();
}

void Station::blocca_tasti_chiamate()
{
    play_cue(cue_click);
    m_view.lock_call_keys();
}

void Station::abilita_tasti_chiamate() { m_view.unlock_call_keys(); }

void Station::enable_tx_key() { m_view.enable_tx_key(); }

void Station::disable_tx_key() { m_view.disable_tx_key(); }

void Station::reset_channel_key_images() { m_view.reset_channel_keys(); }

void Station::clear_pending_replies() { m_replies.clear_pending(); }

void Station::show_key_hint(int kind) { m_view.show_key_hint(kind); }

void Station::clear_key_hint() { m_view.clear_key_hint(); }

// Cleared first, then the cell copied in: the painter only ever sees the final picture.
void Station::set_key_picture(Key k, int picture) { m_view.set_key_picture(k, picture); }

void Station::set_key_enabled(Key k, bool enabled) { m_view.set_key_enabled(k, enabled); }

void Station::set_line(int n, const QString& text, bool bold) { m_view.set_line(n, text, bold); }
