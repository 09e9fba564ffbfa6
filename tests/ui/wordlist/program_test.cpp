// The program itself, run as the user or the controller runs it, unattended
// (CV_QUIT_AFTER_START_MS: no message boxes, what the window shows is written
// out, then it ends) in a sandbox of its own (settings buffer, mutex, sockets).

#include <gtest/gtest.h>

#include <utility>

#include <QFile>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "model/chosen_files.h"
#include "runtime/runtime_testutil.h"
#include "support/process_state.h"
#include "wordlist/wordlist_holder.h"

namespace {

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        Set("CV_QUIT_AFTER_START_MS", "0");
    }
    void TearDown() override
    {
        for (const QByteArray& name : m_set)
            qunsetenv(name.constData());
    }
    void Set(const char* name, const QString& value)
    {
        qputenv(name, value.toLocal8Bit());
        m_set << QByteArray(name);
    }
    // A saved word list of a small text, in the sandbox.
    QString SavedList(const QString& name)
    {
        QFile text(sandbox.File(QStringLiteral("text.txt")));
        EXPECT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("the cat and the dog and the bird");
        text.close();
        cv::TCVFileDetails texts(true, {});
        EXPECT_TRUE(texts.ToolAddAFile(text.fileName()));
        cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(doc.MakeWordlist(texts, 0, converted, cv::kListWordList));
        const QString file = sandbox.File(name);
        EXPECT_TRUE(doc.SaveToFile(file));
        return file;
    }

    cvtest::TSuiteSandbox sandbox;
    QList<QByteArray> m_set;
};

TEST_F(Program, OnItsOwnItOpensTheFileNamedOnTheCommandLine)
{
    Set("CV_NO_CONTROLLER", "1");
    const QString list = SavedList(QStringLiteral("my list.lst"));
    const QString log = sandbox.File(QStringLiteral("tool.log"));
    int code = 0;
    // The name with its blank arrives as two parameters, as an unquoted name would.
    const QString out = sandbox.RunPeer({QStringLiteral("/log"), log, sandbox.File(QStringLiteral("my")),
                                         QStringLiteral("list.lst"), QStringLiteral("-C")},
                                        &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("list type: 0"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("entries: 5"))) << out.toStdString();
    const QString logged = QString::fromUtf8(cvtest::readAll(log));
    EXPECT_TRUE(logged.contains(QStringLiteral("file found: ") + list)) << logged.toStdString();
    EXPECT_TRUE(logged.contains(QStringLiteral("Opening ") + list)) << logged.toStdString();
}

TEST_F(Program, ItRegistersWithARunningControllerAndReportsTheOpenedFile)
{
    ASSERT_NE(sandbox.StartController(), nullptr);
    const QString list = SavedList(QStringLiteral("corpus.lst"));
    int code = 0;
    const QString out = sandbox.RunPeer({list}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("entries: 5"))) << out.toStdString();
    EXPECT_TRUE(cvtest::WaitForLog(sandbox, QStringLiteral("registered window")));
    EXPECT_TRUE(cvtest::WaitForLog(sandbox, list)) << sandbox.ControllerLog().toStdString();
}

TEST_F(Program, WithoutAControllerThatCanStartItEndsWithTheFatalMessage)
{
    Set("CV_CONTROLLER_PROGRAM", sandbox.File(QStringLiteral("no-controller-here")));
    int code = 0;
    const QString out = sandbox.RunPeer({}, &code);
    EXPECT_EQ(code, 1) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Can't start"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("caption:")));
}

// Under a limit of processes or of memory the program either shows the list
// or ends saying why; it never hangs (Qt's drawing waited for ever for pool
// threads that could not start). The limits hold for a user other than
// root (root's processes are not counted): run as "nobody" when the tests
// run as root.
TEST_F(Program, UnderALimitOfProcessesOrMemoryItShowsTheListOrSaysWhyNeverHangs)
{
    const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString chown = QStandardPaths::findExecutable(QStringLiteral("chown"));
    if (prlimit.isEmpty())
        GTEST_SKIP() << "prlimit is not installed";
    const bool root = QFileInfo(QStringLiteral("/proc/self")).ownerId() == 0;
    if (root && (setpriv.isEmpty() || chown.isEmpty() || QProcess::execute(QStringLiteral("id"), {QStringLiteral("nobody")}) != 0))
        GTEST_SKIP() << "running as root, and no unprivileged user to run as";
    // A folder of the run's own the other user can read: the list, and a
    // home of that user's own.
    QTemporaryDir dir(QDir(QDir::tempPath()).filePath(QStringLiteral("cv-limits-XXXXXX")));
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup |
                                          QFile::ExeOther);
    const QString list = dir.filePath(QStringLiteral("limits.lst"));
    ASSERT_TRUE(QFile::copy(SavedList(QStringLiteral("limits.lst")), list));
    QFile::setPermissions(list, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString home = dir.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    if (root)
        ASSERT_EQ(QProcess::execute(chown, {QStringLiteral("nobody"), home}), 0);
    // The program where that user can run it: a checkout in a folder the
    // user cannot enter (a clone under /root) runs from a copy here.
    QString program = QStringLiteral(CV_PEER_PROGRAM);
    const QStringList asNobody = {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")};
    if (root && QProcess::execute(setpriv, asNobody + QStringList{QStringLiteral("test"), QStringLiteral("-x"), program}) != 0) {
        program = dir.filePath(QStringLiteral("corvantis-wordlist"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(CV_PEER_PROGRAM), program));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] :
         {std::pair{"HOME", home}, {"TMPDIR", home}, {"CV_SETTINGS_BUFFER", home + QStringLiteral("/no-suite.buf")},
          {"CV_MESSAGE_SOCKET_DIR", home}, {"CV_NO_CONTROLLER", QStringLiteral("1")},
          {"CV_QUIT_AFTER_START_MS", QStringLiteral("300")}, {"QT_QPA_PLATFORM", QStringLiteral("offscreen")},
          {"CV_MUTEX_NAME", QStringLiteral("cv-limits-%1").arg(QCoreApplication::applicationPid())}})
        env.insert(QString::fromLatin1(name), value);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const QStringList limits = {QStringLiteral("--nproc=1"), QStringLiteral("--nproc=2"), QStringLiteral("--nproc=4"),
                                QStringLiteral("--nproc=6"), QStringLiteral("--nproc=8"),
                                QStringLiteral("--as=%1").arg(250 << 20), QStringLiteral("--as=%1").arg(300 << 20),
                                QStringLiteral("--as=%1").arg(400 << 20)};
    for (const QString& limit : limits) {
        SCOPED_TRACE(limit.toStdString());
        QProcess child;
        child.setProcessEnvironment(env);
        QStringList args;
        if (root)
            args << asNobody << prlimit;
        args << limit << program << list;
        child.start(root ? setpriv : prlimit, args);
        ASSERT_TRUE(child.waitForStarted(10000));
        const bool ended = child.waitForFinished(60000);
        if (!ended) {
            child.kill();
            child.waitForFinished(5000);
        }
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        ASSERT_TRUE(ended) << "it hung";
        const bool shown = child.exitCode() == 0 && out.contains(QStringLiteral("entries: 5"));
        const bool toldWhy = child.exitCode() != 0 && err.contains(QStringLiteral("cannot start")) &&
                             err.contains(QStringLiteral("limit"));
        EXPECT_TRUE(shown || toldWhy) << "exit " << child.exitCode() << "\n" << out.toStdString() << err.toStdString();
    }
}

} // namespace
