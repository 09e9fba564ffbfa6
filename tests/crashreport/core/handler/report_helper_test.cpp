#include "crashreport/core/handler/report_helper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace cv;
using namespace std::chrono_literals;

// A part is done on the helper's thread and given back done; the helper
// takes one part at a time, and the next once the last was taken back.
TEST(ReportHelper, DoesOnePartAtATimeOnItsOwnThread)
{
    TReportHelper helper;
    std::atomic<bool> began{false}, release{false};
    std::thread::id doneOn;
    ASSERT_TRUE(helper.Begin([&](const std::atomic<bool>&) {
        doneOn = std::this_thread::get_id();
        began = true;
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    }));
    while (!began.load())
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(helper.Begin([](const std::atomic<bool>&) {})) << "a second part while the first is held";
    release = true;
    EXPECT_TRUE(helper.End());
    EXPECT_NE(doneOn, std::this_thread::get_id());
    int runs = 0;
    ASSERT_TRUE(helper.Begin([&](const std::atomic<bool>&) { ++runs; }));
    const bool done = helper.End();
    // Taken back before it began: the caller does it instead.
    EXPECT_EQ(runs, done ? 1 : 0);
}

// A part no longer wanted is told to stop and waited for, by End and by
// the helper's end alike: neither hangs on a part that runs until stopped.
TEST(ReportHelper, StopsAPartUnderWay)
{
    std::atomic<bool> began{false}, stopped{false};
    const auto untilStopped = [&](const std::atomic<bool>& stop) {
        began = true;
        while (!stop.load())
            std::this_thread::sleep_for(1ms);
        stopped = true;
    };
    {
        TReportHelper helper;
        ASSERT_TRUE(helper.Begin(untilStopped));
        while (!began.load())
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(helper.End(true));
        EXPECT_TRUE(stopped.load());
        began = stopped = false;
        ASSERT_TRUE(helper.Begin(untilStopped));
        while (!began.load())
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(stopped.load());
}

} // namespace
