// The distress alert: nature list, data screen, send screen.
#include "station/station.h"

namespace {

constexpr int kNatureCount = 13;
constexpr int kNoInfoNature = 13;   // carries neither time nor position

// The list entries of natures 1 to 12, without their four-character prefix.
const char* const kNatureEntries[] = {
    nullptr,
    "Undesignated",
    "Fire, Explosion",
    "Flooding",
    "Collision",
    "Grounding",
    "Capsizing",
    "Sinking",
    "Disable adrift",
    "Abandoning Ship",
    "Piracy attack",
    "Man overboard",
    "Epirb emission",
};

// The entries shown on lines 3 to 8 for a selected index: first entry and count.
struct ListWindow {
    int first;
    int count;
};

ListWindow listWindow(int index)
{
    if (index <= 6)
        return {1, 6};
    if (index <= 11)
        return {7, 5};
    return {8, 5};   // 12: "Sinking" scrolls out, "Epirb emission" comes in
}

QString entryLine(int nature, int selected)
{
    const QString prefix = nature == selected ? QStringLiteral(">   ") : QStringLiteral("    ");
    return prefix + QString::fromLatin1(kNatureEntries[nature]);
}

} // namespace

void Station::btnDistress2MouseDown()
{
    set_key_picture(Key::btnDistress2, 2);
    repaint();
}

void Station::btnDistress2MouseUp()
{
    // A locked key took no press, so its release means nothing either.
    if (!m_view.enabled(Key::btnDistress2))
        return;
    sleep(100);
    start_distress_alert();
}

void Station::start_distress_alert()
{
    m_state.panel_mode = PanelMode::DistressNature;
    m_state.menu_index = 1;
    blocca_tasti_chiamate();
    set_key_enabled(Key::imgUP, true);
    set_key_enabled(Key::imgDW, true);
    show_nature_menu(m_state.menu_index);
}

void Station::show_nature_menu(int index)
{
    Inizializza_label();
    m_view.write_lines({
        {1, QStringLiteral(" ## DISTRESS ALERT (Nature) ##")},
        {9, QStringLiteral("( Select nature and press ENT )")},
    });
    if (index == kNoInfoNature) {
        m_view.write_lines({
            {3, QStringLiteral(">   Undesignated !"), true},
            {4, QStringLiteral("      No Time     Info")},
            {5, QStringLiteral("      No Position Info")},
        });
        return;
    }
    if (index < 1 || index > kNatureCount)
        return;   // no such nature: the list stays empty
    const ListWindow w = listWindow(index);
    for (int i = 0; i < w.count; ++i) {
        const int nature = w.first + i;
        set_line(3 + i, entryLine(nature, index), nature == index);
    }
}

void Station::show_distress_data()
{
    Inizializza_label();
    // The alert carries the true UTC time of day, taken now, not at the transmission.
    m_state.alert_time = utc_time_text();
    QString nature;
    dsc::nature_name(m_state.menu_index, nature);
    m_view.write_lines({
        {1, QStringLiteral("  ## DISTRESS ALERT DATA  ##")},
        {3, QStringLiteral("Nature of Distress =")},
        {4, QStringLiteral("     ") + nature, true},
    });
    if (m_state.menu_index < kNoInfoNature) {
        const StationSettings& g = m_settings;
        const QString position = dsc::cp1252(g.gps_lat) + QStringLiteral("\u00B028\u00B4")
            + dsc::cp1252(g.gps_ns) + QStringLiteral(" / ") + dsc::cp1252(g.gps_lon)
            + QStringLiteral("\u00B015\u00B4") + dsc::cp1252(g.gps_EW);
        m_view.write_lines({
            {5, QStringLiteral("Simulated Position =")},
            {6, position},
            {7, QStringLiteral("Time = ") + QString::fromLatin1(m_state.alert_time) + QStringLiteral(" UTC")},
        });
    } else {
        m_view.write_lines({
            {5, QStringLiteral("        No Time data")},
            {6, QStringLiteral("        No Position data")},
        });
        m_state.distress_no_info = 1;
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
