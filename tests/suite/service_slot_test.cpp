#include "suite/service_slot.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct TService {
    int id = 0;
};

struct TOtherTag;
using TSlot = cv::TServiceSlot<TService*>;
using TRunnerSlot = cv::TServiceSlot<std::function<int()>>;
using TOtherRunnerSlot = cv::TServiceSlot<std::function<int()>, TOtherTag>;

TEST(ServiceSlot, GuardsNestAndEachPutsBackWhatWasThere)
{
    TService outer{1}, inner{2};
    ASSERT_EQ(TSlot::Current(), nullptr);
    {
        TSlot::TGuard first(&outer);
        EXPECT_EQ(TSlot::Current(), &outer);
        {
            TSlot::TGuard second(&inner);
            EXPECT_EQ(TSlot::Current(), &inner);
            // A guard of nothing hides the services around it.
            TSlot::TGuard none(nullptr);
            EXPECT_EQ(TSlot::Current(), nullptr);
        }
        EXPECT_EQ(TSlot::Current(), &outer);
    }
    EXPECT_EQ(TSlot::Current(), nullptr);
}

TEST(ServiceSlot, SlotsOfOneTypeWithTwoTagsStayApart)
{
    TRunnerSlot::TGuard runner([] { return 7; });
    EXPECT_FALSE(TOtherRunnerSlot::Current());
    {
        TOtherRunnerSlot::TGuard other([] { return 9; });
        EXPECT_EQ(TRunnerSlot::Current()(), 7);
        EXPECT_EQ(TOtherRunnerSlot::Current()(), 9);
    }
    EXPECT_FALSE(TOtherRunnerSlot::Current());
    EXPECT_EQ(TRunnerSlot::Current()(), 7);
}

} // namespace
