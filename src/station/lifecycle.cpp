// SPDX-License-Identifier: GPL-3.0-or-later
// Creation, first showing and close of the station window.
#include "station/station.h"

void Station::FormCreate()
{
    m_settings = m_ports.settings.load();
    show_idle_screen();
    if (m_settings.mode == 0)
        m_view.set_title(QStringLiteral("KELVO v. 12.9 ( LOCAL ) "));
    else if (m_settings.mode == 1)
        m_view.set_title(QStringLiteral("KELVO v. 12.9 ( NETWORK ) "));
    m_view.set_own_ids(dsc::cp1252(m_settings.mmsi), dsc::cp1252(m_settings.group));
    clear_pending_replies();
    m_replies.saved_distress_alert.mmsi.clear();
    m_replies.saved_distress_alert.DANGER.clear();
    m_distress.clear_no_info();
    set_key_enabled(Key::imgUP, false);
    set_key_enabled(Key::imgDW, false);
    abilita_tasti_chiamate();
    set_key_picture(Key::imgCH16, channelKeyPicture(0, true));
    m_ports.voice.closeReceiver();
    m_ports.voice.setDataAvailableHandler([this] { BroadcastRXDataAvailable(); });
}

void Station::FormShow()
{
    m_ports.ui.moveWindow(m_ports.settings.windowPosition());
    repaint();
    clear_key_hint();
    // Channel 16 both ways: the first transmission goes to the class's port, as every later one.
    m_ports.voice.setReceiverPort(QString::number(m_settings.base_port + 16));
    m_ports.voice.setSenderPort(QString::number(m_settings.base_port + 16));
    sleep(200);
    m_view.set_debug1(m_ports.voice.openReceiver() ? QStringLiteral("RX aperta start")
                                                   : QStringLiteral("errore apertura RX start"));
}

bool Station::FormClose()
{
    m_destroying = true;
    m_ports.voice.closeReceiver();
    if (!m_ports.settings.saveWindowPosition(m_ports.ui.windowPosition())) {
        // A trainee must always be able to quit: tell, then close all the same.
        m_ports.ui.errorBox(QStringLiteral("Unable to write to %1").arg(m_ports.settings.place()));
        return false;
    }
    return true;
}
