#include "crashreport/core/capture/processes_list.h"

#include "crashreport/core/support/files_and_folders.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
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

namespace {

// What /proc says of a process, read here apart from the list's own reading.
std::string ProcFileLine(uint32_t pid, const char* file, const char* key)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!key || line.startsWith(key))
            return QString::fromUtf8(key ? line.mid(int(std::strlen(key))).trimmed() : line).toStdString();
    return {};
}

} // namespace

// Every listed process is one of the machine's own (no thread of the
// kernel's), named as the system names it: its program file, or the short
// name kept for it, whole.
TEST(ProcessesList, EveryRowIsAProcessNamedAsTheSystemNamesIt)
{
    // What each process was just before and just after the list was made:
    // only those that stayed the same (did not end, start or change their
    // program meanwhile) are judged, against what they were then.
    struct TSeen {
        std::string comm, parent, exe;
        bool operator==(const TSeen&) const = default;
    };
    const auto seen = [] {
        std::map<uint32_t, TSeen> state;
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool number = false;
            const uint32_t pid = entry.toUInt(&number);
            if (number)
                state[pid] = {ProcFileLine(pid, "comm", nullptr), ProcFileLine(pid, "status", "PPid:"),
                              QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).toStdString()};
        }
        return state;
    };
    const std::map<uint32_t, TSeen> before = seen();
    TCrashboxProcessesList list;
    RefreshProcessesList(list);
    const std::map<uint32_t, TSeen> after = seen();
    ASSERT_GT(list.Count(), 0);
    int checked = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TCrashboxProcessInfo& p = *list.GetItem(i);
        const auto was = before.find(p.ProcessID), is = after.find(p.ProcessID);
        if (was == before.end() || is == after.end() || !(was->second == is->second))
            continue;
        const std::string& comm = is->second.comm;
        const std::string& parent = is->second.parent;
        if (comm.empty() || parent.empty())
            continue; // ended meanwhile
        ++checked;
        EXPECT_NE(p.ProcessID, 2u) << "the kernel's thread starter";
        EXPECT_NE(parent, "2") << p.ProcessID << " " << comm << " is a thread of the kernel's";
        const QString exe = QString::fromStdString(is->second.exe).remove(QStringLiteral(" (deleted)"));
        const std::string name = ProcessFileName(p);
        EXPECT_TRUE(name == comm || name == QFileInfo(exe).fileName().toStdString()) << p.ProcessID << ": " << name << " / " << comm;
        if (p.ShortName)
            EXPECT_EQ(ProcessFolder(p), "");
        else
            EXPECT_EQ(ProcessFolder(p), QFileInfo(exe).path().toStdString()) << name;
    }
    EXPECT_GT(checked, 0);
}

TEST(ProcessesList, AShortNameWithASlashStaysWhole)
{
    cvtest::TempDir proc;
    QDir(proc.path()).mkpath(QStringLiteral("30"));
    QDir(proc.path()).mkpath(QStringLiteral("31"));
    proc.write(QStringLiteral("30/stat"), QByteArray::fromStdString(StatLine("my/tool", 0, 1, 1, 0)));
    // A kernel thread: its flags (field 9) say so.
    std::string kernel = StatLine("kworker/R-rcu_gp", 0, 1, 1, 0);
    kernel.replace(kernel.find(" 9 "), 3, " 2097152 ");
    proc.write(QStringLiteral("31/stat"), QByteArray::fromStdString(kernel));
    TCrashboxProcessesList list;
    RefreshProcessesList(list, proc.path().toStdString());
    ASSERT_EQ(list.Count(), 1);
    const TCrashboxProcessInfo& p = *list.GetItem(0);
    EXPECT_TRUE(p.ShortName);
    EXPECT_EQ(ProcessFileName(p), "my/tool");
    EXPECT_EQ(ProcessFolder(p), "");
}
