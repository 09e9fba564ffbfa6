#include "crashreport/send/report_sending.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include <sys/stat.h>

#include "crashreport/core/capture/window_services.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/handler/report_threads.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/crashbox_zip.h"
#include "crashreport/core/support/exception_object.h"
#include "crashreport/core/support/file_version.h"
#include "crashreport/send/mail/email_send.h"
#include "crashreport/send/context/send_context.h"
#include "crashreport/send/web/web_error_page.h"
#include "crashreport/send/web/web_send.h"
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

// Where a report that did not go is kept, as a line for the failure box:
// its compressed copy, else the log; empty when neither keeps it.
std::string KeptReportLine(const TCrashboxModuleOptions& options, const TReportFileState& state)
{
    std::string place;
    if (options.BehaviourOptions().Contains(boSaveCompressedCopyInCaseOfError))
        place = GetCompressedCopyName(options, state);
    else if (options.SaveLogFile())
        place = ExpandVariables(options.OutputLogFile(""));
    return place.empty() ? std::string() : "\r\n\r\nThe report is kept in \"" + place + "\".";
}

bool IsSMTPMode(TEmailSendMode mode) { return mode == esmSMTPClient || mode == esmSMTPServer; }

bool ModalSendDialog() { return !Options().CommonSendOptions().Contains(sndSendInSeparatedThread); }

// The report's folder (the send's files go there).
const std::string& SendFolder() { return Report().State.Folder; }

// The protected deletions at the end of a send: each runs even when an
// earlier one failed.
void DeleteSendFiles()
{
    const TCrashboxModuleOptions& options = Options();
    const std::string& folder = SendFolder();
    const auto guarded = [](const auto& deletion) {
        try {
            deletion();
        } catch (...) {
        }
    };
    guarded([&] { DeleteFileIfAny(XMLCopyFileName(options, folder)); });
    guarded([&] {
        if (!IsCGIApplication())
            DeleteFileIfAny(LastHTMLPageFileName(options));
    });
    guarded([&] { DeleteFileIfAny(LogCopyFileName(options, folder)); });
    guarded([&] { DeleteFileIfAny(LeftOutFilesName(folder)); });
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
    // The report's folder goes with the thread: the next report gets one of its own.
    std::unique_ptr<TReportFolder> folder;
    if (report.State.Folder.empty())
        folder = TakeReportFolder();
    if (!folder && report.State.Folder.empty())
        folder = std::make_unique<TReportFolder>();
    if (folder)
        copy->State.Folder = folder->Path();
    TSendThread::Start(std::move(copy), std::move(options), std::move(folder));
}

bool DoSendErrorReport(const TReportToSend& report)
{
    TSenderState& sender = Sender();
    TReportToSend current = report;
    if (current.State.Folder.empty())
        current.State.Folder = ReportFolder();
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

        // The clipboard copy of a report that did not go, where it outlives
        // the program: else it would vanish with the process and take the
        // user's own clipboard with it; the failure box then says where the
        // report is kept.
        bool leftOffClipboard = false;
        if (!ok && options.BehaviourOptions().Contains(boCopyLogInCaseOfError)) {
            if (ClipboardOutlivesProcess())
                CopyTextToClipboard(current.State.ReportText);
            else
                leftOffClipboard = true;
        }
        if (options.CommonSendOptions().Contains(sndShowSuccessFailureMsg) && !sender.messageShown) {
            TDialogRequest request;
            request.kind = ok ? TDialogKind::Information : TDialogKind::Error;
            request.caption = QString::fromStdString(options.GetExpandedText(mtInformationMsgCaption));
            std::string text = options.GetExpandedText(ok ? mtSend_SuccessMsg : mtSend_FailureMsg);
            if (leftOffClipboard)
                text += KeptReportLine(options, current.State);
            request.text = QString::fromStdString(text);
            ShowSendResultBox(request);
        }
        if (!ok && options.BehaviourOptions().Contains(boSaveCompressedCopyInCaseOfError)) {
            const std::string copyName = GetCompressedCopyName(options, current.State);
            if (MoveFileAcross(ZipFileName(current.State.Folder), copyName))
                PruneCompressedCopies(ExtractFileDir(copyName), current.State.ComputerName);
        }
        DeleteFileIfAny(ZipFileName(current.State.Folder));
    } catch (...) {
        DeleteSendFiles();
        throw;
    }
    DeleteSendFiles();
    return ok;
}

bool WaitForReportSending(std::chrono::milliseconds limit)
{
    TSenderState& sender = Sender();
    QCoreApplication* app = QCoreApplication::instance();
    const bool appThread = app && QThread::currentThread() == app->thread();
    using Clock = std::chrono::steady_clock;
    // No limit given: no end (the sum would overflow).
    const Clock::time_point end = limit >= std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - Clock::now())
                                      ? Clock::time_point::max()
                                      : Clock::now() + limit;
    std::unique_lock lock(sender.threadsLock);
    // A send thread may be waiting for a box or its dialog on this thread:
    // it keeps serving them.
    while (!sender.threadsDone.wait_for(lock, std::chrono::milliseconds(appThread ? 20 : 1000),
                                        [&] { return sender.runningThreads == 0; })) {
        if (Clock::now() >= end)
            return false;
        if (appThread) {
            lock.unlock();
            QCoreApplication::processEvents();
            lock.lock();
        }
    }
    return true;
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
    const std::string body = message + AppendLogToBody();
    // A body too long to be handed over whole is cut: the log then goes as a file too.
    std::vector<std::string> extraFiles;
    if (options.AppendLogs() && body.size() > kMaxMailArgument)
        extraFiles.push_back(LogCopyFileName(options, SendFolder()));
    return SendMAPIMessage(addresses, subject, body, extraFiles, files) || SendEmailByMailto(addresses, subject, message);
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
    const std::string name = LogCopyFileName(Options(), SendFolder());
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
    WritePrivateFile(name, lines);
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
    // Only regular files of a bounded size go (a pipe would never end its
    // read); what is left out is named in a note that goes instead.
    std::string leftOut;
    std::erase_if(sender.attachedFiles, [&leftOut](const std::string& name) {
        const std::string reason = AttachmentLeftOutReason(name);
        if (!reason.empty())
            leftOut += name + ": " + reason + "\r\n";
        return !reason.empty();
    });
    if (!leftOut.empty()) {
        LogInternalWarning(eeLogError, "[Attach] Left out: " + leftOut);
        const std::string note = LeftOutFilesName(SendFolder());
        if (WritePrivateFile(note, leftOut))
            sender.attachedFiles.push_back(note);
    }
    const std::string zipName = ZipFileName(SendFolder());
    ZipAttachments(zipName, Options().ZipPassword(), sender.attachedFiles);
    sender.attachedFiles.assign(1, zipName);
}

std::string AttachmentLeftOutReason(const std::string& fileName)
{
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0)
        return "it cannot be read";
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    if (uint64_t(info.st_size) > kMaxAttachedFileSize)
        return "it is larger than " + std::to_string(kMaxAttachedFileSize / (1024 * 1024)) + " MB";
    return {};
}

std::string LeftOutFilesName(const std::string& folder)
{
    return folder.empty() ? std::string() : IncludeTrailingBackslashA(folder) + "LeftOutFiles.txt";
}

void ZipAttachments(const std::string& zipName, const std::string& password, const std::vector<std::string>& files)
{
    if (files.empty() || zipName.empty())
        return;
    TZipWriter zip(zipName, password);
    for (const std::string& file : files)
        if (AttachmentLeftOutReason(file).empty())
            zip.AddFile(file, ExtractFileName(file));
}

std::string GetCompressedCopyName(const TCrashboxModuleOptions& options, const TReportFileState& state)
{
    return ExtractFilePath(options.OutputFile(GetExeFileNameA())) + AttachmentName(options, kReportZipName, state);
}

bool IsCompressedCopyName(std::string_view name, std::string_view computerName)
{
    // "BugReport", then "__" + the computer's name and "__" + the date
    // stamp when the options ask for them, ".zip": exactly as
    // GetCompressedCopyName makes them, so a user's "BugReport__notes.zip"
    // is never taken for one.
    constexpr std::string_view kStem = "BugReport", kExtension = ".zip";
    if (!name.starts_with(kStem) || !name.ends_with(kExtension) || name.size() < kStem.size() + kExtension.size())
        return false;
    const std::string_view stamps = name.substr(kStem.size(), name.size() - kStem.size() - kExtension.size());
    const auto isDateStamp = [](std::string_view text) {
        return text.size() == 16 && text.starts_with("__")
               && std::all_of(text.begin() + 2, text.end(), [](char c) { return c >= '0' && c <= '9'; })
               && QDateTime::fromString(QString::fromLatin1(text.data() + 2, 14), QStringLiteral("yyyyMMddHHmmss")).isValid();
    };
    if (stamps.empty() || isDateStamp(stamps))
        return true;
    // The computer's name, alone or before the date stamp.
    const std::string computer = "__" + std::string(computerName);
    if (computerName.empty() || !stamps.starts_with(computer))
        return false;
    return stamps.size() == computer.size() || isDateStamp(stamps.substr(computer.size()));
}

void PruneCompressedCopies(const std::string& folder, const std::string& computerName)
{
    constexpr std::size_t kKept = 10;
    std::vector<std::string> names;
    std::error_code error;
    // Only the copies this component made: any other file is the user's.
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (entry.is_regular_file(typeError) && IsCompressedCopyName(name, computerName))
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

TSendThread::TSendThread(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options,
                         std::unique_ptr<TReportFolder> folder)
    : m_report(std::move(report)), m_options(std::move(options)), m_folder(std::move(folder))
{
    // The handler lets go of its exception object when it is done with the
    // exception; the thread's events still show the exception.
    m_record = &LastExceptionRecord();
    m_handlerObject = m_record->ExceptionObject;
    if (m_record->ExceptionObject) {
        m_object = std::make_unique<TExceptionObject>(*m_record->ExceptionObject);
        m_record->ExceptionObject = m_object.get();
    }
}

void TSendThread::Start(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options,
                        std::unique_ptr<TReportFolder> folder)
{
    const auto thread = std::make_shared<TSendThread>(std::move(report), std::move(options), std::move(folder));
    TSenderState& sender = Sender();
    {
        std::lock_guard lock(sender.threadsLock);
        ++sender.runningThreads;
    }
    // Its progress window may paint after the handler is done: the limit
    // on Qt's threads lasts until the send's end.
    BeginReportThreadLimit();
    const auto end = [] {
        EndReportThreadLimit();
        TSenderState& s = Sender();
        std::lock_guard lock(s.threadsLock);
        --s.runningThreads;
        s.threadsDone.notify_all();
    };
    std::thread started;
    if (TryStartThread(
            started,
            [thread, end] {
                thread->Execute();
                end();
            },
            "sending the report")) {
        started.detach();
        return;
    }
    end();
    NoteSendMadeHere();
    thread->SendHere();
}

void TSendThread::SendHere()
{
    Send();
    if (m_record->ExceptionObject == m_object.get())
        m_record->ExceptionObject = m_handlerObject;
}

void TSendThread::Send()
{
    std::lock_guard sendLock(Sender().sendLock);
    try {
        DoSendErrorReport(*m_report);
    } catch (...) {
        HandleInternalError("TSendThread.Execute");
    }
}

void TSendThread::Execute()
{
    Send();
    FinishReportSending(*m_options, std::move(m_folder));
    FreeLastCallStack();
    TerminateOrRestartIfRequested(*m_options);
    if (m_record->ExceptionObject == m_object.get())
        m_record->ExceptionObject = nullptr;
}

} // namespace cv
