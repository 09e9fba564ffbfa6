#include "crashreport/send/report_sending.h"

#include <QCoreApplication>
#include <QString>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

#include "crashreport/core/crashbox_events.h"
#include "crashreport/core/crashbox_helpers.h"
#include "crashreport/core/crashbox_zip.h"
#include "crashreport/core/exception_handler.h"
#include "crashreport/core/exception_object.h"
#include "crashreport/core/file_version.h"
#include "crashreport/core/internal_errors.h"
#include "crashreport/core/window_services.h"
#include "crashreport/send/email_send.h"
#include "crashreport/send/send_context.h"
#include "crashreport/send/web_error_page.h"
#include "crashreport/send/web_send.h"
#include "suite/dialogs.h"

namespace cv {

namespace {

// The library-wide state of sending. Sends never overlap (the send lock
// serialises send threads; the handler takes one exception at a time), so
// the send's own fields need no lock; the send-thread count is guarded
// because it is read from other threads.
struct TSenderState {
    std::mutex sendLock; // whole sends made by send threads

    std::mutex threadsLock;
    std::condition_variable threadsDone;
    int runningThreads = 0;

    // The send in progress.
    TReportToSend* report = nullptr;
    std::vector<std::string> attachedFiles;
    std::vector<std::string> customWebFields;
    bool stepFlag = false;
    bool retryFlag = false;
    bool messageShown = false;
};

TSenderState& Sender()
{
    static TSenderState state;
    return state;
}

TReportToSend& Report()
{
    if (!Sender().report)
        throw std::logic_error("No report is being sent.");
    return *Sender().report;
}

TCrashboxModuleOptions& Options() { return *Report().Options; }

// The action event (execute) or the error event (retry): every receiver,
// on the raising thread, with the handler's record of the exception.
void NotifyAction(uint8_t action, bool& execute)
{
    RunInExceptionThread([&] { RaiseExceptionActionNotify(LastExceptionRecord(), action, execute); });
}

void NotifyError(uint8_t action, bool& retry)
{
    RunInExceptionThread([&] { RaiseExceptionErrorNotify(LastExceptionRecord(), action, retry); });
}

// The success and failure boxes: shown on the program's main thread (the
// message services are widgets), waiting there when the send runs on
// another thread.
TDialogAnswer ShowSendResultBox(const TDialogRequest& request)
{
    TDialogAnswer answer = request.defaultAnswer;
    RunOnApplicationThread([&] { answer = ShowDialog(request); });
    return answer;
}

int ShowSendMessageBox(const std::string& caption, const std::string& text, unsigned flags)
{
    constexpr unsigned kIconMask = 0xF0, kIconError = 0x10, kIconWarning = 0x30, kYesNo = 0x4;
    TDialogRequest request;
    request.caption = QString::fromStdString(caption);
    request.text = QString::fromStdString(text);
    switch (flags & kIconMask) {
    case kIconError:
        request.kind = TDialogKind::Error;
        break;
    case kIconWarning:
        request.kind = TDialogKind::Warning;
        break;
    default:
        request.kind = TDialogKind::Information;
        break;
    }
    if ((flags & 0xF) == kYesNo) {
        request.kind = TDialogKind::Question;
        request.buttons = TDialogButtons::YesNo;
        request.defaultAnswer = TDialogAnswer::Yes;
    }
    switch (ShowSendResultBox(request)) {
    case TDialogAnswer::Yes:
        return kMessageBoxYes;
    case TDialogAnswer::No:
        return kMessageBoxNo;
    default:
        return kMessageBoxOK;
    }
}

bool DeleteFileIfAny(const std::string& fileName) { return !fileName.empty() && ForceDeleteFile(fileName); }

// A rename that also works between file systems (the temporary folder and
// the log's folder often are different ones): copied, then removed.
bool MoveFileAcross(const std::string& from, const std::string& to)
{
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (!error)
        return true;
    if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error))
        return false;
    std::filesystem::remove(from, error);
    return true;
}

bool IsSMTPMode(TEmailSendMode mode) { return mode == esmSMTPClient || mode == esmSMTPServer; }

bool ModalSendDialog() { return !Options().CommonSendOptions().Contains(sndSendInSeparatedThread); }

// The protected deletions at the end of a send: each runs even when an
// earlier one failed.
void DeleteSendFiles()
{
    const TCrashboxModuleOptions& options = Options();
    const auto guarded = [](const auto& deletion) {
        try {
            deletion();
        } catch (...) {
        }
    };
    guarded([&] { DeleteFileIfAny(XMLCopyFileName(options)); });
    guarded([&] {
        if (!IsCGIApplication())
            DeleteFileIfAny(LastHTMLPageFileName(options));
    });
    guarded([&] { DeleteFileIfAny(LogCopyFileName(options)); });
}

} // namespace

// --- The send ---

void SendErrorReport(const TReportToSend& report)
{
    // The handler keeps a fatal signal's report on one thread.
    if (DirectMode() || !report.Options->CommonSendOptions().Contains(sndSendInSeparatedThread)) {
        DoSendErrorReport(report);
        return;
    }
    // The send thread outlives this call: it works on copies of the report
    // and its options, so the handler may go on with the next exception.
    std::unique_ptr<TCrashboxModuleOptions> options = PrivateOptionsCopy(*report.Options);
    auto copy = std::make_unique<TReportToSend>(report);
    copy->Options = options.get();
    TSendThread::Start(std::move(copy), std::move(options));
}

bool DoSendErrorReport(const TReportToSend& report)
{
    TSenderState& sender = Sender();
    TReportToSend current = report;
    sender.report = &current;
    sender.messageShown = false;
    sender.stepFlag = true;
    sender.attachedFiles.clear();
    sender.customWebFields.clear();
    ClearInternalWarning();
    SetReportBeingSent({current.Options, current.State});
    struct TEnd {
        ~TEnd()
        {
            ClearReportBeingSent();
            Sender().report = nullptr;
        }
    } end;

    TCrashboxModuleOptions& options = *current.Options;
    bool ok = true;
    try {
        WriteTempLogFile();
        SaveLastHTMLPage(options, current.LastHTMLPage);
        SaveXMLCopy(options, current.State);

        if (options.EMailSendMode() != esmNoSend) {
            PrepareAttachments(true);
            // The attached-files handlers may have changed the options.
            if (options.EMailSendMode() != esmNoSend)
                ok = SendReportByEmail() && ok;
        }
        if (options.WebSendMode() != wsmNoSend) {
            // The archive made for e-mail holds the log already unless the log went into the mail's body.
            if (options.EMailSendMode() == esmNoSend || options.AppendLogs())
                PrepareAttachments(false);
            if (options.WebSendMode() != wsmNoSend)
                ok = SendReportByWeb() && ok; // runs even when the e-mail step failed
        }

        if (!ok && options.BehaviourOptions().Contains(boCopyLogInCaseOfError))
            CopyTextToClipboard(current.State.ReportText);
        if (options.CommonSendOptions().Contains(sndShowSuccessFailureMsg) && !sender.messageShown) {
            TDialogRequest request;
            request.kind = ok ? TDialogKind::Information : TDialogKind::Error;
            request.caption = QString::fromStdString(options.GetExpandedText(mtInformationMsgCaption));
            request.text = QString::fromStdString(options.GetExpandedText(ok ? mtSend_SuccessMsg : mtSend_FailureMsg));
            ShowSendResultBox(request);
        }
        if (!ok && options.BehaviourOptions().Contains(boSaveCompressedCopyInCaseOfError)) {
            const std::string copyName = GetCompressedCopyName(options, current.State);
            if (MoveFileAcross(ZipFileName(), copyName))
                PruneCompressedCopies(ExtractFileDir(copyName));
        }
        DeleteFileIfAny(ZipFileName());
    } catch (...) {
        DeleteSendFiles();
        throw;
    }
    DeleteSendFiles();
    return ok;
}

void WaitForReportSending()
{
    TSenderState& sender = Sender();
    QCoreApplication* app = QCoreApplication::instance();
    const bool appThread = app && QThread::currentThread() == app->thread();
    std::unique_lock lock(sender.threadsLock);
    // A send thread may be waiting for a box or its dialog on this thread:
    // it keeps serving them.
    while (!sender.threadsDone.wait_for(lock, std::chrono::milliseconds(appThread ? 20 : 1000),
                                        [&] { return sender.runningThreads == 0; })) {
        if (appThread) {
            lock.unlock();
            QCoreApplication::processEvents();
            lock.lock();
        }
    }
}

// --- The steps ---

std::string AppendLogToBody()
{
    return Options().AppendLogs() ? "\r\n\r\n\r\n" + Report().LogText : std::string();
}

namespace {

// A step: announced (a handler may skip it, which counts as a failure),
// tried again while the error event asks, and its result reported.
bool RunSendStep(uint8_t before, uint8_t after, const std::function<bool()>& attempt)
{
    TSenderState& sender = Sender();
    sender.stepFlag = true;
    NotifyAction(before, sender.stepFlag);
    if (sender.stepFlag) {
        do {
            sender.stepFlag = false;
            sender.stepFlag = attempt();
            sender.retryFlag = false;
            if (!sender.stepFlag)
                NotifyError(after, sender.retryFlag);
        } while (sender.retryFlag);
    }
    bool result = sender.stepFlag;
    NotifyAction(after, result);
    return sender.stepFlag;
}

bool TryEmail()
{
    const TCrashboxModuleOptions& options = Options();
    const std::vector<std::string>& files = Sender().attachedFiles;
    const std::string addresses = options.EMailAddresses();
    const std::string subject = options.EMailSubject();
    const std::string message = options.EMailMessage();
    const TEmailSendMode mode = options.EMailSendMode();
    if (IsSMTPMode(mode)) {
        StartSendDialog(ModalSendDialog());
        return SendEmailBySMTP(mode == esmSMTPServer, options.SMTPFrom(), options.SMTPHost(), {}, files,
                               message + AppendLogToBody(), subject, addresses, options.SMTPPassword(),
                               options.SMTPUserID(), options.SMTPPort());
    }
    // The mail program, else the mailto address (which carries the report itself).
    return SendMAPIMessage(addresses, subject, message + AppendLogToBody(), {}, files) ||
           SendEmailByMailto(addresses, subject, message);
}

bool TryWeb()
{
    TSenderState& sender = Sender();
    StartSendDialog(ModalSendDialog());
    // One message to one server: the status line says "1/1".
    SetSendCounters(1, 1);
    // The transports read the options, the file state and the dialog
    // through the report being sent (send_context.h).
    TWebSendContext context;
    context.AttachedFiles = sender.attachedFiles;
    context.CustomWebFields = sender.customWebFields;
    context.RequestCustomWebFields = [](TNameValueList& fields) {
        RunInExceptionThread([&] { RaiseCustomWebFieldsRequest(LastExceptionRecord(), fields); });
    };
    context.MessageBox = ShowSendMessageBox;
    context.ExceptionClass = Report().ExceptionClass;
    context.ExceptionMessage = Report().ExceptionMessage;
    context.ExceptionID = Report().ExceptionID;
    context.AppVersion = Report().AppVersion;

    // A transport that succeeds sets the context's step flag as well.
    const bool result = SendReportByWebTransport(context) || context.StepFlag;
    sender.messageShown = sender.messageShown || context.MessageShown;
    sender.customWebFields = context.CustomWebFields;
    return result;
}

} // namespace

bool SendReportByEmail() { return RunSendStep(caSendingEmail, caSentEmail, TryEmail); }

bool SendReportByWeb() { return RunSendStep(caSendingWeb, caSentWeb, TryWeb); }

// --- The files ---

void WriteTempLogFile()
{
    const std::string name = LogCopyFileName(Options());
    if (name.empty())
        return;
    std::string text = Report().LogText;
    constexpr std::string_view kEnd = "\r\n\r\n\r\n";
    if (text.size() < kEnd.size() || text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) != 0)
        text += kEnd;
    // Written as lines, each ended by CR LF (the log's own line breaks).
    std::string lines;
    lines.reserve(text.size() + text.size() / 32);
    for (std::string_view line : SplitTextLines(text)) {
        lines += line;
        lines += "\r\n";
    }
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    file.write(lines.data(), std::streamsize(lines.size()));
}

void PrepareAttachments(bool forEmail)
{
    TSenderState& sender = Sender();
    AttachmentList(Options(), Report().State, sender.attachedFiles, forEmail);
    RunInExceptionThread([&] { RaiseAttachedFilesRequest(LastExceptionRecord(), sender.attachedFiles); });
    std::erase_if(sender.attachedFiles, [](const std::string& name) {
        std::error_code error;
        return name.empty() || !std::filesystem::exists(name, error);
    });
    ZipAttachments(ZipFileName(), Options().ZipPassword(), sender.attachedFiles);
    sender.attachedFiles.assign(1, ZipFileName());
}

void ZipAttachments(const std::string& zipName, const std::string& password, const std::vector<std::string>& files)
{
    if (files.empty())
        return;
    TZipWriter zip(zipName, password);
    for (const std::string& file : files)
        zip.AddFile(file, ExtractFileName(file));
}

std::string GetCompressedCopyName(const TCrashboxModuleOptions& options, const TReportFileState& state)
{
    return ExtractFilePath(options.OutputFile(GetExeFileNameA())) + AttachmentName(options, ZipFileName(), state);
}

void PruneCompressedCopies(const std::string& folder)
{
    constexpr std::size_t kKept = 10;
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (entry.is_regular_file(typeError) && name.size() > 4 &&
            QString::fromStdString(name).endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive))
            names.push_back(name);
    }
    if (names.size() <= kKept)
        return;
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return QString::compare(QString::fromStdString(a), QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    });
    const std::string prefix = IncludeTrailingBackslashA(folder);
    for (std::size_t i = 0; i + kKept < names.size(); ++i)
        DeleteFileIfAny(prefix + names[i]);
}

std::vector<std::string> SendAttachedFiles() { return Sender().attachedFiles; }

// --- The send thread ---

TSendThread::TSendThread(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options)
    : m_report(std::move(report)), m_options(std::move(options))
{
    // The handler lets go of its exception object when it is done with the
    // exception; the thread's events still show the exception.
    m_record = &LastExceptionRecord();
    if (m_record->ExceptionObject) {
        m_object = std::make_unique<TExceptionObject>(*m_record->ExceptionObject);
        m_record->ExceptionObject = m_object.get();
    }
}

void TSendThread::Start(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options)
{
    auto thread = std::make_unique<TSendThread>(std::move(report), std::move(options));
    TSenderState& sender = Sender();
    {
        std::lock_guard lock(sender.threadsLock);
        ++sender.runningThreads;
    }
    std::thread([thread = std::move(thread)] {
        thread->Execute();
        TSenderState& s = Sender();
        std::lock_guard lock(s.threadsLock);
        --s.runningThreads;
        s.threadsDone.notify_all();
    }).detach();
}

void TSendThread::Execute()
{
    std::lock_guard sendLock(Sender().sendLock);
    try {
        DoSendErrorReport(*m_report);
    } catch (...) {
        HandleInternalError("TSendThread.Execute");
    }
    FinishReportSending(*m_options);
    FreeLastCallStack();
    TerminateOrRestartIfRequested(*m_options);
    if (m_record->ExceptionObject == m_object.get())
        m_record->ExceptionObject = nullptr;
}

} // namespace cv
