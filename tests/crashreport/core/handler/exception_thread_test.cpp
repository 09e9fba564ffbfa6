#include "crashreport/core/handler/exception_thread.h"

#include <gtest/gtest.h>

#include <QDir>

#include <chrono>
#include <functional>
#include <thread>

#include "crashreport/core/core_in_child.h"
#include "crashreport/core/options/crashbox_options.h"
#include "support/test_support.h"

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

namespace {

struct TFreezeCase {
    const char* name;
    bool activate;       // FreezeActivate
    bool switchOff;      // Active switched off again before the time-out
    bool windowAnswers;  // the GUI thread runs what the watchdog posts
    const char* outcome; // the reports in the log and the first one's class
};

void PrintTo(const TFreezeCase& c, std::ostream* os) { *os << c.name; }

class FreezeWatchdogRun : public ::testing::TestWithParam<TFreezeCase> {};

} // namespace

// The core in a child: the window thread is the child's main thread, which
// never serves what is posted to it unless the case says so. The time-out is
// one second; the child waits 1.8 seconds.
TEST_P(FreezeWatchdogRun, ReportsAFrozenWindowOnceAsTheOptionsSay)
{
    const TFreezeCase& c = GetParam();
    cvtest::TempDir dir;
    int status = -1;
    const QString outcome = cvtest::runInChild(
        [&] {
            TCrashboxModuleOptions& options = cvtest::StartCoreInChild(dir.path());
            SetFreezeWatchdogStep(10);
            const bool answers = c.windowAnswers;
            SetGuiThreadPoster([answers](std::function<void()> procedure) {
                if (answers)
                    procedure();
            });
            options.SetFreezeTimeout(1);
            options.SetFreezeActivate(c.activate);
            if (c.switchOff)
                options.SetActive(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(1800));
            const int reports = cvtest::LogEntries(dir.path());
            QString text = QString::number(reports);
            for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("*.elf")}, QDir::Files))
                text += QLatin1Char(' ')
                        + QString::fromStdString(TLogFile(dir.file(name).toStdString(), true).GetItemValue("2.5", 0));
            SetGuiThreadPoster({});
            return text;
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outcome, QString::fromLatin1(c.outcome));
}

INSTANTIATE_TEST_SUITE_P(Cases, FreezeWatchdogRun,
                         ::testing::Values(TFreezeCase{"AFrozenWindowIsReportedOnce", true, false, false, "1 EFrozenApplication"},
                                           TFreezeCase{"AnAnsweringWindowIsNot", true, false, true, "0"},
                                           TFreezeCase{"NotWithoutFreezeActivate", false, false, false, "0"},
                                           TFreezeCase{"NotOnceActiveIsOff", true, true, false, "0"}),
                         [](const ::testing::TestParamInfo<TFreezeCase>& info) { return std::string(info.param.name); });
