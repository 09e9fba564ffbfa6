// The program itself, run as the user or the controller runs it, unattended
// (CV_QUIT_AFTER_START_MS: no message boxes, what the window shows is written
// out, then it ends) in a sandbox of its own (settings buffer, mutex, sockets).

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

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

} // namespace
