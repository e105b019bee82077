// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/station.h"

Station::Station(StationPorts ports) : m_ports(ports), m_voice(m_view, m_ports.ui, m_ports.voice, m_ports.rxTimer)
{
}

void Station::repaint()
{
    m_ports.ui.repaint();
}

void Station::sleep(int ms)
{
    m_ports.ui.sleep(ms);
}

void Station::play_cue(unsigned index)
{
    m_ports.cues.play_cue(index);
}
