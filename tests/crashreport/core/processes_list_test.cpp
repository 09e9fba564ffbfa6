#include "crashreport/core/processes_list.h"

#include "crashreport/core/crashbox_helpers.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support/test_support.h"

namespace {

using namespace cv;

// "/proc/<pid>/stat" with the given name; nice in field 19, threads in 20, resident pages in 24, policy in 41.
std::string StatLine(const std::string& name, int nice, int threads, int pages, int policy)
{
    std::string line = "4242 (" + name + ") S";
    for (int field = 4; field <= 52; ++field) {
        const int value = field == 19 ? nice : field == 20 ? threads : field == 24 ? pages : field == 41 ? policy : field;
        line += " " + std::to_string(value);
    }
    return line + "\n";
}

TEST(ProcessesList, PriorityClassesFollowPolicyAndNice)
{
    const struct {
        uint32_t policy;
        int nice;
        int32_t priorityClass;
    } cases[] = {{SCHED_FIFO, 0, 256}, {SCHED_RR, 5, 256}, {SCHED_IDLE, 0, 64}, {SCHED_OTHER, -20, 128}, {SCHED_OTHER, -10, 32768},
                 {SCHED_OTHER, -1, 32768}, {SCHED_OTHER, 0, 32},  {SCHED_BATCH, 9, 16384},  {SCHED_OTHER, 10, 64}};
    for (const auto& c : cases)
        EXPECT_EQ(PriorityClassOf(c.policy, c.nice), c.priorityClass) << c.policy << " " << c.nice;
}

TEST(ProcessesList, ThisProcessIsListedWithItsProgramAndThreads)
{
    std::atomic<bool> stop{false};
    std::thread extra([&] {
        while (!stop)
            std::this_thread::yield();
    });
    TCrashboxProcessesList list;
    RefreshProcessesList(list);
    stop = true;
    extra.join();
    const TCrashboxProcessInfo* self = nullptr;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0) {
            EXPECT_LT(list.GetItem(i - 1)->ProcessID, list.GetItem(i)->ProcessID);
        }
        if (list.GetItem(i)->ProcessID == uint32_t(getpid()))
            self = list.GetItem(i);
    }
    ASSERT_TRUE(self);
    EXPECT_EQ(self->Name, GetExeFileNameA());
    EXPECT_GE(self->Threads, 2u);
    EXPECT_GT(self->Memory, 0u);
    EXPECT_NE(self->Priority, 0);
    EXPECT_EQ(GetParentProcessID(), uint32_t(getppid()));
}

TEST(ProcessesList, AProcessThatEndedMeanwhileIsLeftOut)
{
    cvtest::TempDir proc;
    QDir(proc.path()).mkpath(QStringLiteral("12"));
    QDir(proc.path()).mkpath(QStringLiteral("13")); // ended: no stat any more
    QDir(proc.path()).mkpath(QStringLiteral("sys"));
    proc.write(QStringLiteral("12/stat"), QByteArray::fromStdString(StatLine("a) (b", 3, 4, 2, 0)));
    TCrashboxProcessesList list;
    RefreshProcessesList(list, proc.path().toStdString());
    ASSERT_EQ(list.Count(), 1);
    const TCrashboxProcessInfo& p = *list.GetItem(0);
    EXPECT_EQ(p.ProcessID, 12u);
    EXPECT_EQ(p.Name, "a) (b") << "no program link: the short name, which may hold parentheses";
    EXPECT_EQ(p.Threads, 4u);
    EXPECT_EQ(p.Priority, 16384);
    EXPECT_EQ(p.Memory, 2u * uint64_t(sysconf(_SC_PAGESIZE)));
    EXPECT_FALSE(ParseProcessStat("4242 (cut) S 1 2 3"));
}

} // namespace
