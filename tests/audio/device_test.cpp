// SPDX-License-Identifier: GPL-3.0-or-later
// Capture and playback without a sound server: the stages stay inactive and nothing breaks.
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "qt_app.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(VoiceDevice, NoDeviceLeavesStagesInactive)
{
    // A server address that leads nowhere, so the test means the same on every machine.
    qputenv("PULSE_SERVER", "unix:/nonexistent/kelvo-no-server");
    ensure_qt_app();
    WaveIn in;
    WaveOut out;
    EXPECT_FALSE(in.open());
    EXPECT_FALSE(in.active());
    EXPECT_FALSE(out.open());
    const char block[64] = {};
    out.write(WaveOut::playback_format, block, sizeof block);   // dropped, no crash
    in.close();
    out.close();
    EXPECT_FALSE(out.active());
}
