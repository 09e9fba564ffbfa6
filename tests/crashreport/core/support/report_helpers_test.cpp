#include "crashreport/core/support/report_helpers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/memory_map.h"

namespace {

using namespace cv;
using cvtest::InZone;

struct Span {
    double days;
    const char* text;
};

class TimeSpans : public ::testing::TestWithParam<Span> {};

TEST_P(TimeSpans, PartsThatAreZeroAreLeftOutButSeconds)
{
    EXPECT_EQ(TimeSpanToText(GetParam().days), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Report, TimeSpans,
                         ::testing::Values(Span{1.0, "1 day, 0 second"},
                                           Span{90.0 / 1440, "1 hour, 30 minutes, 0 second"},
                                           Span{2 + (3 * 3600 + 60 + 2) / 86400.0, "2 days, 3 hours, 1 minute, 2 seconds"},
                                           Span{0.0, "0 second"}, Span{1.9 / 86400, "1 second"}));

TEST(ReportTexts, DatesInMailFormCarryTheirZone)
{
    const TDateTime when = EncodeDateTime(2024, 3, 5, 14, 3, 9);
    {
        InZone zone("XXX-2");
        EXPECT_EQ(DateTimeToRFC822(when), "Tue, 5 Mar 2024 14:03:09 +0200");
        EXPECT_EQ(LocalTimeOffsetHours(), 2);
    }
    {
        InZone zone("XXX5");
        EXPECT_EQ(DateTimeToRFC822(when), "Tue, 5 Mar 2024 14:03:09 -0500");
    }
    {
        InZone zone("XXX-10");
        EXPECT_EQ(DateTimeToRFC822(EncodeDateTime(1999, 12, 31, 23, 59, 59)), "Fri, 31 Dec 1999 23:59:59 +1000");
    }
    {
        // Half an hour is kept, not rounded away.
        InZone zone("XXX-5:30");
        EXPECT_EQ(DateTimeToRFC822(when), "Tue, 5 Mar 2024 14:03:09 +0530");
    }
}

TEST(ReportTexts, HtmlEscapingNeverEscapesItsOwnAmpersands)
{
    EXPECT_EQ(TextToHTML("a<b & \"c\" 'd'>"), "a&lt;b &amp; &quot;c&quot; &#039;d&#039;&gt;");
    EXPECT_EQ(TextToHTML("x   y"), "x&nbsp;&nbsp; y");
    EXPECT_EQ(TextToHTML("one\r\ntwo\nthree"), "one<br>\r\ntwo<br>\nthree");
    EXPECT_EQ(TextToHTML("&amp;"), "&amp;amp;");
}

TEST(ReportTexts, SmallTexts)
{
    EXPECT_EQ(FlattenControlChars("a\r\n\tb\x01" "c"), "a b c");
    EXPECT_EQ(PadRight("ab", 5), "ab   ");
    EXPECT_EQ(PadRight("abcdef", 3), "abcdef");
    EXPECT_EQ(IfThenStrA(true, "x"), "x");
    EXPECT_EQ(IfThenStrA(false, "x"), "");
    EXPECT_EQ(GetTempFolder().back(), '/');
    EXPECT_NE(GetCommandLineStr().find(ExtractFileName(QCoreApplication::applicationFilePath().toStdString())),
              std::string::npos);
}

TEST(ReportTexts, NamesComeFromThisSystem)
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(GetComputerNameStr(), host);
    EXPECT_EQ(GetCurrentUserName(), getpwuid(geteuid())->pw_name);
    const std::string owner = GetRegisteredOwner();
    EXPECT_EQ(owner.find(','), std::string::npos);
    EXPECT_FALSE(GetWindowsVersionName().empty());
    EXPECT_FALSE(GetWindowsBuildNumber().empty());
}

TEST(ReportProcess, TestsOfTheProcessState)
{
    EXPECT_FALSE(IsWow64());
    EXPECT_EQ(CurrentProcessID(), getpid());
    EXPECT_TRUE(IsValidHandle(0));
    const int fd = open("/dev/null", O_RDONLY);
    EXPECT_TRUE(IsValidHandle(fd));
    close(fd);
    EXPECT_FALSE(IsValidHandle(fd));
    EXPECT_FALSE(IsValidHandle(-1));
    EXPECT_TRUE(IsThreadRunning(pid_t(syscall(SYS_gettid))));
    pid_t ended = 0;
    std::thread([&] { ended = pid_t(syscall(SYS_gettid)); }).join();
    // A join returns once the thread has left its code; the system lets it
    // go from the process a moment later (under load, some milliseconds).
    // Ended is when the system no longer lists it among the process's threads.
    const QString task = QStringLiteral("/proc/self/task/%1").arg(ended);
    for (int k = 0; k < 500 && QFileInfo::exists(task); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(QFileInfo::exists(task)) << "the thread is still listed 5 s after its join";
    EXPECT_FALSE(IsThreadRunning(ended));
    int local = 0;
    const uintptr_t base = GetStackBase();
    EXPECT_GT(base, reinterpret_cast<uintptr_t>(&local));
    EXPECT_LT(base - reinterpret_cast<uintptr_t>(&local), 64u << 20);
    EXPECT_EQ(GetModuleFileNameLong(), QCoreApplication::applicationFilePath().toStdString());
    void* pages = AllocPages(8192);
    ASSERT_NE(pages, nullptr);
    EXPECT_TRUE(IsReadableMemory(pages, 8192));
    FreePages(pages, 8192);
}

TEST(ReportProcess, TheCacheKeepsTheTenNewestAnswers)
{
    CacheClear();
    TCacheResult result;
    EXPECT_FALSE(CacheFind(1, 2, 3, result));
    for (uint32_t i = 0; i < 11; ++i)
        CacheAdd(0x1000 + i, i, 7, TCacheResult{uint8_t(i), i * 10, 1, 2});
    EXPECT_FALSE(CacheFind(0x1000, 0, 7, result)); // the oldest went
    ASSERT_TRUE(CacheFind(0x1001, 1, 7, result));
    EXPECT_EQ(result.value, 10u);
    ASSERT_TRUE(CacheFind(0x100A, 10, 7, result));
    EXPECT_EQ(result.flag, 10);
    EXPECT_FALSE(CacheFind(0x100A, 10, 8, result));
    CacheClear();
}

} // namespace
