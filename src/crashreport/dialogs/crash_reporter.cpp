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

#include "crashreport/core/crashbox_events.h"
#include "crashreport/core/dialog_state.h"
#include "crashreport/core/internal_errors.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "crashreport/dialogs/send_dialog.h"
#include "crashreport/send/report_sending.h"
#include "crashreport/send/reporter_request.h"

extern char** environ;

namespace cv {

namespace {

void CopyToClipboard(const std::string& text)
{
    if (!text.empty() && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

// The send on a thread of its own, the GUI thread serving the send dialog
// and the boxes meanwhile.
void SendBesideTheDialogs(const TReportToSend& report)
{
    std::atomic<bool> done{false};
    std::thread sender([&] {
        try {
            DoSendErrorReport(report);
        } catch (...) {
            HandleInternalError("Reporter.Send");
        }
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    sender.join();
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
        return 2;
    }
    TCrashboxModuleOptions& options = *request.Options;
    TExceptionDialogState& state = ExceptionDialogState();
    state = TExceptionDialogState{};
    state.DialogType = request.DialogType;
    state.SendChecked = request.SendChecked;
    // The crashed program's windows are gone: there is nothing to picture.
    state.ScreenshotChecked = false;
    state.CopyChecked = request.CopyChecked;
    state.DialogWorkArea = GetForegroundWorkArea();

    TCrashboxExceptionRecord record;
    record.LogText = request.Report;
    record.CurrentModuleOptions = &options;
    TExceptionDialogHost host;
    host.Options = &options;
    host.ErrorMessage = request.ErrorMessage;
    host.ExceptionCount = request.ExceptionCount;
    host.DuplicateInLog = request.DuplicateInLog;
    host.Texts = {request.General, request.Assembler, request.CPU, request.Report, request.ReportCopy, request.SendText};
    host.ActionNotify = [&](uint8_t action, bool& execute) {
        if (TExceptionActionNotifyProc cell = ExceptionActionNotify())
            cell(record, action, execute);
    };

    InstallSendDialog();
    const TExceptionDialogType kind = request.DialogType;
    if (kind != edtNone) {
        ShowExceptionDialog(true, host);
        while (state.DialogType != edtNone) {
            state.DialogShownAgain = true;
            ShowExceptionDialog(false, host);
        }
        if (kind == edtCrashbox)
            ShowReproduceDialog(host);
    }
    if (state.CopyChecked)
        CopyToClipboard(host.Texts.Report);

    if (SendMethodConfigured(options) && !request.DuplicateInLog && (state.SendChecked || kind == edtNone)) {
        TReportToSend report;
        report.Options = &options;
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
        TReportSenderServices services;
        services.CopyTextToClipboard = [](const std::string& text) {
            QMetaObject::invokeMethod(qApp, [text] { CopyToClipboard(text); }, Qt::QueuedConnection);
        };
        services.RestartOrTerminate = [](bool) {};
        SetReportSenderServices(services);
        SendBesideTheDialogs(report);
        FinishReportSending(options);
        SetReportSenderServices({});
    }
    UninstallSendDialog();
    QCoreApplication::processEvents();
    if (state.TerminateRequested && options.TerminateBtnOperation() == tbRestart)
        RestartCrashedProgram(request.Arguments);
    ::unlink(requestFile.c_str());
    return 0;
}

std::optional<int> RunCrashReporterIfAsked(int argc, const char* const* argv)
{
    const std::string requestFile = ReporterRequestArgument(argc, argv);
    if (requestFile.empty())
        return std::nullopt;
    return RunCrashReporter(requestFile);
}

} // namespace cv
