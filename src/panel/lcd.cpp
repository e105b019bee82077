// Panel routines: the LCD lines, the idle picture, the call-key lock and the hint line.
#include "station/station.h"

void Station::Inizializza_label()
{
    for (LcdLine& line : panel.lines)
        line = LcdLine{};
}

void Station::write_idle_picture()
{
    set_line(3, QStringLiteral(" ****************************"));
    set_line(4, QStringLiteral(" *   WATCHING CH-70 VHF     *"));
    set_line(5, QStringLiteral(" ****************************"));
}

void Station::show_idle_screen()
{
    Inizializza_label();
    write_idle_picture();
}

void Station::blocca_tasti_chiamate()
{
    play_cue(cue_click);
    for (Key k : kCallKeys)
        set_key_enabled(k, false);
    set_key_enabled(Key::btnDistress2, false);
    for (Key k : kCallKeys)
        set_key_picture(k, callKeyPicture(k, CallKeyLook::Locked));
    set_key_picture(Key::btnDistress2, 0);
}

void Station::abilita_tasti_chiamate()
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

void Station::enable_tx_key()
{
    set_key_enabled(Key::btnTX, true);
    set_key_picture(Key::btnTX, 1);
}

void Station::disable_tx_key()
{
    set_key_enabled(Key::btnTX, false);
}

void Station::reset_channel_key_images()
{
    for (int i = 0; i < int(kChannelKeys.size()); ++i)
        set_key_picture(kChannelKeys[i].key, channelKeyPicture(i, false));
}

void Station::clear_pending_replies()
{
    state.pending_distress_ack = 0;
    state.pending_position_reply = 0;
    state.pending_individual_ack = 0;
}

void Station::show_key_hint(int kind)
{
    if (kind == 1)
        panel.lbl_info = QStringLiteral("Press ALT key for All Ships Call");
    else if (kind == 2)
        panel.lbl_info = QStringLiteral("Press ALT key for Audio Recorder functions");
}

void Station::clear_key_hint()
{
    panel.lbl_info.clear();
}

void Station::set_key_picture(Key k, int picture)
{
    // Cleared first, then the cell copied in: the painter only ever sees the final picture.
    panel.key(k).picture = picture;
}

void Station::set_key_enabled(Key k, bool enabled)
{
    panel.key(k).enabled = enabled;
}

void Station::set_line(int n, const QString& text, bool bold)
{
    LcdLine& line = panel.label(n);
    line.text = text;
    line.bold = bold;
}
