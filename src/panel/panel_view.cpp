// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/panel_view.h"

void PanelView::clear_lines()
{
    for (LcdLine& line : m_model.lines)
        line = LcdLine{};
}

void PanelView::set_line(int n, const QString& text, bool bold)
{
    LcdLine& line = m_model.label(n);
    line.text = text;
    line.bold = bold;
}

void PanelView::write_lines(std::initializer_list<ScreenLine> lines)
{
    for (const ScreenLine& l : lines)
        set_line(l.line, l.text, l.bold);
}

void PanelView::write_idle_picture()
{
    set_line(3, QStringLiteral(" ****************************"));
    set_line(4, QStringLiteral(" *   WATCHING CH-70 VHF     *"));
    set_line(5, QStringLiteral(" ****************************"));
}

void PanelView::lock_call_keys()
{
    for (Key k : kCallKeys)
        set_key_enabled(k, false);
    set_key_enabled(Key::btnDistress2, false);
    for (Key k : kCallKeys)
        set_key_picture(k, callKeyPicture(k, CallKeyLook::Locked));
    set_key_picture(Key::btnDistress2, 0);
}

void PanelView::unlock_call_keys()
{
    for (Key k : kCallKeys)
        set_key_enabled(k, true);
    set_key_enabled(Key::btnDistress2, true);
    set_key_enabled(Key::btnAudio, true);
    for (Key k : kCallKeys)
        set_key_picture(k, callKeyPicture(k, CallKeyLook::Enabled));
    set_key_picture(Key::btnDistress2, 1);
    set_key_picture(Key::btnAudio, 4);
}

void PanelView::enable_tx_key()
{
    set_key_enabled(Key::btnTX, true);
    set_key_picture(Key::btnTX, 1);
}

void PanelView::reset_channel_keys()
{
    for (int i = 0; i < int(kChannelKeys.size()); ++i)
        set_key_picture(kChannelKeys[i].key, channelKeyPicture(i, false));
}

void PanelView::mark_channel_key(int channel)
{
    for (int i = 0; i < int(kChannelKeys.size()); ++i)
        if (kChannelKeys[i].channel == channel)
            set_key_picture(kChannelKeys[i].key, channelKeyPicture(i, true));
}

void PanelView::show_key_hint(int kind)
{
    if (kind == 1)
        m_model.lbl_info = QStringLiteral("Press ALT key for All Ships Call");
    else if (kind == 2)
        m_model.lbl_info = QStringLiteral("Press ALT key for Audio Recorder functions");
}

void PanelView::set_own_ids(const QString& mmsi, const QString& group)
{
    m_model.lbl_mmsi = mmsi;
    m_model.lbl_group = group;
}
