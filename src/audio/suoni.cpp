// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/suoni.h"

#include <QDir>

QString cue_file(unsigned index)
{
    switch (index) {
    case 1: return QStringLiteral("btn1.wav");
    case 2: return QStringLiteral("btn2.wav");
    case 3: return QStringLiteral("btn3.wav");
    case 4: return QStringLiteral("alarm1.wav");
    case 5: return QStringLiteral("btn5.wav");
    case 6: return QStringLiteral("btn6.wav");
    case 10: return QStringLiteral("gpsON.wav");
    case 11: return QStringLiteral("gpsOFF.wav");
    case 15: return QStringLiteral("alarm1.wav");
    case 16: return QStringLiteral("alarm4.wav");
    case 20: return QStringLiteral("tx.wav");
    default: return {};
    }
}

CuePlayer::CuePlayer(const QString& programFolder, std::function<void()> beep, const QString& server)
    : m_beep(std::move(beep)), m_engine(server)
{
    // Cues are looked for beside the program, not in the current directory (the message player
    // changes that). Indices that share a file share its sound.
    std::map<QString, std::shared_ptr<const CueSound>> byName;
    for (unsigned index = 0; index <= 20; ++index) {
        const QString name = cue_file(index);
        if (name.isEmpty())
            continue;
        auto& sound = byName[name];
        if (!sound) {
            CueSound pcm = CueEngine::decode(QDir(programFolder).filePath(name));
            if (pcm.empty())
                continue;
            sound = std::make_shared<const CueSound>(std::move(pcm));
        }
        m_sounds[index] = sound;
    }
}

void CuePlayer::play_cue(unsigned index)
{
    const auto it = m_sounds.find(index);
    if ((it == m_sounds.end() || !m_engine.play(it->second)) && m_beep)
        m_beep();
}
