// SPDX-License-Identifier: GPL-3.0-or-later
// The distress alert being prepared: the nature chosen on its list, whether the alert carries no
// time and position (nature 13), and the UTC time stamped on its data screen. It knows the list's
// entries and which of them the LCD shows; nothing of keys, sounds or pauses.
#pragma once

#include "panel/panel_view.h"

#include <QByteArray>
#include <vector>

// Moves the cursor of a selection list of `count` entries by `step`. A step that would leave the
// list holds the cursor at its end and returns false.
constexpr bool step_list_cursor(int& index, int step, int count)
{
    index += step;
    if (index < 1 || index > count) {
        index = index < 1 ? 1 : count;
        return false;
    }
    return true;
}

class DistressMenu {
public:
    static constexpr int kNatureCount = 13;
    static constexpr int kNoInfoNature = 13;   // "Undesignated" without time or position

    int nature() const { return m_nature; }   // 1 to 13 while the alert is prepared, 0 otherwise
    bool no_info() const { return m_no_info; }
    const QByteArray& alert_time() const { return m_alert_time; }   // "hh:mm"

    void open() { m_nature = 1; }   // the list opens on the first nature
    // Leaves the alert (ESC): no nature chosen, and no "no information" left for the next alert.
    void leave()
    {
        m_nature = 0;
        m_no_info = false;
    }
    bool step(int by) { return step_list_cursor(m_nature, by, kNatureCount); }
    // The data screen: the time of day taken now; nature 13 marks the alert as carrying no data.
    void stamp(const QByteArray& utcTime)
    {
        m_alert_time = utcTime;
        if (m_nature >= kNoInfoNature)
            m_no_info = true;
    }
    void clear_no_info() { m_no_info = false; }   // spent by the alert's transmission

    // Lines 3 to 8 of the list with `index` selected; nothing for an index outside the list.
    static std::vector<ScreenLine> list_lines(int index);

private:
    friend class StationProbe;

    int m_nature = 0;
    bool m_no_info = false;
    QByteArray m_alert_time;
};
