// SPDX-License-Identifier: GPL-3.0-or-later
// Sound cues: a cue index names a short WAV file beside the program.
#pragma once

#include "audio/cue_engine.h"
#include "station/ports.h"

#include <QString>
#include <functional>
#include <map>
#include <memory>

// The bare file name of a cue, or an empty name for an index without a file.
QString cue_file(unsigned index);

// Plays cues one at a time: a new cue cuts the one in progress; play_cue never blocks and the
// sound starts within a few milliseconds even while the calling thread sleeps. The cue files
// beside the program are read once, when the player is made. A cue without a readable file, or
// no sound output, gives the platform's default beep instead.
class CuePlayer : public CuePort {
public:
    // `server`: the PulseAudio server ("unix:/path"); empty for the user's own.
    CuePlayer(const QString& programFolder, std::function<void()> beep, const QString& server = {});
    void play_cue(unsigned index) override;

private:
    std::function<void()> m_beep;
    std::map<unsigned, std::shared_ptr<const CueSound>> m_sounds;   // the cues whose file was read
    CueEngine m_engine;
};
