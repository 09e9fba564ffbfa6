#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

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

QString runInChild(const std::function<QString()>& job, int* result, std::chrono::milliseconds limit)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        const QByteArray text = job().toUtf8();
        (void)!::write(fds[1], text.constData(), std::size_t(text.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray got;
    char buf[1024];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, n);
    ::close(fds[0]);
    const int r = waitForChild(child, limit);
    if (result)
        *result = r;
    return QString::fromUtf8(got);
}

} // namespace cvtest
