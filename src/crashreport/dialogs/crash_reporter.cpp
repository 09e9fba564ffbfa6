#include "crashreport/dialogs/crash_reporter.h"

#include <spawn.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "crashreport/core/capture/code_hooks.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_handling_unit.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/handler/report_threads.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/report/report_text.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "crashreport/dialogs/send_dialog.h"
#include "crashreport/gui_facts/qt_gui_facts.h"
#include "crashreport/send/report_sending.h"
#include "crashreport/dialogs/reporter_request.h"
#include "suite/dialogs.h"
#include "gui/qt_dialog_service.h"
#include "suite/logging.h"

extern char** environ;

namespace cv {

namespace {

void CopyToClipboard(const std::string& text)
{
    if (!text.empty() && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

// The send on a thread of its own, the GUI thread serving the send dialog
// and the boxes meanwhile. When no thread can start, the send is made on
// the GUI thread, which serves the dialog as the send goes on.
void SendBesideTheDialogs(const TReportToSend& report)
{
    std::atomic<bool> done{false};
    std::thread sender;
    StartThreadOrRunHere(
        sender,
        [&] {
            try {
                DoSendErrorReport(report);
            } catch (...) {
                HandleInternalError("Reporter.Send");
            }
            done = true;
        },
        "sending the report");
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (sender.joinable())
        sender.join();
}

// The steps to reproduce as a section of the report to send, after its
// general information, as the crashed process would have put them (it
// logged the report before they were asked, with the section still empty:
// that one gives way).
void AddReproduceSection(TExceptionDialogHost& host, const TCrashboxModuleOptions& options)
{
    TExceptionReportTexts& texts = host.Texts;
    const std::string& steps = options.ReproduceText();
    if (!options.LogOptions().Contains(loAppendReproduceText) || steps.empty() || !texts.Report.starts_with(texts.General))
        return;
    const std::string caption = options.GetExpandedText(mtReproduceDialog_Caption);
    TReportText empty;
    empty.InsertSection(CustomTextSection(caption, {}));
    TReportText pieces;
    pieces.General = texts.General;
    if (pieces.General.ends_with(empty.General))
        pieces.General.resize(pieces.General.size() - empty.General.size());
    pieces.InsertSection(CustomTextSection(caption, steps));
    texts.Report = pieces.General + texts.Report.substr(texts.General.size());
    texts.General = std::move(pieces.General);
}

// Starts the crashed program again with its own arguments.
void RestartCrashedProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    ::posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ);
}

} // namespace

int RunCrashReporter(const std::string& requestFile)
{
    TReporterRequest request;
    std::string error;
    if (!LoadReporterRequest(requestFile, request, &error)) {
        LogInternalWarning(eeShowError, "[Reporter] " + requestFile + ": " + error);
        // Nobody else will take it: a request file this user made goes now.
        RemoveRefusedRequest(requestFile);
        return 2;
    }
    // Read, the request goes at once (it holds the whole report and the mail
    // password); the report goes on in its folder, removed at the end.
    ::unlink(requestFile.c_str());
    // The report's text as the crashed process had it in its environment
    // (the texts' %_BugReport%); it does not travel through the environment.
    ::setenv(kReportVariable, request.Report.c_str(), 1);
    if (std::unique_ptr<TReportFolder> folder = TReportFolder::Adopt(ExtractFileDir(requestFile)))
        SetReportFolder(std::move(folder));
    TCrashboxModuleOptions& options = *request.Options;
    // The crash-event lines of the program's handlers go where the crashed
    // process wrote its own.
    if (!request.LogFile.empty()) {
        SetLogFilename(QString::fromStdString(request.LogFile));
        SwitchLogging(true);
    }
    // The screenshot was taken in the crashed process, while its windows were there.
    const std::string screenshot = ScreenshotFileName(options);
    const bool haveScreenshot = request.ScreenshotChecked && !request.Screenshot.empty() && !screenshot.empty() &&
                                WritePrivateFile(screenshot, request.Screenshot);
    TExceptionDialogState& state = ExceptionDialogState();
    state = TExceptionDialogState{};
    state.DialogType = request.DialogType;
    state.SendChecked = request.SendChecked;
    state.ScreenshotChecked = haveScreenshot;
    state.CopyChecked = request.CopyChecked;
    state.DialogWorkArea = GetForegroundWorkArea();

    // The program's handlers get the handler's record of the exception, as
    // they would have in the crashed process.
    TCrashboxExceptionRecord& record = LastExceptionRecord();
    record.LogText = request.Report;
    record.CurrentModuleOptions = &options;
    TExceptionDialogHost host;
    host.Options = &options;
    host.ErrorMessage = request.ErrorMessage;
    host.ExceptionCount = request.ExceptionCount;
    host.DuplicateInLog = request.DuplicateInLog;
    host.Texts = {request.General, request.Assembler, request.CPU, request.Report, request.ReportCopy, request.SendText};
    host.ActionNotify = [&](uint8_t action, bool& execute) { RaiseExceptionActionNotify(record, action, execute); };
    host.CustomButtonClick = [&](bool& closeDialog) { RaiseCustomButtonClickNotify(record, closeDialog); };

    InstallSendDialog();
    const TExceptionDialogType kind = request.DialogType;
    if (kind != edtNone) {
        ShowExceptionDialog(true, host);
        while (state.DialogType != edtNone) {
            state.DialogShownAgain = true;
            ShowExceptionDialog(false, host);
        }
        if (kind == edtCrashbox) {
            ShowReproduceDialog(host);
            AddReproduceSection(host, options);
        }
    }
    if (state.CopyChecked)
        CopyToClipboard(host.Texts.Report);

    if (SendMethodConfigured(options) && !request.DuplicateInLog && (state.SendChecked || kind == edtNone)) {
        TReportToSend report;
        report.Options = &options;
        report.State.ScreenshotChecked = state.ScreenshotChecked;
        report.State.ExceptionTime = request.ExceptionTime;
        report.State.ComputerName = request.ComputerName;
        report.State.Password = request.Password;
        report.State.ReportText = host.Texts.Report;
        // The e-mail address typed into the classic dialog is in the report to send too.
        report.LogText = request.SendText == request.Report ? host.Texts.Report : request.SendText;
        report.ExceptionClass = request.ExceptionClass;
        report.ExceptionMessage = request.ExceptionMessage;
        report.ExceptionID = request.ExceptionID;
        report.AppVersion = request.AppVersion;
        record.LogText = host.Texts.Report;
        SendBesideTheDialogs(report);
    }
    // The screenshot file goes.
    FinishReportSending(options);
    UninstallSendDialog();
    QCoreApplication::processEvents();
    if (state.TerminateRequested && options.TerminateBtnOperation() == tbRestart)
        RestartCrashedProgram(request.Arguments);
    return 0;
}

std::optional<int> RunAsCrashReporter(int& argc, char** argv)
{
    const std::string requestFile = ReporterRequestArgument(argc, argv);
    if (requestFile.empty())
        return std::nullopt;
    std::optional<QApplication> app;
    if (!QCoreApplication::instance())
        app.emplace(argc, argv);
    // The message boxes (the plain exception box, an invalid e-mail address,
    // the send's success or failure) appear on screen, as in the program.
    TQtDialogService dialogs;
    const TDialogServiceGuard dialogGuard(&dialogs);
    InitExceptionHandlingUnit();
    std::optional<TQtGuiFactsRegistration> guiFacts(std::in_place);
    // The reporter is one report from start to end: its windows paint
    // without Qt's pool threads, which it may be unable to start (it was
    // started by a program that could start none).
    const bool ownHooks = !HooksStarted();
    if (ownHooks)
        InitHooks();
    InstallReportPoolDoor();
    int exitCode = 0;
    {
        const TReportThreadLimit reportThreads;
        exitCode = RunCrashReporter(requestFile);
    }
    RemoveReportPoolDoor();
    if (ownHooks)
        DoneHooks();
    guiFacts.reset();
    // The crashed run's log gets no closing line of the reporter's.
    SwitchLogging(false);
    DoneExceptionHandlingUnit();
    return exitCode;
}

} // namespace cv
