#include "crashreport/core/exception_thread.h"

#include <gtest/gtest.h>

#include "crashreport/core/crashbox_options.h"

using namespace cv;

TEST(FreezeWatchdog, AnAnswerResetsTheCountAndSilenceAddsASteps)
{
    int count = 0;
    count = FreezeCountAfterPing(count, false, 50);
    count = FreezeCountAfterPing(count, false, 50);
    EXPECT_EQ(count, 100);
    count = FreezeCountAfterPing(count, true, 50);
    EXPECT_EQ(count, 0) << "one slow answer does not carry over an answered pass";
    EXPECT_EQ(FreezeCountAfterPing(count, false, 50), 50);
}

TEST(FreezeWatchdog, RunsWhileBothActiveAndFreezeActivateAreOn)
{
    ActivateCrashbox("/opt/tool/tool", std::make_unique<TCrashboxModuleOptionsEx>("/opt/tool/tool"));
    TCrashboxModuleOptions& options = CurrentCrashboxOptions();
    EXPECT_FALSE(FreezeWatchdogRunning());
    options.SetFreezeActivate(true);
    EXPECT_TRUE(FreezeWatchdogRunning());
    options.SetActive(false);
    EXPECT_FALSE(FreezeWatchdogRunning());
    options.SetActive(true);
    EXPECT_TRUE(FreezeWatchdogRunning()) << "switched on again, a new one starts";

    // Other options objects never touch it.
    TCrashboxModuleOptionsEx other("/opt/tool/tool");
    other.SetActive(false);
    EXPECT_TRUE(FreezeWatchdogRunning());

    options.SetFreezeActivate(false);
    EXPECT_FALSE(FreezeWatchdogRunning());
    StopFreezeWatchdog();
    DeactivateCrashbox();
}
