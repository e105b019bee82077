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

TEST(VoiceDevice, PlaybackOverflowFallsBackToAShortReserve)
{
    // Up to the maximum nothing goes; past it, the buffer keeps only the newest reserve, whole
    // stereo frames, so a stall at the start of a talk does not leave the whole talk late.
    EXPECT_EQ(WaveOut::overflow_drop(0), 0);
    EXPECT_EQ(WaveOut::overflow_drop(WaveOut::max_buffered), 0);
    const qsizetype over = WaveOut::max_buffered + 4 * 441;   // 10 ms too much
    EXPECT_EQ(over - WaveOut::overflow_drop(over), WaveOut::reserve_buffered);
    EXPECT_EQ(WaveOut::overflow_drop(over) % 4, 0);
}

TEST(VoiceDevice, PlaybackDelayThatIsNeverNeededIsDropped)
{
    const qsizetype ms = 44100 * 4 / 1000;
    // Audio that stood at 100 ms or more for a whole window: all but the reserve goes, once.
    WaveOut::StandingDelay late;
    EXPECT_EQ(late.after_top_up(120 * ms, 0), 0);
    EXPECT_EQ(late.after_top_up(100 * ms, 200), 0);
    EXPECT_EQ(late.after_top_up(130 * ms, 499), 0);
    EXPECT_EQ(late.after_top_up(110 * ms, 500), 100 * ms - WaveOut::reserve_buffered);
    EXPECT_EQ(late.after_top_up(WaveOut::reserve_buffered + 10 * ms, 700), 0);   // a new window
    EXPECT_EQ(late.after_top_up(WaveOut::reserve_buffered, 1000), 0);

    // A buffer that ran empty once in the window was needed as it was: nothing goes.
    WaveOut::StandingDelay jittery;
    jittery.after_top_up(150 * ms, 0);
    jittery.after_top_up(0, 100);
    EXPECT_EQ(jittery.after_top_up(150 * ms, 500), 0);
}
