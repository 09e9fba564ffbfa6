#include "suite/process_utils.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <thread>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cv {

namespace {
// The id is asked of the system once: the settings buffer's lock asks for
// it at every read, a few hundred times in a word-list run, and each asking
// is a call into the system. A child made by fork asks again.
std::atomic<pid_t> gProcessId{0};
void ForgetProcessId() { gProcessId.store(0, std::memory_order_relaxed); }
} // namespace

int64_t CurrentProcessId()
{
    pid_t pid = gProcessId.load(std::memory_order_relaxed);
    if (pid == 0) {
        static const bool forgetInChildren = (::pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0);
        (void)forgetInChildren;
        pid = ::getpid();
        gProcessId.store(pid, std::memory_order_relaxed);
    }
    return int64_t(pid);
}

bool ProcessIsAlive(int64_t pid)
{
    if (pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    // A process that ended but was not reaped yet still answers kill(); its
    // state letter in /proc says so.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readLine();
        const qsizetype close = line.lastIndexOf(')');
        if (close > 0 && close + 2 < line.size() && line[close + 2] == 'Z')
            return false;
    }
    return true;
}

int64_t ProcessMemoryInUse()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = statm.readLine().split(' ');
    if (parts.size() < 2)
        return 0;
    return parts[1].toLongLong() * int64_t(::sysconf(_SC_PAGESIZE));
}

uint64_t AddressSpaceLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return uint64_t(limit.rlim_cur);
}

TProcessIo ProcessIo()
{
    TProcessIo io;
    QFile file(QStringLiteral("/proc/self/io"));
    if (!file.open(QIODevice::ReadOnly))
        return io;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            io.read = line.mid(6).trimmed().toLongLong();
        else if (line.startsWith("wchar:"))
            io.written = line.mid(6).trimmed().toLongLong();
    }
    return io;
}

double MachineLoad()
{
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

int IdleCores(int most)
{
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const double load = MachineLoad();
    const int idle = load < 0 ? cores : cores - int(std::ceil(load));
    return std::clamp(idle, 1, std::max(1, most));
}

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

void InstallQuitOnTerminationSignals()
{
    if (g_signalPipe[0] >= 0 || !QCoreApplication::instance())
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char buf[16];
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], buf, sizeof buf);
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

} // namespace cv
