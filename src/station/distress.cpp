// SPDX-License-Identifier: GPL-3.0-or-later
// The distress alert: nature list, data screen, send screen.
#include "station/station.h"

void Station::btnDistress2MouseDown()
{
    set_key_picture(Key::btnDistress2, 2);
    repaint();
}

void Station::btnDistress2MouseUp()
{
    if (take_release(Key::btnDistress2, 100))
        start_distress_alert();
}

void Station::start_distress_alert()
{
    m_state.panel_mode = PanelMode::DistressNature;
    m_distress.open();
    blocca_tasti_chiamate();
    set_key_enabled(Key::imgUP, true);
    set_key_enabled(Key::imgDW, true);
    show_nature_menu(m_distress.nature());
}

void Station::show_nature_menu(int index)
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral(" ## DISTRESS ALERT (Nature) ##")},
        {9, QStringLiteral("( Select nature and press ENT )")},
    });
    for (const ScreenLine& l : DistressMenu::list_lines(index))
        set_line(l.line, l.text, l.bold);
}

void Station::show_distress_data()
{
    Inizializza_label();
    // The alert carries the true UTC time of day, taken now, not at the transmission.
    m_distress.stamp(utc_time_text());
    QString nature;
    dsc::nature_name(m_distress.nature(), nature);
    m_view.write_lines({
        {1, QStringLiteral("  ## DISTRESS ALERT DATA  ##")},
        {3, QStringLiteral("Nature of Distress =")},
        {4, QStringLiteral("     ") + nature, true},
    });
    if (m_distress.nature() < DistressMenu::kNoInfoNature) {
        const StationSettings& g = m_settings;
        const QString position = dsc::cp1252(g.gps_lat) + QStringLiteral("\u00B028\u00B4")
            + dsc::cp1252(g.gps_ns) + QStringLiteral(" / ") + dsc::cp1252(g.gps_lon)
            + QStringLiteral("\u00B015\u00B4") + dsc::cp1252(g.gps_EW);
        m_view.write_lines({
            {5, QStringLiteral("Simulated Position =")},
            {6, position},
            {7, QStringLiteral("Time = ") + QString::fromLatin1(m_distress.alert_time()) + QStringLiteral(" UTC")},
        });
    } else {
        m_view.write_lines({
            {5, QStringLiteral("        No Time data")},
            {6, QStringLiteral("        No Position data")},
        });
    }
    set_key_enabled(Key::imgUP, false);
    set_key_enabled(Key::imgDW, false);
    set_line(9, QStringLiteral("(Press ENT to continue)"));
    m_state.panel_mode = PanelMode::DistressData;
}

void Station::show_distress_send()
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral("   ##  DISTRESS ALERT  ## ")},
        {3, QStringLiteral("Press <DSC TX> to send")},
        {5, QStringLiteral("     DSC DISTRESS CALL"), true},
        {7, QStringLiteral("to all stations")},
    });
    m_ports.ui.processEvents();
    enable_tx_key();
}
