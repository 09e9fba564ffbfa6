// The suite's tests run while the user has the tool open: a controller of
// the user's session runs in the runtime folder the tests inherit. The
// tests that touch the settings buffer, a controller, the mutex and the
// sockets must pass, and the user's controller must hear nothing of them.

#include "support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace {

TEST(TestsBesideTheUsersTool, PassWhileTheUsersControllerRunsAndLeaveItAlone)
{
    cvtest::TempDir session; // the user's runtime folder ($XDG_RUNTIME_DIR of the desktop)
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), session.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess controller;
    controller.setProcessEnvironment(env);
    controller.setProgram(QStringLiteral(CV_CONTROLLER_BINARY));
    const QString log = session.file(QStringLiteral("controller.log"));
    controller.setArguments({QStringLiteral("--quiet"), QStringLiteral("--no-stdin"), QStringLiteral("--log"), log});
    controller.start();
    ASSERT_TRUE(controller.waitForStarted(5000));
    QElapsedTimer waited;
    waited.start();
    while (!cvtest::readAll(log).contains("controller ready") && waited.elapsed() < 10000)
        QThread::msleep(20);
    ASSERT_TRUE(cvtest::readAll(log).contains("controller ready")) << cvtest::readAll(log).toStdString();

    struct Run {
        const char* program;
        const char* filter;
    };
    const Run runs[] = {
        {CV_SUITE_TESTS, "SettingsBuffer.*:NamedMutex.*:Logging.*"},
        {CV_FRAMEWORK_TESTS, "MultiToolBaseTest.TheStartScreenShowsWithoutDataAndThePagesWithIt:ControllerCommandsTest.*"},
    };
    for (const Run& r : runs) {
        SCOPED_TRACE(r.filter);
        QProcess tests;
        tests.setProcessEnvironment(env);
        tests.setProcessChannelMode(QProcess::MergedChannels);
        tests.start(QString::fromLatin1(r.program), {QStringLiteral("--gtest_filter=") + QLatin1String(r.filter)});
        ASSERT_TRUE(tests.waitForStarted(5000));
        const bool ended = tests.waitForFinished(120000);
        if (!ended)
            tests.kill();
        const QString output = QString::fromLocal8Bit(tests.readAll());
        EXPECT_TRUE(ended && tests.exitStatus() == QProcess::NormalExit && tests.exitCode() == 0) << output.toStdString();
        EXPECT_FALSE(output.contains(QStringLiteral("[  FAILED  ]"))) << output.toStdString();
    }

    // Not one message from the tests reached the user's controller, which still runs.
    const QString heard = QString::fromUtf8(cvtest::readAll(log));
    EXPECT_FALSE(heard.contains(QStringLiteral(" 1252 ")) || heard.contains(QStringLiteral(" 1025 "))) << heard.toStdString();
    EXPECT_EQ(controller.state(), QProcess::Running);
    controller.terminate();
    EXPECT_TRUE(controller.waitForFinished(5000));
}

} // namespace
