#include "runtime/start_an_app.h"

#include "runtime/runtime_testutil.h"
#include "support/test_support.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/named_mutex.h"
#include "suite/process_utils.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

class StartAnApp : public ::testing::Test {
protected:
    cvtest::TSuiteSandbox sandbox;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard{&dialogs};

    // An executable shell script in the sandbox.
    QString script(const char* name, const QString& body)
    {
        const QString file = sandbox.File(QLatin1String(name));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\n" + body).toLocal8Bit());
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
        return file;
    }

    // The one fatal "Can't start" message naming the file.
    void expectCantStart(const QString& file, const char* reason)
    {
        ASSERT_EQ(dialogs.Requests().size(), 1u);
        const auto& r = dialogs.Requests()[0];
        EXPECT_EQ(r.kind, cv::TDialogKind::Fatal);
        EXPECT_EQ(r.caption, QStringLiteral("Fatal Error"));
        EXPECT_TRUE(r.text.startsWith(QStringLiteral("Can't start ") + file)) << r.text.toStdString();
        EXPECT_TRUE(r.text.contains(QLatin1String(reason))) << r.text.toStdString();
    }
};


TEST_F(StartAnApp, MissingControllerProgramIsFatal)
{
    const QString missing = sandbox.File(QStringLiteral("no-controller"));
    qputenv("CV_CONTROLLER_PROGRAM", missing.toLocal8Bit());
    EXPECT_FALSE(cv::StartAnApp(cv::kToolController));
    expectCantStart(missing, "does not exist");
}

TEST_F(StartAnApp, ControllerProgramThatIsNotExecutableIsFatal)
{
    const QString plain = sandbox.File(QStringLiteral("controller.txt"));
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    qputenv("CV_CONTROLLER_PROGRAM", plain.toLocal8Bit());
    EXPECT_FALSE(cv::StartAnApp(cv::kToolController));
    expectCantStart(plain, "not executable");

    dialogs.Clear();
    qputenv("CV_CONTROLLER_PROGRAM", sandbox.Dir().toLocal8Bit());
    EXPECT_FALSE(cv::StartAnApp(cv::kToolController));
    expectCantStart(sandbox.Dir(), "not a file");
}

TEST_F(StartAnApp, ControllerThatEndsWithoutReportingIsFatalAtOnce)
{
    const QString dies = script("dies.sh", QStringLiteral("exit 1\n"));
    qputenv("CV_CONTROLLER_PROGRAM", dies.toLocal8Bit());
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(cv::StartAnApp(cv::kToolController, {}, 20000));
    EXPECT_LT(t.elapsed(), 10000) << "no waiting for the whole time limit";
    expectCantStart(dies, "ended before it was ready");
}

TEST_F(StartAnApp, ControllerThatNeverReportsTimesOut)
{
    const QString pidFile = sandbox.File(QStringLiteral("sleeps.pid"));
    const QString sleeps = script("sleeps.sh", QStringLiteral("echo $$ > '%1'\nexec sleep 30\n").arg(pidFile));
    qputenv("CV_CONTROLLER_PROGRAM", sleeps.toLocal8Bit());
    EXPECT_FALSE(cv::StartAnApp(cv::kToolController, {}, 300));
    expectCantStart(sleeps, "did not report ready");
    // It was started by this test: end it.
    const qint64 pid = cvtest::readAll(pidFile).trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
}

TEST_F(StartAnApp, RunningControllerIsLeftAlone)
{
    // Its mutex is held (here by the test itself): nothing is started.
    auto mutex = cv::TNamedMutex::Create(cv::ControllerMutexName());
    ASSERT_TRUE(mutex);
    qputenv("CV_CONTROLLER_PROGRAM", sandbox.File(QStringLiteral("never-started")).toLocal8Bit());
    EXPECT_TRUE(cv::StartAnApp(cv::kToolController));
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(StartAnApp, StartsTheControllerAndWaitsUntilItIsReady)
{
    ASSERT_FALSE(cv::ControllerMutexExists());
    EXPECT_TRUE(cv::StartAnApp(cv::kToolController, {QStringLiteral("--quiet"), QStringLiteral("--no-stdin")}, 20000));
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_TRUE(cv::GetCVShellInitialised());
    EXPECT_TRUE(cv::TSettingsBuffer::Instance().IsShared()) << "the tool now uses the controller's buffer";
    EXPECT_TRUE(cv::ControllerMutexExists());
    EXPECT_NE(cv::GetShellWnd(), 0u);
    EXPECT_NE(cv::GetControllerProcessId(), cv::CurrentProcessId());
    EXPECT_EQ(cv::GetActiveMainToolWindow(cv::kToolController), cv::GetShellWnd());
    // The sandbox ends the controller; it must then look gone.
    const int64_t pid = cv::GetControllerProcessId();
    sandbox.StopController();
    EXPECT_FALSE(cv::ProcessIsAlive(pid));
    EXPECT_FALSE(cv::GetCVShellInitialised());
    EXPECT_EQ(cv::GetShellWnd(), 0u) << "the controller clears its window at exit";
}

TEST_F(StartAnApp, OtherToolsNeedTheirProgramFile)
{
    EXPECT_FALSE(cv::StartAnApp(cv::kToolConcordance));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].kind, cv::TDialogKind::Error);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(cv::GetShortToolFilename(cv::kToolConcordance)));
}

TEST_F(StartAnApp, StandaloneStartUpNeedsNoController)
{
    cv::TToolStartupOptions o;
    o.startController = false;
    EXPECT_TRUE(cv::ToolStartup(o));
    EXPECT_FALSE(cv::TSettingsBuffer::Instance().IsShared());
    EXPECT_FALSE(cv::ControllerMutexExists());
    EXPECT_TRUE(dialogs.Requests().empty());
}

#if defined(__GLIBC__) && defined(__linux__)
// The flags of the mapping that holds `address`, as /proc/self/smaps lists them.
std::string MappingFlags(const void* address)
{
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " ", &from, &to) == 2 && line.find(' ') > line.find('-'))
            inside = at >= from && at < to;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

TEST(PrepareMemoryForJobs, BlocksTakenAfterwardsLieWhereLargePagesMayBack)
{
    if (!std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"))
        GTEST_SKIP() << "no large pages in this system";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer has a heap of its own";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the address sanitizer has a heap of its own";
#endif
#endif
    // In a process of its own (the heap as a program starts), as the tool's
    // main does it. The first block the job takes must not start in the
    // stretch of the heap below the first large page.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            cv::PrepareMemoryForJobs();
            void* block = std::malloc(std::size_t(8) << 20);
            const std::string flags = MappingFlags(block);
            std::fprintf(stderr, "%s\n", flags.c_str());
            std::_Exit(flags.find(" hg") != std::string::npos ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Under a limit of the address space the heap is not grown ahead: the room
// stays for what maps memory of its own (here a 64 MB mapping, as a
// library's or a thread's would be).
TEST(PrepareMemoryForJobs, UnderALimitOfTheAddressSpaceTheRoomStaysForMappings)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            cvtest::limitAddressSpace(std::size_t(160) << 20);
            cv::PrepareMemoryForJobs();
            void* mapping = ::mmap(nullptr, std::size_t(64) << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            std::_Exit(mapping == MAP_FAILED ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace
