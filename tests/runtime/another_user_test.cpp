// Two users of one machine: what the other one leaves in the temporary
// folder they share must neither stop this user's tool and controller nor
// be read or written by them. The other user is played by a child process
// that gives up root (the tests run as root here and in CI).

#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class AnotherUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        other = cvtest::otherUser();
        if (!other)
            GTEST_SKIP() << "needs root to act as a second user";
        // The machine's shared temporary folder, as /tmp is.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        ASSERT_TRUE(QDir().mkpath(shared()));
        ::chmod(QFile::encodeName(shared()).constData(), 01777);
    }
    void TearDown() override
    {
        if (controllerPid > 0)
            ::kill(pid_t(controllerPid), SIGTERM);
    }
    QString shared() const { return dir.file(QStringLiteral("tmp")); }
    QString ours() const { return QDir(shared()).filePath(QStringLiteral("corvantis-%1").arg(::geteuid())); }

    // The tool's start-up in a process of this user's session without a
    // runtime folder: it starts the controller when none runs.
    cvtest::ProgramRun StartTheTool()
    {
        const cvtest::ProgramRun run = cvtest::runProgram(
            QStringLiteral(CV_PEER_PROGRAM), {QStringLiteral("startup")}, dir.path(),
            {QStringLiteral("TMPDIR=") + shared(), QStringLiteral("XDG_RUNTIME_DIR="),
             QStringLiteral("CV_CONTROLLER_PROGRAM=") + QStringLiteral(CV_CONTROLLER_BINARY), QStringLiteral("CV_PEER_WAIT_MS=15000")},
            std::chrono::seconds(30));
        const auto m = QRegularExpression(QStringLiteral("controller (\\d+)")).match(run.output);
        if (m.hasMatch())
            controllerPid = m.captured(1).toLongLong();
        return run;
    }

    cvtest::TempDir dir;
    std::optional<cvtest::OtherUser> other;
    qint64 controllerPid = 0;
};

TEST_F(AnotherUser, FilesMadeFirstUnderTheSuitesOldNamesLeaveTheToolStartingNormally)
{
    const QString bashrc = dir.write(QStringLiteral(".bashrc"), "export PATH\n");
    // Every name the suite used to take in the shared folder, made first, open to all;
    // the log a link to a file of ours; the sockets of the next 300 processes.
    const QStringList names{QStringLiteral("corvantis-settings.buf"), QStringLiteral("Corvantis_Tools_mutex.mutex"),
                            QStringLiteral("WordList.chosen_texts")};
    const int lastPid = QString::fromLatin1(cvtest::readAll(QStringLiteral("/proc/sys/kernel/ns_last_pid"))).trimmed().toInt();
    const QString made = cvtest::asOtherUser(*other, [&]() -> QString {
        ::umask(0);
        for (const QString& name : names) {
            const int fd = ::open(QFile::encodeName(QDir(shared()).filePath(name)).constData(), O_WRONLY | O_CREAT, 0666);
            const bool written = fd >= 0 && ::write(fd, "theirs", 6) == 6;
            ::close(fd);
            if (!written)
                return name;
        }
        for (const char* log : {"CVlog.txt", "corvantis-controller.log"})
            if (::symlink(QFile::encodeName(bashrc).constData(), QFile::encodeName(QDir(shared()).filePath(QLatin1String(log))).constData()) != 0)
                return QLatin1String(log);
        for (int pid = lastPid + 1; pid <= lastPid + 300; ++pid)
            ::close(::open(QFile::encodeName(QDir(shared()).filePath(QStringLiteral("cv-wm-%1.sock").arg(pid))).constData(),
                           O_WRONLY | O_CREAT, 0666));
        return {};
    });
    ASSERT_EQ(made, QString());

    const cvtest::ProgramRun run = StartTheTool();
    EXPECT_EQ(run.status, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("startup ok"))) << run.output.toStdString();
    EXPECT_GT(controllerPid, 0) << run.output.toStdString();

    // Their files are as they made them; ours lie in a folder of ours, for us alone.
    for (const QString& name : names)
        EXPECT_EQ(cvtest::readAll(QDir(shared()).filePath(name)), QByteArray("theirs")) << name.toStdString();
    EXPECT_EQ(cvtest::readAll(bashrc), QByteArray("export PATH\n"));
    EXPECT_EQ(cvtest::modeOf(ours()), 0700u);
    for (const char* name : {"corvantis-settings.buf", "Corvantis_Tools_mutex.mutex", "corvantis-controller.log"})
        EXPECT_EQ(cvtest::modeOf(QDir(ours()).filePath(QLatin1String(name))), 0600u) << name;
}

TEST_F(AnotherUser, AFolderOfTheSuitesNameMadeFirstIsRefusedAndTheToolSaysWhy)
{
    const QByteArray folder = QFile::encodeName(ours()); // named by our uid, not theirs
    const QString made = cvtest::asOtherUser(*other, [&]() -> QString {
        return ::mkdir(folder.constData(), 0777) == 0 ? QString() : QStringLiteral("no folder");
    });
    ASSERT_EQ(made, QString());
    const cvtest::ProgramRun run = StartTheTool();
    EXPECT_TRUE(run.output.contains(QStringLiteral("startup failed"))) << run.output.toStdString();
    // The fatal message names the folder and the reason.
    EXPECT_TRUE(run.output.contains(QStringLiteral("Can't start"))) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(ours()) && run.output.contains(QStringLiteral("belongs to another user")))
        << run.output.toStdString();
    EXPECT_TRUE(QDir(ours()).isEmpty()) << "nothing of ours went into their folder";
}

} // namespace
