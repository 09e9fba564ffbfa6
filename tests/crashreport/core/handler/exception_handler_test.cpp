#include "crashreport/core/handler/exception_handler.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "crashreport/core/core_in_child.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/date_time.h"
#include "support/test_support.h"

using namespace cv;

namespace {

TCrashboxDebugInfo Entry(uint32_t thread, TCrashboxDebugDetail detail, const char* unit, const char* procedure,
                         uint32_t offset)
{
    TCrashboxDebugInfo e;
    e.ThreadID = thread;
    e.DebugDetail = detail;
    e.UnitName = unit;
    e.ProcedureName = procedure;
    e.ProcOffsetLine = offset;
    return e;
}

} // namespace

TEST(ErrorID, TheSameErrorAtTheSamePlacesHasTheSameID)
{
    TCrashboxStackList stack;
    stack.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "Fault", 2)));
    stack.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "main", 9)));
    const std::string id = ComputeErrorID("tool", "tool", "EAccessViolation", &stack, 7);
    ASSERT_EQ(id.size(), 4u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    // Entries of other threads, and entries without a source line, change nothing.
    TCrashboxStackList more;
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "Fault", 2)));
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddProcedure, "", "memcpy", 0)));
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(8, TCrashboxDebugDetail::ddSourceCode, "other.cpp", "Run", 1)));
    more.Add(std::make_unique<TCrashboxDebugInfo>(Entry(7, TCrashboxDebugDetail::ddSourceCode, "main.cpp", "main", 9)));
    EXPECT_EQ(ComputeErrorID("tool", "tool", "EAccessViolation", &more, 7), id);

    // Another line within the procedure, another class or program: another error.
    more.GetItem(0)->ProcOffsetLine = 3;
    EXPECT_NE(ComputeErrorID("tool", "tool", "EAccessViolation", &more, 7), id);
    EXPECT_NE(ComputeErrorID("tool", "tool", "EDivByZero", &stack, 7), id);
    EXPECT_NE(ComputeErrorID("other", "tool", "EAccessViolation", &stack, 7), id);
}

TEST(AutoCrashOperation, ErrorsComeTooOftenWhenTheWholeNumberFallsWithinTheMinutes)
{
    const TDateTime start = EncodeDateTime(2024, 3, 4, 10, 0, 0);
    const TDateTime second = 1.0 / 86400;
    std::vector<TDateTime> times;
    for (int i = 0; i < 3; ++i)
        AddErrorTime(times, start + i * 10 * second, 4);
    EXPECT_FALSE(ErrorsCameTooOften(times, 4, 1)) << "three errors of four";
    AddErrorTime(times, start + 60 * second, 4);
    EXPECT_TRUE(ErrorsCameTooOften(times, 4, 1)) << "four within one minute";
    AddErrorTime(times, start + 100 * second, 4);
    ASSERT_EQ(times.size(), 4u) << "the oldest goes";
    EXPECT_DOUBLE_EQ(times.front(), start + 10 * second);
    EXPECT_FALSE(ErrorsCameTooOften(times, 4, 1)) << "the four last span 90 seconds";
    EXPECT_TRUE(ErrorsCameTooOften(times, 4, 2));
}

TEST(LeakReserve, IsLetGoAndTakenAgain)
{
    ReserveLeakReserve();
    EXPECT_TRUE(LeakReserveHeld());
    ReleaseLeakReserve();
    EXPECT_FALSE(LeakReserveHeld());
    ReserveLeakReserve();
    EXPECT_TRUE(LeakReserveHeld());
    ReleaseLeakReserve();
}

TEST(RunInExceptionThread, WithoutAnExceptionTheProcedureRunsHereAndItsFailureStaysInIt)
{
    int runs = 0;
    EXPECT_TRUE(RunInExceptionThread([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(RunInExceptionThread([] { throw std::runtime_error("a failing event"); }));
    SetHandlingDisabled(true);
    EXPECT_FALSE(RunInExceptionThread([&] { ++runs; }));
    SetHandlingDisabled(false);
    EXPECT_EQ(runs, 1);
}

// --- The handler at work: the core started in a child process ---

namespace {

// A restart asked of the handler starts this test program again with the
// same arguments: the new process only says that it was started, and ends.
constexpr int kRestartedExit = 7;
const bool kNotRestarted = [] {
    if (std::getenv("CV_TEST_RESTARTED_BY_HANDLER"))
        ::_exit(kRestartedExit);
    return true;
}();

// What the child saw: the handler's answers and the reports in the log.
QString Outcome(const std::vector<bool>& answers, const QString& folder)
{
    QString text;
    for (bool answer : answers)
        text += answer ? QStringLiteral("runtime ") : QStringLiteral("core ");
    return text + QString::number(cvtest::LogEntries(folder));
}

TCrashboxExceptionFilter Filter(const char* className, TFilterHandlerType handler, TFilterActionType action = fatNone)
{
    TCrashboxExceptionFilter filter;
    filter.ExceptionClassName = className;
    filter.HandlerType = handler;
    filter.ActionType = action;
    return filter;
}

struct TFilterCase {
    const char* name;
    std::vector<TCrashboxExceptionFilter> filters;
    std::function<void(TCrashboxModuleOptions&)> configure;
    const char* outcome; // who handles the std::runtime_error, and the reports logged
};

void PrintTo(const TFilterCase& c, std::ostream* os) { *os << c.name; }

class HandlerFilters : public ::testing::TestWithParam<TFilterCase> {};

} // namespace

TEST_P(HandlerFilters, DecideWhoHandlesTheException)
{
    const TFilterCase& c = GetParam();
    cvtest::TempDir dir;
    int status = -1;
    const QString outcome = cvtest::runInChild(
        [&] {
            TCrashboxModuleOptions& options = cvtest::StartCoreInChild(dir.path());
            for (const TCrashboxExceptionFilter& filter : c.filters)
                options.ExceptionsFilters().Add(filter);
            if (c.configure)
                c.configure(options);
            const bool answer = cvtest::NotifyCore(cvtest::ProgramException("the unfiltered message"));
            return Outcome({answer}, dir.path());
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outcome, QString::fromLatin1(c.outcome));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandlerFilters,
    ::testing::Values(
        TFilterCase{"NoFilter", {}, {}, "core 1"},
        TFilterCase{"LeftToTheRuntimeByAnAncestorsFilter", {Filter("std::exception", fhtRTL)}, {}, "runtime 0"},
        TFilterCase{"LeftToNobody", {Filter("std::runtime_error", fhtNone)}, {}, "core 0"},
        TFilterCase{"AnotherClassFilteredOutIsReported", {Filter("std::logic_error", fhtNone)}, {}, "core 1"},
        TFilterCase{"AnInactiveFilterIsPassedOver",
                    {Filter("std::runtime_error", fhtNone)},
                    [](TCrashboxModuleOptions& o) { o.ExceptionsFilters().Items(0).Active = false; },
                    "core 1"},
        TFilterCase{"AFilterOfHandledExceptionsLeavesAnUnhandledOne",
                    {Filter("std::runtime_error", fhtNone)},
                    [](TCrashboxModuleOptions& o) { o.ExceptionsFilters().Items(0).ExceptionType = fetHandled; },
                    "core 1"},
        TFilterCase{"FiltersSwitchedOff",
                    {Filter("std::runtime_error", fhtNone)},
                    [](TCrashboxModuleOptions& o) { o.SetActivateHandle(false); },
                    "core 1"},
        TFilterCase{"TheFirstMatchingFilterDecides",
                    {Filter("std::logic_error", fhtRTL), Filter("std::exception", fhtNone), Filter("std::runtime_error", fhtRTL)},
                    {},
                    "core 0"},
        TFilterCase{"ReportedAndLeftToTheRuntimeToo",
                    {},
                    [](TCrashboxModuleOptions& o) {
                        TBehaviourOptions behaviour = o.BehaviourOptions();
                        behaviour.Include(boCallRTLExceptionEvent);
                        o.SetBehaviourOptions(behaviour);
                    },
                    "runtime 1"},
        TFilterCase{"SwitchedOffOptionsReportNothing", {}, [](TCrashboxModuleOptions& o) { o.SetActive(false); }, "core 0"}),
    [](const ::testing::TestParamInfo<TFilterCase>& info) { return std::string(info.param.name); });

TEST(HandlerFilters, AFiltersMessageReplacesTheExceptionsForTheUser)
{
    cvtest::TempDir dir;
    int status = -1;
    const QString message = cvtest::runInChild(
        [&] {
            TCrashboxModuleOptions& options = cvtest::StartCoreInChild(dir.path());
            TCrashboxExceptionFilter filter = Filter("std::runtime_error", fhtCrashbox);
            filter.ExceptionMessage = "Replaced for %_MainModuleName%";
            options.ExceptionsFilters().Add(filter);
            cvtest::NotifyCore(cvtest::ProgramException("the original message"));
            return QString::fromLocal8Bit(std::getenv("_ExceptMsg"));
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Replaced for /"))) << message.toStdString();
}

namespace {

struct TEndCase {
    const char* name;
    std::vector<TCrashboxExceptionFilter> filters;
    std::function<void(TCrashboxModuleOptions&)> configure;
    int exceptions; // how many the program raises
    int status;     // how the child ends
    int reports;
};

void PrintTo(const TEndCase& c, std::ostream* os) { *os << c.name; }

class HandlerEnd : public ::testing::TestWithParam<TEndCase> {};

} // namespace

// After the report the program goes on, ends (exit code 1) or is started
// again, as a filter's action or the automatic operation asks.
TEST_P(HandlerEnd, FollowsTheTerminateOrRestartChoice)
{
    const TEndCase& c = GetParam();
    cvtest::TempDir dir;
    int status = -1;
    const QString said = cvtest::runInChild(
        [&] {
            ::setenv("CV_TEST_RESTARTED_BY_HANDLER", "1", 1);
            TCrashboxModuleOptions& options = cvtest::StartCoreInChild(dir.path());
            for (const TCrashboxExceptionFilter& filter : c.filters)
                options.ExceptionsFilters().Add(filter);
            if (c.configure)
                c.configure(options);
            for (int i = 0; i < c.exceptions; ++i)
                cvtest::NotifyCore(cvtest::ProgramException("raised " + std::to_string(i)));
            return QStringLiteral("went on");
        },
        &status);
    EXPECT_EQ(status, c.status) << said.toStdString();
    EXPECT_EQ(cvtest::LogEntries(dir.path()), c.reports);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandlerEnd,
    ::testing::Values(
        TEndCase{"NothingAskedGoesOn", {}, {}, 1, 0, 1},
        TEndCase{"AFiltersTerminateEnds", {Filter("std::exception", fhtCrashbox, fatTerminate)}, {}, 1, 1, 1},
        TEndCase{"AFiltersRestartStartsAgain", {Filter("std::exception", fhtCrashbox, fatRestart)}, {}, 1, kRestartedExit, 1},
        TEndCase{"TheRuntimesFilterTerminatesNothing", {Filter("std::exception", fhtRTL, fatTerminate)}, {}, 1, 0, 0},
        TEndCase{"AutomaticTerminationWhenErrorsComeTooOften",
                 {},
                 [](TCrashboxModuleOptions& o) {
                     o.SetAutoCrashOperation(tbTerminate);
                     o.SetAutoCrashNumber(3);
                     o.SetAutoCrashMinutes(1);
                 },
                 5, 1, 3},
        TEndCase{"AutomaticRestart",
                 {},
                 [](TCrashboxModuleOptions& o) {
                     o.SetAutoCrashOperation(tbRestart);
                     o.SetAutoCrashNumber(2);
                     o.SetAutoCrashMinutes(1);
                 },
                 3, kRestartedExit, 2}),
    [](const ::testing::TestParamInfo<TEndCase>& info) { return std::string(info.param.name); });

namespace {

struct TGateCase {
    const char* name;
    // Prepares the child and raises the exceptions; the handler's answers.
    std::function<std::vector<bool>(TCrashboxModuleOptions&)> run;
    const char* outcome;
};

void PrintTo(const TGateCase& c, std::ostream* os) { *os << c.name; }

class HandlerGate : public ::testing::TestWithParam<TGateCase> {};

std::vector<bool> NotifyOne(const TExceptionObject& object) { return {cvtest::NotifyCore(object)}; }

} // namespace

// Procedures posted from two threads at once (the report's own thread and
// a send thread, say) each run once, on the thread that waits for the
// report; neither is lost to the other.
TEST(RunInExceptionThread, PostsFromTwoThreadsAtOnceEachRunOnceOnTheWaitingThread)
{
    cvtest::TempDir dir;
    int status = -1;
    const QString outcome = cvtest::runInChild(
        [&] {
            TCrashboxModuleOptions& options = cvtest::StartCoreInChild(dir.path());
            options.SetEMailSendMode(esmSMTPClient);
            const uint32_t waiting = CurrentThreadID();
            std::atomic<int> ran{0}, elsewhere{0};
            TExceptionHandlerServices services = ExceptionHandlerServices();
            // Sending runs on the report's own thread: it posts from two more.
            services.SendErrorReport = [&] {
                for (int round = 0; round < 20; ++round) {
                    std::atomic<int> ready{0};
                    std::vector<std::thread> posters;
                    for (int i = 0; i < 2; ++i)
                        posters.emplace_back([&] {
                            for (++ready; ready.load() < 2;) {
                            }
                            RunInExceptionThread([&] {
                                ++ran;
                                elsewhere += CurrentThreadID() != waiting;
                            });
                        });
                    for (std::thread& poster : posters)
                        poster.join();
                }
            };
            SetExceptionHandlerServices(services);
            cvtest::NotifyCore(cvtest::ProgramException("posted at once"));
            return QStringLiteral("ran %1, elsewhere %2").arg(ran.load()).arg(elsewhere.load());
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outcome.toStdString(), "ran 40, elsewhere 0");
}

TEST_P(HandlerGate, LetsOneExceptionThroughAtATime)
{
    const TGateCase& c = GetParam();
    cvtest::TempDir dir;
    int status = -1;
    const QString outcome =
        cvtest::runInChild([&] { return Outcome(c.run(cvtest::StartCoreInChild(dir.path())), dir.path()); }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outcome, QString::fromLatin1(c.outcome));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandlerGate,
    ::testing::Values(
        TGateCase{"AnAbortIsNeverReported", [](TCrashboxModuleOptions&) { return NotifyOne(ExceptionObjectFromPtr(std::make_exception_ptr(EAbort()))); },
                  "core 0"},
        TGateCase{"ASafeCallExceptionWasReportedWhereItArose",
                  [](TCrashboxModuleOptions& o) {
                      TBehaviourOptions behaviour = o.BehaviourOptions();
                      behaviour.Exclude(boHandleSafeCallExceptions);
                      o.SetBehaviourOptions(behaviour);
                      return NotifyOne(cvtest::ProgramException(std::string(kSafeCallPrefix) + "x"));
                  },
                  "core 0"},
        TGateCase{"ASafeCallExceptionByDefault",
                  [](TCrashboxModuleOptions&) { return NotifyOne(cvtest::ProgramException(std::string(kSafeCallPrefix) + "x")); },
                  "core 1"},
        TGateCase{"AHandlerThatClearsHandledLeavesItToTheRuntime",
                  [](TCrashboxModuleOptions&) {
                      TCrashboxNotifier notifier;
                      notifier.OnExceptionNotify = [](TCrashboxExceptionRecord&, bool& handled) { handled = false; };
                      return NotifyOne(cvtest::ProgramException("left"));
                  },
                  "runtime 0"},
        TGateCase{"AnExceptionRaisedWhileHandlingIsNotReportedAgain",
                  [](TCrashboxModuleOptions&) {
                      std::vector<bool> answers;
                      TCrashboxNotifier notifier;
                      notifier.OnExceptionNotify = [&answers](TCrashboxExceptionRecord&, bool&) {
                          if (answers.empty())
                              answers.push_back(cvtest::NotifyCore(cvtest::ProgramException("inner")));
                      };
                      answers.push_back(cvtest::NotifyCore(cvtest::ProgramException("outer")));
                      return answers;
                  },
                  "core core 1"},
        TGateCase{"ASecondThreadWaitsForTheFirstReport",
                  [](TCrashboxModuleOptions&) {
                      std::atomic<int> inside{0}, most{0};
                      TCrashboxNotifier notifier;
                      notifier.OnExceptionNotify = [&](TCrashboxExceptionRecord&, bool&) {
                          most = std::max(most.load(), ++inside);
                          std::this_thread::sleep_for(std::chrono::milliseconds(150));
                          --inside;
                      };
                      std::vector<std::thread> threads;
                      for (int i = 0; i < 2; ++i)
                          threads.emplace_back([i] { cvtest::NotifyCore(cvtest::ProgramException("thread " + std::to_string(i))); });
                      for (std::thread& t : threads)
                          t.join();
                      return std::vector<bool>(std::size_t(most.load()), false);
                  },
                  "core 2"}),
    [](const ::testing::TestParamInfo<TGateCase>& info) { return std::string(info.param.name); });

// A failure of the output (the dialog, standard output) is an internal
// error of that part: traced with its name while a developer watches, and
// the events after the output hear that it did not happen.
namespace {

std::string gTrace;
int gShownExecute = -1;

void RecordShown(TCrashboxExceptionRecord&, uint8_t action, bool& execute)
{
    if (action == caShown)
        gShownExecute = execute ? 1 : 0;
}

// The outcome of one exception whose output fails: the section traced, the
// "after showing" event's flag, the reports logged.
QString OutputFailure(const QString& folder, bool dialogs)
{
    TInternalErrorServices internal;
    internal.DebugOutput = [](const std::string& text) { gTrace += text + "\n"; };
    internal.DebuggerPresent = [] { return true; };
    internal.MessageBox = [](const std::string&, const std::string&, unsigned) { return kMessageBoxNo; };
    internal.BugReportFileName = [folder] { return (folder + QStringLiteral("/bug.log")).toStdString(); };
    SetInternalErrorServices(internal);
    TCrashboxModuleOptions& options = cvtest::StartCoreInChild(folder);
    options.SetExceptionDialogType(edtMSClassic);
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.WindowedProgram = [dialogs] { return dialogs; };
    if (dialogs)
        services.ShowExceptionDialog = [](bool) { throw std::runtime_error("the dialog breaks"); };
    else
        ::close(STDOUT_FILENO); // standard output is gone
    SetExceptionHandlerServices(services);
    SetExceptionActionNotify(&RecordShown);
    cvtest::NotifyCore(cvtest::ProgramException("the output fails"));
    const bool gui = gTrace.find("[ERROR] - Section: GUI ") != std::string::npos;
    const bool console = gTrace.find("[ERROR] - Section: Console ") != std::string::npos;
    return QStringLiteral("%1 %2 shown %3 logged %4")
        .arg(gui ? "GUI" : "-", console ? "Console" : "-")
        .arg(gShownExecute)
        .arg(cvtest::LogEntries(folder));
}

} // namespace

TEST(HandlerOutput, AFailingDialogIsAnInternalErrorOfTheGUIAndTheReportIsStillLogged)
{
    cvtest::TempDir dir;
    const QString outcome = cvtest::runInChild([&] { return OutputFailure(dir.path(), true); });
    EXPECT_EQ(outcome, QStringLiteral("GUI - shown 0 logged 1"));
}

TEST(HandlerOutput, AFailingStandardOutputIsAnInternalErrorOfTheConsole)
{
    cvtest::TempDir dir;
    const QString outcome = cvtest::runInChild([&] { return OutputFailure(dir.path(), false); });
    EXPECT_EQ(outcome, QStringLiteral("- Console shown 0 logged 1"));
}

// The core started in a child with one more log option.
static TCrashboxModuleOptions& StartCoreWithLogOption(const QString& folder, TLogOption option)
{
    TCrashboxModuleOptions& options = cvtest::StartCoreInChild(folder);
    TLogOptions log = options.LogOptions();
    log.Include(option);
    options.SetLogOptions(log);
    return options;
}

// With loAppendReproduceText the report carries the "Request" section, the
// steps the user gave or none: the section does not hang on the dialog.
TEST(HandlerOutput, TheRequestSectionComesWithItsOptionEvenWithoutSteps)
{
    cvtest::TempDir dir;
    const QString outcome = cvtest::runInChild([&] {
        StartCoreWithLogOption(dir.path(), loAppendReproduceText);
        cvtest::NotifyCore(cvtest::ProgramException("no steps given"));
        const std::string name = cvtest::OnlyLog(dir.path());
        if (name.empty())
            return QStringLiteral("no log");
        const TLogFile file(name, true);
        const std::string& report = file.Item(0);
        const std::size_t at = report.find("\r\nRequest:\r\n");
        return at == std::string::npos ? QStringLiteral("no section")
                                       : QString::fromStdString(report.substr(at + 2, report.find("\r\n\r\n", at) - at - 2));
    });
    EXPECT_EQ(outcome, QStringLiteral("Request:\r\n--------\r\n  8.1 : ")) << outcome.toStdString();
}

// The report is in the log when its dialog opens (a dialog may never come
// back); its own entry does not make the error a duplicate of itself, so
// the dialog still offers to send it. After the dialog the log holds it once.
TEST(HandlerOutput, TheReportIsInTheLogBeforeTheDialogOpens)
{
    cvtest::TempDir dir;
    const QString outcome = cvtest::runInChild([&] {
        TCrashboxModuleOptions& options = cvtest::StartCoreInChild(dir.path());
        options.SetExceptionDialogType(edtMSClassic);
        options.SetEMailSendMode(esmEmailClient);
        TLogOptions log = options.LogOptions();
        log.Include(loNoDuplicateErrors);
        options.SetLogOptions(log);
        static QString seen;
        TExceptionHandlerServices services = ExceptionHandlerServices();
        services.WindowedProgram = [] { return true; };
        services.ShowExceptionDialog = [folder = dir.path()](bool) {
            seen = QStringLiteral("in the dialog: %1 %2, ").arg(cvtest::LogEntries(folder)).arg(ErrorIsDuplicate() ? "duplicate" : "new");
            ExceptionDialogState().SendChecked = false;
            ExceptionDialogState().DialogType = edtNone;
        };
        SetExceptionHandlerServices(services);
        cvtest::NotifyCore(cvtest::ProgramException("shown"));
        return seen + QStringLiteral("after: %1").arg(cvtest::LogEntries(dir.path()));
    });
    EXPECT_EQ(outcome, QStringLiteral("in the dialog: 1 new, after: 1"));
}

// With "delete the log at a version change" a log whose last entry another
// version wrote goes before the new report, whether the report is logged
// after nothing is shown or before its dialog opens; the new entry stays.
TEST(HandlerOutput, ALogOfAnotherVersionGoesBeforeTheReportShownOrNot)
{
    for (const bool shown : {false, true}) {
        SCOPED_TRACE(shown);
        cvtest::TempDir dir;
        const QString outcome = cvtest::runInChild([&] {
            TCrashboxModuleOptions& options = StartCoreWithLogOption(dir.path(), loDeleteLogAtVersionChange);
            cvtest::NotifyCore(cvtest::ProgramException("logged by the version before"));
            const std::string name = cvtest::OnlyLog(dir.path());
            if (name.empty())
                return QStringLiteral("no first log");
            {
                TLogFile before(name, false);
                before.SetItemValue("1.3", "0.0.1-before", "Version Number", 0);
                before.Save();
            }
            if (shown) {
                options.SetExceptionDialogType(edtMSClassic);
                TExceptionHandlerServices services = ExceptionHandlerServices();
                services.WindowedProgram = [] { return true; };
                services.ShowExceptionDialog = [](bool) {
                    ExceptionDialogState().SendChecked = false;
                    ExceptionDialogState().DialogType = edtNone;
                };
                SetExceptionHandlerServices(services);
            }
            cvtest::NotifyCore(cvtest::ProgramException("logged by this version"));
            const TLogFile after(name, true);
            QString versions;
            for (int k = 0; k < after.Count(); ++k)
                versions += QStringLiteral("[%1]").arg(QString::fromStdString(after.GetItemValue("1.3", k)));
            return versions;
        });
        EXPECT_EQ(outcome, QStringLiteral("[]")) << outcome.toStdString();
    }
}
