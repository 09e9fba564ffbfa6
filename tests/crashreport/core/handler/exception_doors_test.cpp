#include "crashreport/core/handler/exception_doors.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <thread>

#include "crashreport/core/capture/known_registers.h"
#include "crashreport/core/core_in_child.h"
#include "crashreport/core/options/crashbox_records.h"
#include "support/test_support.h"

using namespace cv;

namespace {
int* volatile gNowhere = nullptr;
}

TEST(ExcludedThreads, AreAddedOnceAndRemoved)
{
    EXPECT_FALSE(IsThreadExcluded(4711));
    AddExcludedThread(4711);
    AddExcludedThread(4711);
    AddExcludedThread(4712);
    EXPECT_TRUE(IsThreadExcluded(4711));
    RemoveExcludedThread(4711);
    EXPECT_FALSE(IsThreadExcluded(4711));
    EXPECT_TRUE(IsThreadExcluded(4712));
    RemoveExcludedThread(4712);
    EXPECT_FALSE(CurrentThreadExcluded());
}

TEST(GuardedCalls, AnExceptionEndsTheCallAndNothingMore)
{
    int signal = -1;
    EXPECT_FALSE(CallGuarded([] { throw std::runtime_error("inside"); }, &signal));
    EXPECT_EQ(signal, 0);
    EXPECT_TRUE(CallGuarded([] {}, &signal));
}

// The signal door's part in guarded calls: with the doors of a switched-off
// core in place, a fault inside a guarded call ends that call, and a fault
// outside one still ends the process by its own signal.
TEST(GuardedCalls, AFaultInsideEndsTheCallWithItsSignal)
{
    int result = 0;
    const QString text = cvtest::runInChild(
        [] {
            InstallSignalDoors();
            int signal = 0;
            const bool finished = CallGuarded([] { *gNowhere = 1; }, &signal);
            const bool nested = CallGuarded([] {
                int inner = 0;
                CallGuarded([] { std::raise(SIGFPE); }, &inner);
                if (inner != SIGFPE)
                    throw std::logic_error("the inner guard missed");
            });
            RemoveSignalDoors();
            return QStringLiteral("%1 %2 %3").arg(finished).arg(signal).arg(nested);
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, QStringLiteral("0 %1 1").arg(SIGSEGV));

    const QString unguarded = cvtest::runInChild(
        [] {
            InstallSignalDoors();
            *gNowhere = 1;
            return QStringLiteral("survived");
        },
        &result);
    EXPECT_EQ(result, -SIGSEGV) << unguarded.toStdString();
}

// The core in a child: an excluded thread's exceptions and faults pass every
// door unreported, as without the core; the other threads' are reported, and
// so are its own once it is no longer excluded.
TEST(ExcludedThreads, PassEveryDoorUnreported)
{
    cvtest::TempDir dir;
    int status = -1;
    const QString answers = cvtest::runInChild(
        [&] {
            cvtest::StartCoreInChild(dir.path());
            const TExceptionObject object = cvtest::ProgramException("in an excluded thread");
            auto manager = [&object] {
                return ExceptionManager(&object, 0, rtLocal, CrashboxLibraryModuleHandle()) ? QStringLiteral("passed ")
                                                                                             : QStringLiteral("handled ");
            };
            AddExcludedThread(CurrentThreadID());
            QString text = manager();
            std::thread([&] { text += manager(); }).join();
            RemoveExcludedThread(CurrentThreadID());
            text += manager();
            return text + QString::number(cvtest::LogEntries(dir.path()));
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(answers, QStringLiteral("passed handled handled 2"));

    const QString fault = cvtest::runInChild(
        [&] {
            cvtest::StartCoreInChild(dir.path());
            AddExcludedThread(CurrentThreadID());
            *gNowhere = 1;
            return QStringLiteral("survived");
        },
        &status);
    EXPECT_EQ(status, -SIGSEGV) << fault.toStdString();
    EXPECT_EQ(cvtest::LogEntries(dir.path()), 2) << "the fault added no report";
}

// Another module's raise, known by its address and stack pointer only: the
// thread's context holds those two and no register of the raise's own code.
TEST(GeneralRaise, AThrowKnownOnlyByItsPlaceKeepsTheOtherRegistersUnknown)
{
    ClearThreadRaiseInfo();
    const int thrown = 0;
    Crashbox_CallGeneralRaise(&thrown, &typeid(int), 0x401005, 0x7FFD2000);
    const TSavedRaiseInfo& raise = ThreadRaiseInfo();
    ASSERT_TRUE(raise.ContextValid);
    EXPECT_EQ(raise.Context.uc_mcontext.gregs[REG_RIP], 0x401000) << "the throwing call";
    EXPECT_EQ(raise.Context.uc_mcontext.gregs[REG_RSP], 0x7FFD2000);
    for (const int other : {REG_RBX, REG_RBP, REG_R12, REG_R15, REG_RAX, REG_EFL})
        EXPECT_FALSE(RegisterKnown(raise.Context, other)) << other;
    EXPECT_TRUE(RegisterKnown(raise.Context, REG_RIP) && RegisterKnown(raise.Context, REG_RSP));
    ClearThreadRaiseInfo();
}
