#include "station/station.h"

#include <QDir>

Station::Station(StationPorts ports, QString programFolder)
    : m_ports(ports), m_folder(std::move(programFolder))
{
}

QString Station::iniPath() const
{
    return settings_path(m_folder);
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
