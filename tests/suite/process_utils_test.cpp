// The process's identity as the suite's locks and message sockets see it.

#include "suite/process_utils.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

TEST(ProcessUtils, ProcessIdIsTheSystemsAlsoInAChildMadeByFork)
{
    const int64_t parent = cv::CurrentProcessId();
    EXPECT_EQ(parent, int64_t(::getpid()));
    EXPECT_TRUE(cv::ProcessIsAlive(parent));

    // A child that asks after the parent has asked gets its own id: the
    // parent's, handed down with the memory, would make it take the
    // parent's locks for its own.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(cv::CurrentProcessId() == int64_t(::getpid()) && cv::CurrentProcessId() != parent ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(cv::ProcessIsAlive(child));
    EXPECT_EQ(cv::CurrentProcessId(), parent);
}

TEST(ProcessUtils, MachineLoadIsTheSystemsLoadAverage)
{
    // The first number of /proc/loadavg, which the system keeps to two places.
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no /proc/loadavg";
    const double listed = f.readLine().split(' ').first().toDouble();
    const double load = cv::MachineLoad();
    EXPECT_GE(load, 0.0);
    EXPECT_NEAR(load, listed, 0.5 + listed * 0.2); // the two reads are a moment apart
}
