#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

extern char** environ;

namespace cvtest {

TempDir::TempDir()
{
    EXPECT_TRUE(m_dir.isValid());
}

QString TempDir::write(const QString& name, const QByteArray& bytes) const
{
    const QString full = file(name);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
    f.write(bytes);
    return full;
}

OwnSuiteFolder::OwnSuiteFolder() : m_dir(QDir(QDir::tempPath()).filePath(QStringLiteral("cvtest-run-XXXXXX")))
{
    // QTemporaryDir makes the folder 0700: a runtime folder as a session has.
    // Without one the tests would run in the user's: better not at all.
    if (!m_dir.isValid())
        qFatal("Cannot make a runtime folder for the tests: %s", qPrintable(m_dir.errorString()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
    for (const char* name : {"CV_SETTINGS_BUFFER", "CV_MUTEX_NAME", "CV_MESSAGE_SOCKET_DIR", "CV_CONTROLLER_LOG"})
        qunsetenv(name);
    qputenv("CV_CONTROLLER_INI", QFile::encodeName(m_dir.filePath(QStringLiteral("controller.ini"))));
}

OwnSuiteFolder::~OwnSuiteFolder() = default;

unsigned modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0xFFFFu;
}

QByteArray readAll(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray toBytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

QString testDataDir()
{
    const QByteArray env = qgetenv("CV_TEST_DATA");
    return env.isEmpty() ? QStringLiteral(CV_SOURCE_DIR "/tests/data") : QString::fromLocal8Bit(env);
}

int replayKeptFuzzInputs(const QString& name, const std::function<int(const uint8_t*, size_t)>& read)
{
    const QDir dir(testDataDir() + QStringLiteral("/fuzz/") + name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty()) << "no kept inputs in " << dir.path().toStdString();
    int result = 0;
    for (const QString& f : files) {
        const QByteArray bytes = readAll(dir.filePath(f));
        result += read(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    return result;
}

int waitForChild(int pid, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "a child process took too long";
            return -SIGKILL;
        }
        ::usleep(2000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::optional<OtherUser> otherUser()
{
    if (::geteuid() != 0)
        return std::nullopt;
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody || nobody->pw_uid == 0)
        return std::nullopt;
    return OtherUser{unsigned(nobody->pw_uid), unsigned(nobody->pw_gid)};
}

QString asOtherUser(const OtherUser& user, const std::function<QString()>& job)
{
    int result = 0;
    const QString text = runInChild([&]() -> QString {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(user.gid)) != 0 || ::setuid(uid_t(user.uid)) != 0)
            return QStringLiteral("cannot become uid %1").arg(user.uid);
        return job();
    }, &result);
    return result == 0 ? text : QStringLiteral("the other user's process ended with %1: %2").arg(result).arg(text);
}

bool giveToOtherUser(const OtherUser& user, const QString& path)
{
    return ::lchown(QFile::encodeName(path).constData(), uid_t(user.uid), gid_t(user.gid)) == 0;
}

QString makeSharedFolder(const TempDir& dir, const QString& name)
{
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const QString shared = dir.file(name);
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    return shared;
}

QString linkAsOtherUser(const OtherUser& user, const QString& target, const QString& link)
{
    return asOtherUser(user, [&]() -> QString {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0
                   ? QString()
                   : QStringLiteral("cannot make the link %1").arg(link);
    });
}

void limitAddressSpace(uint64_t extraBytes)
{
    QFile status(QStringLiteral("/proc/self/status"));
    rlim_t mapped = 0;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:"))
                mapped = rlim_t(line.mid(7).trimmed().split(' ').first().toLongLong()) << 10;
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = mapped + rlim_t(extraBytes);
    ::setrlimit(RLIMIT_AS, &limit);
}

QString runInChild(const std::function<QString()>& job, int* result, std::chrono::milliseconds limit)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        // The child never returns into the test: whatever the job does, it ends here.
        ::close(fds[0]);
        int code = 0;
        QByteArray text;
        try {
            text = job().toUtf8();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "the child process stopped on an exception: %s\n", e.what());
            code = 3;
        } catch (...) {
            code = 3;
        }
        (void)!::write(fds[1], text.constData(), std::size_t(text.size()));
        ::_exit(code);
    }
    ::close(fds[1]);
    // The child's answer is read within the limit too: a child that hangs
    // keeps its end of the pipe open.
    QByteArray got;
    char buf[1024];
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break; // waitForChild ends it
        pollfd readable{fds[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got.append(buf, n);
    }
    ::close(fds[0]);
    const int r = waitForChild(child, std::max(std::chrono::milliseconds(1), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                                  end - std::chrono::steady_clock::now())));
    if (result)
        *result = r;
    return QString::fromUtf8(got);
}

ProgramRun runProgram(const QString& program, const QStringList& arguments, const QString& dir, const QStringList& environment,
                      std::chrono::milliseconds limit)
{
    std::vector<std::string> args{program.toStdString()};
    for (const QString& a : arguments)
        args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The run's own variables replace the caller's of the same name (a
    // program reads the first one it finds).
    std::vector<std::string> given;
    for (const QString& e : environment)
        given.push_back(e.toStdString());
    given.emplace_back("QT_QPA_PLATFORM=offscreen");
    const auto givenHere = [&given](std::string_view entry) {
        const std::string_view name = entry.substr(0, entry.find('='));
        return std::any_of(given.begin(), given.end(), [name](const std::string& g) {
            return g.size() > name.size() && g.compare(0, name.size(), name) == 0 && g[name.size()] == '=';
        });
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (!givenHere(*e))
            env.emplace_back(*e);
    env.insert(env.end(), given.begin(), given.end());
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string out = (dir + QStringLiteral("/out.txt")).toStdString();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&files, dir.toLocal8Bit().constData());
    pid_t pid = 0;
    ProgramRun run;
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program.toStdString();
        return run;
    }
    run.status = waitForChild(pid, limit);
    run.output = QString::fromUtf8(readAll(dir + QStringLiteral("/out.txt")));
    return run;
}

namespace {

// The processes whose command line holds the text (this one left out).
std::vector<int> ProcessesNaming(const QByteArray& text)
{
    std::vector<int> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number || pid == ::getpid())
            continue;
        QByteArray line = readAll(QStringLiteral("/proc/%1/cmdline").arg(pid));
        line.replace('\0', ' ');
        if (line.contains(text))
            found.push_back(pid);
    }
    return found;
}

} // namespace

std::vector<int> processesNaming(const QString& text) { return ProcessesNaming(text.toUtf8()); }

void waitForProcessesNaming(const QString& text, std::chrono::milliseconds limit)
{
    const QByteArray bytes = text.toUtf8();
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ProcessesNaming(bytes).empty()) {
        if (std::chrono::steady_clock::now() > end) {
            for (const int pid : ProcessesNaming(bytes))
                ::kill(pid, SIGKILL);
            ADD_FAILURE() << "a process naming " << text.toStdString() << " took too long";
            return;
        }
        ::usleep(20000);
    }
}

} // namespace cvtest
