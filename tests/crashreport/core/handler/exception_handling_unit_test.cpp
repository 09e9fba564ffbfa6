#include "crashreport/core/handler/exception_handling_unit.h"

#include <gtest/gtest.h>

#include <QFile>

#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/options/crashbox_options.h"
#include "suite/logging.h"
#include "support/test_support.h"

using namespace cv;

namespace {

// The tool's log in a temporary file while a test runs; its lines with the
// time stamps taken off (a stamped line starts "hh:mm:ss.zzz ").
class CrashEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetLogFilename(dir.file("tool.log"));
        SwitchLogging(true);
        InitExceptionHandlingUnit("/opt/corvantis/corvantis-wordlist");
        record.CurrentModuleOptions = &options;
        record.ModulesList = &modules;
    }
    void TearDown() override
    {
        DoneExceptionHandlingUnit();
        SwitchLogging(false);
        SetLogFilename({});
    }
    QStringList lines() const
    {
        QStringList out;
        for (const QString& line : QString::fromUtf8(cvtest::readAll(dir.file("tool.log"))).split('\n', Qt::SkipEmptyParts))
            out << (line.size() > 13 && line[2] == ':' && line[8] == '.' ? line.mid(13) : QStringLiteral("|") + line);
        return out;
    }

    cvtest::TempDir dir;
    TCrashboxModuleOptions options{"/opt/corvantis/corvantis-wordlist"};
    TCrashboxModulesList modules;
    TCrashboxExceptionRecord record;
};

} // namespace

TEST_F(CrashEvents, StartUpPutsTheHandlersInTheCellsAndKeepsTheProgramsFolder)
{
    EXPECT_EQ(ExceptionNotify(), &OnCrashNoticed);
    EXPECT_EQ(ExceptionActionNotify(), &OnCrashAction);
    EXPECT_EQ(ExceptionErrorNotify(), &OnCrashActionFailed);
    EXPECT_EQ(ExceptionHandlingOutputPath(), "/opt/corvantis/");
    InitExceptionHandlingUnit("/elsewhere/tool");
    EXPECT_EQ(ExceptionHandlingOutputPath(), "/opt/corvantis/") << "started once";
    DoneExceptionHandlingUnit();
    EXPECT_EQ(ExceptionHandlingOutputPath(), "/opt/corvantis/") << "still started once";

    // Each crash gets the folder again, whatever the options held.
    options.SetOutputPath("");
    bool handled = false;
    OnCrashNoticed(record, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(options.OutputPath(), "/opt/corvantis/");
    EXPECT_EQ(lines(), (QStringList{"Corvantis Error noticed", "Outputpath = /opt/corvantis/"}));
}

struct ActionCase {
    uint8_t action;
    QStringList logged;          // the step done (Execute comes in true)
    QStringList loggedOnFailure; // by the error event
    QStringList loggedNotDone;   // Execute comes in false: after a step, it failed or was skipped
};

class CrashActions : public CrashEvents, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(CrashActions, EachActionHasItsLines)
{
    auto module = std::make_unique<TCrashboxModuleInfo>();
    module->Name = "corvantis-wordlist";
    modules.Add(std::move(module));
    module = std::make_unique<TCrashboxModuleInfo>();
    module->Name = "libc.so.6";
    modules.Add(std::move(module));
    options.SetOutputPath("/home/ann/reports");

    bool execute = true;
    OnCrashAction(record, GetParam().action, execute);
    EXPECT_TRUE(execute);
    EXPECT_EQ(lines(), GetParam().logged);

    QFile::remove(dir.file("tool.log"));
    execute = false;
    OnCrashAction(record, GetParam().action, execute);
    EXPECT_TRUE(execute);
    EXPECT_EQ(lines(), GetParam().loggedNotDone);

    QFile::remove(dir.file("tool.log"));
    bool retry = false;
    OnCrashActionFailed(record, GetParam().action, retry);
    EXPECT_FALSE(retry);
    QStringList failed{"|***"};
    failed << GetParam().loggedOnFailure;
    EXPECT_EQ(lines(), failed);
}

INSTANTIATE_TEST_SUITE_P(
    CrashEvents, CrashActions,
    ::testing::Values(
        ActionCase{caShowing,
                   {"Module 1: corvantis-wordlist", "Module 2: libc.so.6", "Showing error"},
                   {"Failed to show"},
                   {"Module 1: corvantis-wordlist", "Module 2: libc.so.6", "Showing error"}},
        ActionCase{caShown, {"finished showing"}, {"Failed to complete showing"}, {"Not shown"}},
        ActionCase{caSavingLog,
                   {"Saving error in /home/ann/reports/corvantis-wordlist.elf"},
                   {"Failed to save"},
                   {"Saving error in /home/ann/reports/corvantis-wordlist.elf"}},
        ActionCase{caSavedLog, {"Saved"}, {"Failed to complete save"}, {"Not saved"}},
        ActionCase{caSendingEmail, {"Sending email"}, {"Failed to send"}, {"Sending email"}},
        ActionCase{caSentEmail, {"Sent email"}, {"Failed to complete send"}, {"Email not sent"}},
        ActionCase{caSendingWeb, {}, {}, {}}, ActionCase{caSentWeb, {}, {}, {}},
        ActionCase{caTerminating, {"Quitting"}, {"Failed to quit"}, {"Quitting"}}, ActionCase{9, {}, {}, {}}));

TEST_F(CrashEvents, WithLoggingOffTheHandlersStillAnswerAndApplyTheFolder)
{
    SwitchLogging(false);
    bool handled = false, execute = false, retry = true;
    OnCrashNoticed(record, handled);
    OnCrashAction(record, caShowing, execute);
    OnCrashActionFailed(record, caSavedLog, retry);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(execute);
    EXPECT_TRUE(retry) << "left as it was";
    EXPECT_EQ(options.OutputPath(), "/opt/corvantis/");
    EXPECT_FALSE(QFile::exists(dir.file("tool.log")));
}

TEST_F(CrashEvents, ShutDownWritesItsClosingLine)
{
    DoneExceptionHandlingUnit();
    EXPECT_EQ(ExceptionHandlingOutputPath(), "");
    EXPECT_EQ(lines(), (QStringList{"quitting exception_handling_unit\r", "|" + QString(50, '*')}));
    InitExceptionHandlingUnit("/opt/corvantis/corvantis-wordlist"); // for TearDown
}
