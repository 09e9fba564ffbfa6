#include "crashreport/core/exception_handler.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "crashreport/core/crashbox_helpers.h"

using namespace cv;

namespace {

TCrashboxDebugInfo Entry(uint32_t thread, TCrashboxDebugDetail detail, const char* unit, const char* procedure,
                         uint32_t offset)
{
    TCrashboxDebugInfo e;
    e.ThreadID = thread;
    e.DebugDetail = detail;
    e.UnitName = unit;
    e.ProcedureName = procedure;
    e.ProcOffsetLine = offset;
    return e;
}

} // namespace

TEST(ErrorID, TheSameErrorAtTheSamePlacesHasTheSameID)
{
    TCrashboxStackList stack;
    stack.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "Fault", 2)));
    stack.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "main", 9)));
    const std::string id = ComputeErrorID("tool", "tool", "EAccessViolation", &stack, 7);
    ASSERT_EQ(id.size(), 4u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    // Entries of other threads, and entries without a source line, change nothing.
    TCrashboxStackList more;
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "Fault", 2)));
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddProcedure, "", "memcpy", 0)));
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(8, TCrashboxDebugDetail::ddSourceCode, "other.cpp", "Run", 1)));
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "main", 9)));
    EXPECT_EQ(ComputeErrorID("tool", "tool", "EAccessViolation", &more, 7), id);

    // Another line within the procedure, another class or program: another error.
    more.GetItem(0)->ProcOffsetLine = 3;
    EXPECT_NE(ComputeErrorID("tool", "tool", "EAccessViolation", &more, 7), id);
    EXPECT_NE(ComputeErrorID("tool", "tool", "EDivByZero", &stack, 7), id);
    EXPECT_NE(ComputeErrorID("other", "tool", "EAccessViolation", &stack, 7), id);
}

TEST(AutoCrashOperation, ErrorsComeTooOftenWhenTheWholeNumberFallsWithinTheMinutes)
{
    const TDateTime start = EncodeDateTime(2024, 3, 4, 10, 0, 0);
    const TDateTime second = 1.0 / 86400;
    std::vector<TDateTime> times;
    for (int i = 0; i < 3; ++i)
        AddErrorTime(times, start + i * 10 * second, 4);
    EXPECT_FALSE(ErrorsCameTooOften(times, 4, 1)) << "three errors of four";
    AddErrorTime(times, start + 60 * second, 4);
    EXPECT_TRUE(ErrorsCameTooOften(times, 4, 1)) << "four within one minute";
    AddErrorTime(times, start + 100 * second, 4);
    ASSERT_EQ(times.size(), 4u) << "the oldest goes";
    EXPECT_DOUBLE_EQ(times.front(), start + 10 * second);
    EXPECT_FALSE(ErrorsCameTooOften(times, 4, 1)) << "the four last span 90 seconds";
    EXPECT_TRUE(ErrorsCameTooOften(times, 4, 2));
}

TEST(LeakReserve, IsLetGoAndTakenAgain)
{
    ReserveLeakReserve();
    EXPECT_TRUE(LeakReserveHeld());
    ReleaseLeakReserve();
    EXPECT_FALSE(LeakReserveHeld());
    ReserveLeakReserve();
    EXPECT_TRUE(LeakReserveHeld());
    ReleaseLeakReserve();
}

TEST(RunInExceptionThread, WithoutAnExceptionTheProcedureRunsHereAndItsFailureStaysInIt)
{
    int runs = 0;
    EXPECT_TRUE(RunInExceptionThread([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(RunInExceptionThread([] { throw std::runtime_error("a failing event"); }));
    SetHandlingDisabled(true);
    EXPECT_FALSE(RunInExceptionThread([&] { ++runs; }));
    SetHandlingDisabled(false);
    EXPECT_EQ(runs, 1);
}
