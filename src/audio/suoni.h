// Sound cues: a cue index names a short WAV file beside the program.
#pragma once

#include "station/ports.h"

#include <QString>
#include <functional>
#include <memory>

class QSoundEffect;

// The bare file name of a cue, or an empty name for an index without a file.
QString cue_file(unsigned index);

// Plays cues one at a time: a new cue cuts the one in progress; never blocks. A missing file, or
// no way to play it, gives the platform's default beep instead.
class QtCuePlayer : public CuePort {
public:
    QtCuePlayer(QString programFolder, std::function<void()> beep);
    ~QtCuePlayer() override;
    void play_cue(unsigned index) override;

private:
    QString m_folder;
    std::function<void()> m_beep;
    std::unique_ptr<QSoundEffect> m_effect;
};
