// What the program's binding hands the dialogs, in a child process where the
// crash-report core runs for real (this test program carries the
// crash-report data the build writes into a program).
#include "crashreport/dialogs/handler_binding.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdlib>

#include "crashreport/core/core_in_child.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "support/test_support.h"

namespace {

__attribute__((noinline)) int InThisProgram(int value) { return value + 1; }

// The detailed dialog's location message carries the compilation time the
// build wrote into the module of the line's address.
TEST(HandlerBinding, TheDialogsKnowTheCompilationTimeTheBuildWrote)
{
    cvtest::TempDir dir;
    int status = 0;
    const QString answer = cvtest::runInChild(
        [&] {
            cvtest::StartCoreInChild(dir.path());
            const cv::TExceptionDialogHost host = cv::CurrentDialogHost();
            if (!host.ModuleCompilationDate)
                return QStringLiteral("not bound");
            const QDateTime date = host.ModuleCompilationDate(reinterpret_cast<uintptr_t>(&InThisProgram));
            return date.isValid() ? QString::number(date.toSecsSinceEpoch()) : QStringLiteral("not known");
        },
        &status);
    EXPECT_EQ(status, 0);
    bool number = false;
    const qint64 compiled = answer.toLongLong(&number);
    ASSERT_TRUE(number) << answer.toStdString();
    // The build wrote it as it linked the program: the program file's time
    // (or the build's fixed time, when it has one).
    const char* fixed = std::getenv("SOURCE_DATE_EPOCH");
    const qint64 expected = fixed ? std::atoll(fixed)
                                  : QFileInfo(QCoreApplication::applicationFilePath()).lastModified().toSecsSinceEpoch();
    EXPECT_LE(std::llabs(compiled - expected), 600) << compiled << " " << expected;
}

} // namespace
