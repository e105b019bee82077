// SPDX-License-Identifier: GPL-3.0-or-later
// The panel as the station draws it: the nine LCD lines, the key pictures and enabled flags, the
// lamp and the labels. It owns the panel model the window paints and knows nothing else: no
// sounds, no pauses, no mode.
#pragma once

#include "panel/panel_model.h"

#include <initializer_list>

struct ScreenLine {
    int line;        // 1 to 9
    QString text;    // written whole, spaces included
    bool bold = false;
};

class PanelView {
public:
    const PanelModel& model() const { return m_model; }
    bool enabled(Key k) const { return m_model.key(k).enabled; }

    // ---- LCD
    void clear_lines();   // nine empty, transparent, regular lines
    void set_line(int n, const QString& text, bool bold = false);
    // Writes the given lines; lines not listed keep what they hold.
    void write_lines(std::initializer_list<ScreenLine> lines);
    // Rewrites the text of an entry line, keeping its style (bold, highlight) as it is.
    void write_text(int line, const QString& text) { m_model.label(line).text = text; }
    void set_opaque(int line, bool opaque) { m_model.label(line).opaque = opaque; }
    void write_idle_picture();   // lines 3 to 5 of the idle picture

    // ---- keys
    void set_key_picture(Key k, int picture) { m_model.key(k).picture = picture; }
    void set_key_enabled(Key k, bool enabled) { m_model.key(k).enabled = enabled; }
    void lock_call_keys();     // the six call keys and the covered distress key, locked pictures
    void unlock_call_keys();   // the same seven and push-to-talk, enabled pictures
    void enable_tx_key();
    void disable_tx_key() { set_key_enabled(Key::btnTX, false); }   // its picture stays
    void reset_channel_keys();
    void mark_channel_key(int channel);   // the selected picture on the key of `channel`, if it has one

    // ---- lamp and labels
    void set_led(int led) { m_model.led = led; }
    void show_key_hint(int kind);
    void clear_key_hint() { m_model.lbl_info.clear(); }
    void set_title(const QString& title) { m_model.title = title; }
    void set_own_ids(const QString& mmsi, const QString& group);
    void set_debug1(const QString& text) { m_model.lbl_debug1 = text; }
    void set_debug2(const QString& text) { m_model.lbl_debug2 = text; }

private:
    PanelModel m_model;
};
