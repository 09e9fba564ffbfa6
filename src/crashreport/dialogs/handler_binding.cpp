#include "crashreport/dialogs/handler_binding.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>
#include <QTime>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/system_facts.h"
#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/capture/window_services.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/handler/log_saving.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/file_version.h"
#include "crashreport/dialogs/dialog_toolkit.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "crashreport/dialogs/screenshot.h"
#include "crashreport/dialogs/send_dialog.h"
#include "crashreport/send/report_sending.h"
#include "crashreport/dialogs/reporter_request.h"
#include "crashreport/send/context/send_context.h"
#include "suite/logging.h"

namespace cv {

namespace {

// How long a GUI thread may take to answer before the dialogs go to a
// reporter process: one that waits for its events answers at once (the
// limit only guards against one stuck right after); one that is busy, or
// blocked outside its event loop (waiting for a lock, for another thread's
// end), gets a short while, not a second.
constexpr auto kGuiAnswerLimit = std::chrono::seconds(1);
constexpr auto kBusyGuiAnswerLimit = std::chrono::milliseconds(100);

// The exception whose dialog is owed to a reporter process (its count; 0:
// none), and whether this exception was handed over already. Written on
// the handler's thread only: one exception at a time.
struct TBindingState {
    uint32_t owedFor = 0;
    TExceptionDialogType owedKind = edtNone;
    uint32_t handedOverFor = 0;
    // Whether the GUI thread answered, asked once per exception (its
    // handling number; 0: not yet).
    uint32_t guiAskedFor = 0;
    bool guiUnreachable = false;
};

TBindingState& Binding()
{
    static TBindingState state;
    return state;
}

bool OnGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

QDateTime ToQDateTime(TDateTime value)
{
    if (value == 0)
        return {};
    const TDateTimeParts p = DecodeDateTime(value);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second, p.msec));
}

std::string FileBytes(const std::string& fileName)
{
    QFile file(QString::fromStdString(fileName));
    if (fileName.empty() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

// The dialog and the sending of this exception go to a reporter process
// (once per exception).
void HandOver(TExceptionDialogType kind, const std::string& sendText)
{
    TBindingState& binding = Binding();
    if (binding.handedOverFor == ExceptionCount())
        return;
    binding.handedOverFor = ExceptionCount();
    if (std::string reason; !HandOverToReporter(CurrentReporterRequest(kind, sendText), &reason))
        LogInternalWarning(eeShowError, "[GUI] The report could not be handed to a reporter process (" + reason + ").");
}

// The dialogs' message; a log that cannot be kept where the options say is told there too.
std::string MessageWithLogProblem()
{
    const std::string problem = ReportLogProblem();
    return problem.empty() ? GetErrorMessage() : GetErrorMessage() + "\r\n\r\n" + problem;
}

bool DialogOwed() { return Binding().owedFor != 0 && Binding().owedFor == ExceptionCount(); }

// --- The services ---

void ShowDialogService(bool firstTime)
{
    TExceptionDialogState& dialog = ExceptionDialogState();
    if (GuiThreadUnreachable()) {
        TBindingState& binding = Binding();
        if (firstTime || !DialogOwed()) {
            binding.owedFor = ExceptionCount();
            binding.owedKind = dialog.DialogType;
        }
        // The handler's dialog loop ends here; the reporter shows it once
        // the report is in the log (and sends it when that follows).
        dialog.DialogType = edtNone;
        return;
    }
    TExceptionDialogHost host = CurrentDialogHost();
    ShowExceptionDialog(firstTime, host);
    // The classic dialog puts the e-mail address typed in into the report.
    LastExceptionRecord().LogText = host.Texts.Report;
}

// The report is in the log: a dialog owed to a reporter goes there now,
// unless the sending that follows takes it along.
void ReportLoggedService(bool sendFollows)
{
    if (DialogOwed() && !sendFollows)
        HandOver(Binding().owedKind, {});
}

void ShowReproduceService()
{
    if (DialogOwed())
        return; // the reporter asks
    TExceptionDialogHost host = CurrentDialogHost();
    ShowReproduceDialog(host);
}

void CaptureScreenshotService()
{
    const TCrashboxModuleOptions& options = CurrentOptions();
    // The picture only ever travels with a report that is sent.
    if (!options.CommonSendOptions().Contains(sndSendScreenshot) || !SendMethodConfigured(options) ||
        !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    const auto capture = [&options] {
        RememberScreenshotFocus();
        CaptureScreenshot(options);
    };
    // A GUI thread that cannot serve still shows its windows: they are
    // pictured from here, as they are.
    if (GuiThreadUnreachable() || !RunOnGuiThread(capture))
        capture();
}

void SendService()
{
    if (DialogOwed() || GuiThreadUnreachable()) {
        HandOver(DialogOwed() ? Binding().owedKind : edtNone, LastSendText());
        return;
    }
    TReportToSend report;
    report.Options = &CurrentOptions();
    report.State.ScreenshotChecked = ExceptionDialogState().ScreenshotChecked;
    report.State.ExceptionTime = ToQDateTime(LastExceptionTime());
    report.State.ComputerName = TLocalSystemFacts().ComputerName();
    report.State.ReportText = LastExceptionRecord().LogText;
    report.LogText = LastSendText();
    if (IsCGIProgram()) {
        report.LastHTMLPage = CapturedStandardOutput();
        report.State.LastHTMLPageCaptured = true;
    }
    const TReportText pieces = LastReportPieces();
    report.ExceptionClass = pieces.ExceptionClass;
    report.ExceptionMessage = pieces.ExceptionMessage;
    report.ExceptionID = ErrorID();
    GetAppVersion(report.AppVersion);
    SendErrorReport(report);
}

} // namespace

bool GuiThreadUnreachable()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QGuiApplication*>(app) || OnGuiThread())
        return false;
    // The GUI thread raised the exception: it serves what the handler posts
    // to it, unless the exception is a fatal signal (it then waits inside its
    // signal handler).
    const TCrashboxExceptionRecord* active = ActiveExceptionRecord();
    if (active && active->ExceptionThreadID == MainThread().ID)
        return !MainThreadServesPosted();
    // The answer holds for the whole report of an exception.
    TBindingState& binding = Binding();
    if (active && binding.guiAskedFor == HandlingNumber())
        return binding.guiUnreachable;
    struct TAnswer {
        std::mutex lock;
        std::condition_variable given;
        bool answered = false;
    };
    auto answer = std::make_shared<TAnswer>();
    const auto limit = ThreadWaitsOnDescriptors(MainThread().ID) ? std::chrono::milliseconds(kGuiAnswerLimit) : kBusyGuiAnswerLimit;
    QMetaObject::invokeMethod(
        app,
        [answer] {
            std::lock_guard lock(answer->lock);
            answer->answered = true;
            answer->given.notify_all();
        },
        Qt::QueuedConnection);
    bool unreachable = false;
    {
        std::unique_lock lock(answer->lock);
        unreachable = !answer->given.wait_for(lock, limit, [&] { return answer->answered; });
    }
    if (active) {
        binding.guiAskedFor = HandlingNumber();
        binding.guiUnreachable = unreachable;
    }
    return unreachable;
}

TExceptionDialogHost CurrentDialogHost()
{
    TExceptionDialogHost host;
    TCrashboxModuleOptions& options = CurrentOptions();
    host.Options = &options;
    host.ErrorMessage = MessageWithLogProblem();
    host.ExceptionCount = int32_t(ExceptionCount());
    host.DuplicateInLog = ErrorIsDuplicate();
    const TReportText pieces = LastReportPieces();
    const std::string report = LastExceptionRecord().LogText;
    host.Texts = {pieces.General, pieces.Assembler, pieces.CPU, report, report, report};
    host.CallStack = LastCallStack();
    host.Modules = ModulesList();
    host.Processes = ProcessesList();
    host.Threads = ThreadsList();
    host.MainThreadID = MainThread().ID;
    // The compilation time the build wrote into the module's crash-report
    // data, for the location message to the development environment.
    host.ModuleCompilationDate = [](uintptr_t address) {
        TCrashboxModulesList* modules = ModulesList();
        const PCrashboxModuleInfo module = modules ? ModuleInfoByAddr(*modules, address) : nullptr;
        return module ? module->ExtraInformation.CompilationDate : QDateTime();
    };
    // The dialogs run on the GUI thread while the raising thread waits for
    // them: their events run there too.
    host.ActionNotify = [](uint8_t action, bool& execute) {
        RaiseExceptionActionNotify(LastExceptionRecord(), action, execute);
    };
    host.CustomButtonClick = [](bool& closeDialog) { RaiseCustomButtonClickNotify(LastExceptionRecord(), closeDialog); };
    return host;
}

TReporterRequest CurrentReporterRequest(TExceptionDialogType dialogType, const std::string& sendText)
{
    const TCrashboxModuleOptions& options = CurrentOptions();
    const TExceptionDialogState& dialog = ExceptionDialogState();
    TReporterRequest request;
    request.Options = PrivateOptionsCopy(options);
    request.DialogType = dialogType;
    request.SendChecked = dialog.SendChecked;
    request.ScreenshotChecked = dialog.ScreenshotChecked;
    request.CopyChecked = dialog.CopyChecked;
    request.DuplicateInLog = ErrorIsDuplicate();
    request.ExceptionCount = int32_t(ExceptionCount());
    request.ErrorMessage = MessageWithLogProblem();
    const TReportText pieces = LastReportPieces();
    request.General = pieces.General;
    request.Assembler = pieces.Assembler;
    request.CPU = pieces.CPU;
    request.Report = request.ReportCopy = LastExceptionRecord().LogText;
    request.SendText = sendText.empty() ? request.Report : sendText;
    request.ExceptionClass = pieces.ExceptionClass;
    request.ExceptionMessage = pieces.ExceptionMessage;
    request.ExceptionID = ErrorID();
    GetAppVersion(request.AppVersion);
    request.ExceptionTime = ToQDateTime(LastExceptionTime());
    request.ComputerName = TLocalSystemFacts().ComputerName();
    if (LoggingIsOn())
        request.LogFile = LogFilename().toStdString();
    if (request.ScreenshotChecked)
        request.Screenshot = FileBytes(ScreenshotFileName(options));
    for (const QString& argument : QCoreApplication::arguments())
        request.Arguments.push_back(argument.toStdString());
    return request;
}

TCrashReportDialogs::TCrashReportDialogs()
{
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.ShowExceptionDialog = ShowDialogService;
    services.ShowReproduceDialog = ShowReproduceService;
    services.CaptureScreenshot = CaptureScreenshotService;
    services.SaveScreenshot = [](const std::string& fileName) {
        // Without a picture no file is left (it would go as an empty attachment).
        if (CreatePrivateFile(fileName) && !SaveScreenshotToPNG(fileName))
            ::unlink(fileName.c_str());
    };
    services.FreeScreenshot = [] { FreeScreenshot(); };
    services.ReportLogged = ReportLoggedService;
    services.SendErrorReport = SendService;
    services.CopyTextToClipboard = [](const std::string& text) { CopyTextToClipboard(text); };
    services.WaitForReportSending = [](std::chrono::milliseconds limit) { return WaitForReportSending(limit); };
    SetExceptionHandlerServices(std::move(services));
    InstallSendDialog();
}

TCrashReportDialogs::~TCrashReportDialogs()
{
    WaitForReportSending();
    UninstallSendDialog();
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.ShowExceptionDialog = nullptr;
    services.ShowReproduceDialog = nullptr;
    services.CaptureScreenshot = nullptr;
    services.SaveScreenshot = nullptr;
    services.FreeScreenshot = nullptr;
    services.ReportLogged = nullptr;
    services.SendErrorReport = nullptr;
    services.CopyTextToClipboard = nullptr;
    services.WaitForReportSending = nullptr;
    SetExceptionHandlerServices(std::move(services));
}

} // namespace cv
