// SPDX-License-Identifier: GPL-3.0-or-later
// The one way for a test into the station's state: sets up a state that the keys would take long
// to reach, or one they cannot reach at all (a station closing down).
#pragma once

#include "station/station.h"

class StationProbe {
public:
    explicit StationProbe(Station& s) : m_s(s) {}
    PanelState& state() { return m_s.m_state; }
    StationSettings& settings() { return m_s.m_settings; }
    ReplyMemory& replies() { return m_s.m_replies; }
    PanelView& view() { return m_s.m_view; }
    // What the keypad would have typed; a category of 0 keeps the one chosen.
    void set_entry(const QByteArray& mmsi, const QByteArray& channel, int category = 0)
    {
        m_s.m_composer.m_mmsi = mmsi;
        m_s.m_composer.m_channel = channel;
        if (category)
            m_s.m_composer.m_category = category;
    }
    // The distress alert as its data screen would have left it.
    void set_distress(int nature, const QByteArray& time, bool noInfo = false)
    {
        m_s.m_distress.m_nature = nature;
        m_s.m_distress.m_alert_time = time;
        m_s.m_distress.m_no_info = noInfo;
    }
    void set_destroying() { m_s.m_destroying = true; }

private:
    Station& m_s;
};
