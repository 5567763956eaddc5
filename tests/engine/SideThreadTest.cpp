#include "SideThread.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Counts the runs of a job; a plain int, so that a job seen by the caller before it ended, or
// run twice, shows in the count (and under ThreadSanitizer as a race).
struct Runs {
    int count = 0;
    std::chrono::microseconds lasting{0};
};

void CountRun(void* argument)
{
    auto& runs = *static_cast<Runs*>(argument);
    std::this_thread::sleep_for(runs.lasting);
    ++runs.count;
}

}  // namespace

// Jobs handed over right after the last (while the thread still watches for one) and after a
// pause (once it sleeps), short and longer than the caller watches for their end: each runs once
// and is done when Wait returns.
TEST(SideThread, EveryJobRunsOnceAndIsDoneWhenWaitReturns)
{
    SideThread side;
    Runs runs;
    for (int job = 0; job < 400; ++job) {
        if (job % 4 == 1)
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        runs.lasting = std::chrono::microseconds(job % 8 == 3 ? 200 : 0);
        ASSERT_TRUE(side.Run(&CountRun, &runs));
        side.Wait();
        ASSERT_EQ(runs.count, job + 1);
    }
}

// The thread ends with its owner only once the job under way is done.
TEST(SideThread, EndsAfterTheJobUnderWay)
{
    Runs runs;
    runs.lasting = std::chrono::milliseconds(20);
    {
        SideThread side;
        ASSERT_TRUE(side.Run(&CountRun, &runs));
    }
    EXPECT_EQ(runs.count, 1);
}
