// Tool and controller as separate processes: the settings buffer, the mutex
// and the messages between them.

#include "runtime/runtime_testutil.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/named_mutex.h"
#include "suite/process_utils.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// The value printed after "key " in the peer's output.
QString valueOf(const QString& output, const QString& key)
{
    const QRegularExpression re(QStringLiteral("^%1 (.*)$").arg(QRegularExpression::escape(key)),
                                QRegularExpression::MultilineOption);
    return re.match(output).captured(1).trimmed();
}

} // namespace

TEST(CrossProcess, RecordsSurviveARoundTripBetweenProcesses)
{
    cvtest::TSuiteSandbox sandbox;
    ASSERT_TRUE(cv::TSettingsBuffer::Instance().CreateShared(cv::TSettingsBuffer::DefaultFileName(), false));
    auto k = cv::GetKeywordsSettings();
    k.SetMinFrequency(17);
    k.SetReferenceListName(QStringLiteral("/corpus/bnc sample.lst"));
    auto text = cv::TTextSettings::Defaults();
    text.SetLanguageName(QStringLiteral("Ελληνικά"));
    k.SetLanguageBlock(text.LanguageBlock());
    cv::SetKeywordsSettings(k);
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, QStringLiteral("stop words.txt"));

    int code = 0;
    const QString read = sandbox.RunPeer({QStringLiteral("read-records")}, &code);
    ASSERT_EQ(code, 0) << read.toStdString();
    EXPECT_EQ(valueOf(read, QStringLiteral("kw.minfreq")), QStringLiteral("17"));
    EXPECT_EQ(valueOf(read, QStringLiteral("kw.reference")), QStringLiteral("/corpus/bnc sample.lst"));
    EXPECT_EQ(valueOf(read, QStringLiteral("kw.language")), QStringLiteral("Ελληνικά"));
    EXPECT_EQ(valueOf(read, QStringLiteral("stop.file")), QStringLiteral("stop words.txt"));

    // The other way: the peer writes, this process sees it in its mapping.
    const QString wrote = sandbox.RunPeer({QStringLiteral("write-records"), QStringLiteral("4242"), QStringLiteral("zoë")}, &code);
    ASSERT_EQ(code, 0) << wrote.toStdString();
    EXPECT_EQ(cv::GetConcSaveRec().EntriesWantedPerSw(), 4242);
    EXPECT_EQ(cv::GetConcSaveRec().SearchWord(), QStringLiteral("zoë"));
    EXPECT_EQ(cv::GetTextSettings().MinWordLength(), 4242 % 7 + 1);
    EXPECT_EQ(cv::GetLastUsedFile(23), QStringLiteral("zoë"));
    EXPECT_EQ(cv::GetKeywordsSettings().MinFrequency(), 17) << "records the peer did not write are untouched";
}

TEST(CrossProcess, ToolOnADamagedBufferSaysSoAndGoesOn)
{
    cvtest::TSuiteSandbox sandbox;
    QFile f(cv::TSettingsBuffer::DefaultFileName());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    int code = 0;
    const QString out = sandbox.RunPeer({QStringLiteral("read-records")}, &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(out.contains(QLatin1String("not a settings buffer"))) << out.toStdString();
}

TEST(CrossProcess, ToolFindsARunningController)
{
    cvtest::TSuiteSandbox sandbox;
    QProcess* controller = sandbox.StartController();
    ASSERT_TRUE(controller);
    const int64_t controllerPid = cv::GetControllerProcessId();
    EXPECT_EQ(controllerPid, controller->processId());

    int code = 0;
    const QString out = sandbox.RunPeer({QStringLiteral("startup")}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_EQ(valueOf(out, QStringLiteral("startup")), QStringLiteral("ok"));
    EXPECT_EQ(valueOf(out, QStringLiteral("controller")).toLongLong(), controllerPid) << "no second controller";
    EXPECT_FALSE(out.contains(QLatin1String("dialog"))) << out.toStdString();
}

TEST(CrossProcess, ToolStartsAMissingController)
{
    cvtest::TSuiteSandbox sandbox;
    ASSERT_FALSE(cv::ControllerMutexExists());
    int code = 0;
    const QString out = sandbox.RunPeer({QStringLiteral("startup")}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    const int64_t pid = valueOf(out, QStringLiteral("controller")).toLongLong();
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(cv::ProcessIsAlive(pid)) << "the controller outlives the tool that started it";
    EXPECT_TRUE(cv::ControllerMutexExists());
    EXPECT_TRUE(cv::GetCVShellInitialised());
    // The sandbox stops it at the end.
}

TEST(CrossProcess, ToolFailsCleanlyWhenTheControllerProgramIsMissing)
{
    cvtest::TSuiteSandbox sandbox;
    const QString missing = sandbox.File(QStringLiteral("gone/corvantis-controller"));
    qputenv("CV_CONTROLLER_PROGRAM", missing.toLocal8Bit());
    int code = 0;
    const QString out = sandbox.RunPeer({QStringLiteral("startup")}, &code);
    EXPECT_EQ(code, 3) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("dialog 3 Fatal Error: Can't start ") + missing)) << out.toStdString();
    EXPECT_FALSE(cv::ControllerMutexExists());
}

TEST(CrossProcess, ControllerCommandsReachTheToolAndItsReportsReachTheController)
{
    cvtest::TSuiteSandbox sandbox;
    QProcess* controller = sandbox.StartController();
    ASSERT_TRUE(controller);
    QProcess* tool = sandbox.StartPeer({QStringLiteral("job")});
    ASSERT_TRUE(tool);
    QString toolOut;
    ASSERT_TRUE(cvtest::WaitForOutput(*tool, QStringLiteral("ready"), &toolOut)) << toolOut.toStdString();

    // The tool registered with the controller (1252) and reports progress (1025 with its number).
    ASSERT_TRUE(cvtest::WaitForLog(sandbox, QStringLiteral("1252 tool 0 (WordList) registered"))) << sandbox.ControllerLog().toStdString();
    ASSERT_TRUE(cvtest::WaitForLog(sandbox, QStringLiteral("1025 from tool 0 (WordList): progress: \"peer job\" [6105]")))
        << sandbox.ControllerLog().toStdString();

    controller->write("reread 0\nstop 0\n");
    ASSERT_TRUE(controller->waitForBytesWritten(5000));
    ASSERT_TRUE(tool->waitForFinished(10000));
    toolOut += QString::fromLocal8Bit(tool->readAllStandardOutput());
    EXPECT_EQ(tool->exitCode(), 2) << toolOut.toStdString();
    EXPECT_TRUE(toolOut.contains(QLatin1String("command 233\n")));
    EXPECT_TRUE(toolOut.contains(QLatin1String("command 6121\n")));
    EXPECT_TRUE(toolOut.contains(QLatin1String("cancel 2\n")));
    EXPECT_TRUE(cvtest::WaitForLog(sandbox, QStringLiteral("1025 from tool 0 (WordList): progress: hide [6107]")))
        << sandbox.ControllerLog().toStdString();
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), 0u) << "the tool unregistered at exit";

    controller->write("quit\n");
    controller->waitForBytesWritten(5000);
    EXPECT_TRUE(controller->waitForFinished(5000));
    EXPECT_FALSE(cv::GetCVShellInitialised());
}

TEST(CrossProcess, ControllerAppliesItsIniFileAndReportsBadLines)
{
    cvtest::TSuiteSandbox sandbox;
    QFile ini(sandbox.File(QStringLiteral("controller.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Text]\nLanguage=German\nMinWordLength=3\nMaxWordLength=lots\n"
              "[Lists]\nStopFile0=/lists/stop, english.txt\nStopWanted0=yes\n"
              "[Concordance]\nCollocHorizonLeft=4\n[Nonsense]\nKey=1\n");
    ini.close();
    ASSERT_TRUE(sandbox.StartController());
    const auto text = cv::GetTextSettings();
    EXPECT_EQ(text.LanguageId(), 0x0407u);
    EXPECT_EQ(text.CollationName(), QStringLiteral("de_DE"));
    EXPECT_EQ(text.MinWordLength(), 3);
    EXPECT_EQ(text.MaxWordLength(), cv::TTextSettings::Defaults().MaxWordLength());
    EXPECT_TRUE(cv::GetLemmaMatchStopWanted(cv::kToolWordList, 2));
    EXPECT_EQ(cv::GetLemmaMatchStopFilename(cv::kToolWordList, 2), QStringLiteral("/lists/stop, english.txt"));
    EXPECT_EQ(cv::GetConcSaveRecCollocHorizons().left, 4);
    const QString log = sandbox.ControllerLog();
    EXPECT_TRUE(log.contains(QLatin1String("\"lots\" is not a valid value for Text/MaxWordLength"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QLatin1String("unknown key \"Nonsense/Key\""))) << log.toStdString();
}
