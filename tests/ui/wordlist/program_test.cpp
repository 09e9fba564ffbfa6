// The program itself, run as the user or the controller runs it, unattended
// (CV_QUIT_AFTER_START_MS: no message boxes, what the window shows is written
// out, then it ends) in a sandbox of its own (settings buffer, mutex, sockets).

#include <gtest/gtest.h>

#include <utility>
#include <vector>

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

    // A saved word list of the sample corpus, and its entries.
    std::pair<QString, int> SavedCorpusList(const QString& corpus)
    {
        cv::TCVFileDetails texts(true, {});
        for (const QFileInfo& f : QDir(corpus).entryInfoList(QDir::Files, QDir::Name))
            EXPECT_TRUE(texts.ToolAddAFile(f.absoluteFilePath()));
        cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(doc.MakeWordlist(texts, 0, converted, cv::kListWordList));
        const QString file = sandbox.File(QStringLiteral("corpus.lst"));
        EXPECT_TRUE(doc.SaveToFile(file));
        const cv::TCVWordList* words = doc.WordlistOfType(cv::kListWordList);
        return {file, words ? words->Count() : -1};
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
// or says why: the window that cannot show it says there was not enough
// memory, a program that cannot go on (or start) ends saying so. It never
// hangs (Qt's drawing waited for ever for pool threads that could not
// start) nor ends without a word (a shortage in the window's steps ended
// in a crash report). The limits hold for a user other than root (root's
// processes are not counted): run as "nobody" when the tests run as root.
// The lowest limits are just above what the program needs to start; a
// list of the sample corpus, when there is one, needs more than some of them.
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
    // A folder of the run's own the other user can read: the lists, and a
    // home of that user's own.
    QTemporaryDir dir(QDir(QDir::tempPath()).filePath(QStringLiteral("cv-limits-XXXXXX")));
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup |
                                          QFile::ExeOther);
    const auto readable = [&](const QString& saved, const QString& name) {
        const QString list = dir.filePath(name);
        EXPECT_TRUE(QFile::copy(saved, list));
        QFile::setPermissions(list, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        return list;
    };
    const QString small = readable(SavedList(QStringLiteral("limits.lst")), QStringLiteral("limits.lst"));
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
    const auto memory = [](int megabytes) { return QStringLiteral("--as=%1").arg(qint64(megabytes) << 20); };
    struct TRun {
        QString limit;
        QString list;
        int entries;
    };
    std::vector<TRun> runs;
    for (const QString& limit : {QStringLiteral("--nproc=1"), QStringLiteral("--nproc=2"), QStringLiteral("--nproc=4"),
                                 QStringLiteral("--nproc=6"), QStringLiteral("--nproc=8"), memory(150), memory(175),
                                 memory(200), memory(250), memory(300), memory(400)})
        runs.push_back({limit, small, 5});
    if (const QString corpus = qEnvironmentVariable("CV_SAMPLE_CORPUS"); !corpus.isEmpty()) {
        const auto [saved, entries] = SavedCorpusList(corpus);
        const QString list = readable(saved, QStringLiteral("corpus.lst"));
        for (const int megabytes : {150, 175, 200, 300})
            runs.push_back({memory(megabytes), list, entries});
    }
    for (const TRun& run : runs) {
        SCOPED_TRACE((run.limit + u' ' + QFileInfo(run.list).fileName()).toStdString());
        QProcess child;
        child.setProcessEnvironment(env);
        QStringList args;
        if (root)
            args << asNobody << prlimit;
        args << run.limit << program << run.list;
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
        const bool shown = child.exitCode() == 0 && out.contains(QStringLiteral("entries: %1\n").arg(run.entries));
        const bool toldWhy = err.contains(QStringLiteral("not enough memory")) ||
                             (child.exitCode() != 0 && err.contains(QStringLiteral("cannot start")) &&
                              err.contains(QStringLiteral("limit")));
        EXPECT_TRUE(child.exitStatus() == QProcess::NormalExit && (shown || toldWhy))
            << "exit " << child.exitCode() << "\n" << out.toStdString() << err.toStdString();
    }
}

} // namespace
