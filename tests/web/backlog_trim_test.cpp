// SPDX-License-Identifier: GPL-3.0-or-later
// The web microphone's pacer lets go of what a burst left queued, and of nothing a jittery page needs.
#include "exchange/web/mic_sender.h"

#include <gtest/gtest.h>

#include <algorithm>

using exchange::web::BacklogTrim;
using exchange::web::MicSender;

namespace {

struct Queue {
    std::vector<std::size_t> after;   // the queue's length after each step
    int dry = 0;                      // steps that found less than 20 ms queued
};

// The pacer's queue over `steps` steps of 20 ms: the page's frames arrive by `arrivals(step)`
// samples, a step takes 20 ms of them, the trim lets go of what it says.
template <typename Arrivals>
Queue run(BacklogTrim& trim, std::size_t queued, int steps, Arrivals arrivals)
{
    Queue r;
    for (int i = 0; i < steps; ++i) {
        queued += arrivals(i);
        r.dry += queued < std::size_t(MicSender::kStepSamples);
        queued -= std::min(queued, std::size_t(MicSender::kStepSamples));
        queued -= trim.afterStep(queued);
        r.after.push_back(queued);
    }
    return r;
}

} // namespace

TEST(BacklogTrim, ABurstAtTheStartIsLetGoWithinASecondAndAJitteryPageKeepsAllItNeeds)
{
    const int second = BacklogTrim::kWindowSteps;
    // Half a second arrived at once, then a frame every step: the delay it adds is gone after a
    // second of steps, down to the margin, and stays there.
    BacklogTrim burst;
    const Queue steady = run(burst, 8000, 3 * second, [](int) { return 320; });
    EXPECT_EQ(steady.after[second - 2], 8000u);
    for (std::size_t i = second - 1; i < steady.after.size(); ++i)
        ASSERT_EQ(steady.after[i], BacklogTrim::kMarginSamples) << "step " << i;
    EXPECT_EQ(steady.dry, 0);

    // A page whose frames come three at a time every third step, after a start of 80 ms: trimmed
    // to what the clumps need, never to a step without its 20 ms.
    BacklogTrim clumps;
    const Queue clumped = run(clumps, 1280, 5 * second, [](int i) { return i % 3 ? 0 : 960; });
    EXPECT_EQ(clumped.dry, 0);
    EXPECT_EQ(*std::min_element(clumped.after.end() - second, clumped.after.end()), BacklogTrim::kMarginSamples);

    // A page that stalls 60 ms every half second, its late frames arriving at once: the dips are
    // in every window, so the queue it needs to ride them out is kept.
    BacklogTrim stalls;
    const Queue stalled = run(stalls, 1280, 5 * second, [](int i) {
        const int phase = i % 25;
        return phase < 3 ? 0 : phase == 3 ? 4 * 320 : 320;
    });
    EXPECT_EQ(stalled.dry, 0);

    // After a restart (the queue ran dry), what came before is forgotten.
    stalls.restart();
    EXPECT_EQ(stalls.afterStep(5000), 0u);
}
