#include "crashreport/send/mail/email_send.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/report_helpers.h"
#include "crashreport/send/context/send_context.h"
#include "crashreport/send/mail/dns_mx.h"
#include "crashreport/send/mail/mail_settings.h"
#include "crashreport/send/mail/smtp_client.h"
#include "crashreport/send/mail/socket_progress.h"

extern char** environ;

namespace cv {

namespace {

constexpr const char* kCRLF = "\r\n";
constexpr std::size_t kBase64LineLength = 80;
// xdg-email: "a required tool could not be found".
constexpr int kMailToolMissing = 3;

bool IsExistingFile(const std::string& fileName)
{
    std::error_code error;
    return !TrimA(fileName).empty() && std::filesystem::is_regular_file(fileName, error);
}

std::vector<std::string> SplitAddresses(const std::string& addresses)
{
    std::vector<std::string> list;
    SplitStringToList(addresses, list, MakeCharSet(",;"), false, false);
    return list;
}

std::string Text(TMessageType type) { return ReportOptions().GetExpandedText(type); }

// Runs the program and waits for it to end. False with the reason when it
// cannot be started; exitStatus is -1 when it did not exit normally.
bool RunAndWait(const std::vector<std::string>& arguments, int& exitStatus, int& startError)
{
    exitStatus = -1;
    startError = 0;
    if (arguments.empty() || arguments[0].empty()) {
        startError = ENOENT;
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    startError = ::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (startError != 0)
        return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return true;
    }
    if (WIFEXITED(status))
        exitStatus = WEXITSTATUS(status);
    return true;
}

uint32_t TickCount()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

void SMTPCommand(TCrashboxClientSMTP& smtp, const std::string& command, std::initializer_list<uint16_t> codes)
{
    PumpSendDialogMessages();
    smtp.SendCommand(command, codes);
    PumpSendDialogMessages();
}

void SMTPGreet(TCrashboxClientSMTP& smtp, const std::string& verb)
{
    SMTPCommand(smtp, verb + " " + GetLocalHostNameA(), {250});
}

} // namespace

// --- Commands and names ---

std::vector<std::string> SplitCommandLine(std::string_view commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false, quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (quoted) {
            if (c != '"')
                current += c;
            else if (i + 1 < commandLine.size() && commandLine[i + 1] == '"')
                current += commandLine[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = inArgument = true;
        } else if (c == ' ' || c == '\t') {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

std::string URLEncodeA(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto b = uint8_t(c);
        if (b == '-' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 128) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[b >> 4];
            encoded += kHex[b & 15];
        }
    }
    return encoded;
}

std::string GetSenderDisplayName()
{
    const std::string owner = GetRegisteredOwner();
    return owner.empty() ? GetCurrentUserName() : owner;
}

std::string GetLocalHostNameA()
{
    char name[251] = {};
    if (::gethostname(name, 250) != 0)
        return {};
    return name;
}

// --- The mail program and the mailto command ---

bool SendMAPIMessage(const std::string& addresses, const std::string& subject, const std::string& body,
                     std::span<const std::string> extraFiles, const std::vector<std::string>& files)
{
    std::vector<std::string> arguments = SplitCommandLine(MailSettings().MailClientCommand);
    arguments.push_back("--utf8");
    arguments.push_back("--subject");
    arguments.push_back(FlattenControlChars(ExpandVariables(subject)));
    arguments.push_back("--body");
    arguments.push_back(CutTextToFit(ExpandVariables(body), kMaxMailArgument, kBodyCutToAttachment,
                                     [](unsigned char) { return std::size_t(1); }));
    auto attach = [&arguments](const std::string& fileName) {
        const std::string expanded = ExpandVariables(fileName);
        if (!IsExistingFile(expanded))
            return;
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(expanded, error);
        arguments.push_back("--attach");
        arguments.push_back(error ? expanded : full.string());
    };
    for (const std::string& fileName : extraFiles)
        attach(fileName);
    for (const std::string& fileName : files)
        attach(fileName);
    for (const std::string& address : SplitAddresses(addresses))
        arguments.push_back(address);

    int exitStatus = 0, startError = 0;
    if (!RunAndWait(arguments, exitStatus, startError) || exitStatus == kMailToolMissing) {
        LogInternalWarning(eeEmailMAPIError, "Cannot open the MAPI dll.");
        return false;
    }
    if (exitStatus != 0) {
        LogInternalWarning(eeEmailMAPIError, "Cannot send the MAPI message.");
        return false;
    }
    return true;
}

bool SendEmailByMAPI(const std::string& addresses, const std::string& subject, const std::string& body,
                     const std::string& fileNames)
{
    std::vector<std::string> files;
    SplitStringToList(fileNames, files, MakeCharSet(",;"), false, false);
    return SendMAPIMessage(addresses, subject, body, {}, files);
}

std::string CutTextToFit(std::string_view text, std::size_t limit, std::string_view note,
                         std::size_t (*encodedSize)(unsigned char byte))
{
    std::size_t total = 0;
    for (const char c : text)
        total += encodedSize(static_cast<unsigned char>(c));
    if (total <= limit)
        return std::string(text);
    std::size_t noteSize = 0;
    for (const char c : note)
        noteSize += encodedSize(static_cast<unsigned char>(c));
    const std::size_t room = limit > noteSize ? limit - noteSize : 0;
    // The longest start that fits and ends where a character begins (a cut
    // between the bytes of one UTF-8 character would spoil it).
    std::size_t used = 0, end = 0, i = 0;
    for (; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80)
            end = i;
        used += encodedSize(byte);
        if (used > room)
            break;
    }
    if (i == text.size())
        end = i;
    return std::string(text.substr(0, end)) + std::string(note);
}

bool SendEmailByMailto(const std::string& addresses, const std::string& subject, const std::string& message)
{
    const std::string head = "mailto:" + addresses + "?Subject=" + URLEncodeA(ExpandVariables(subject)) + "&Body=";
    const std::string logName = ExpandVariables(ReportOptions().OutputLogFile(""));
    const std::string body = CutTextToFit(ExpandVariables(message) + "\r\n\r\n\r\n" + ReportFileState().ReportText,
                                          kMaxMailArgument > head.size() ? kMaxMailArgument - head.size() : 0,
                                          std::string(kBodyCutToLog) + logName + "]",
                                          [](unsigned char byte) { return URLEncodeA(std::string(1, char(byte))).size(); });
    const std::string url = head + URLEncodeA(body);
    // The address goes into an argument of its own, never through a shell.
    std::vector<std::string> arguments = SplitCommandLine(MailSettings().MailtoCommand);
    for (std::string& argument : arguments)
        argument = ReplaceAllA(argument, "%1", url);
    int exitStatus = 0, startError = 0;
    if (!RunAndWait(arguments, exitStatus, startError)) {
        LogInternalWarning(eeEmailShellError, std::system_category().message(startError));
        return false;
    }
    return true;
}

// --- The message ---

std::string SMTPHeaderSender(const std::string& from)
{
    if (from.find('"') == std::string::npos && from.find('<') == std::string::npos)
        return "\"" + GetSenderDisplayName() + "\" <" + FlattenControlChars(from) + ">";
    return FlattenControlChars(from);
}

std::string SMTPEnvelopeAddress(const std::string& headerSender)
{
    const std::size_t quoted = headerSender.find("\" <");
    if (quoted != std::string::npos) {
        std::string address = headerSender.substr(quoted + 3);
        if (!address.empty())
            address.pop_back();
        return address;
    }
    // "Name <address>" written without quotes: the address alone, which is
    // all a server takes in MAIL FROM.
    const std::size_t open = headerSender.rfind('<');
    const std::size_t close = open == std::string::npos ? open : headerSender.find('>', open);
    if (close != std::string::npos)
        return headerSender.substr(open + 1, close - open - 1);
    return headerSender;
}

std::string SMTPBodyLines(std::string_view body)
{
    std::string lines;
    lines.reserve(body.size() + body.size() / 32);
    bool lineStart = true;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
            lines += kCRLF;
            lineStart = true;
            continue;
        }
        // A line of a single "." would end the message.
        if (lineStart && c == '.')
            lines += '.';
        lines += c;
        lineStart = false;
    }
    return lines;
}

std::string EncodeFileBase64Lines(const std::string& fileName)
{
    if (!IsExistingFile(fileName))
        return {};
    std::ifstream in(fileName, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string encoded = Base64EncodeStr(data);
    std::string lines;
    lines.reserve(encoded.size() + encoded.size() / kBase64LineLength * 2 + 2);
    for (std::size_t at = 0; at < encoded.size(); at += kBase64LineLength) {
        lines.append(encoded, at, kBase64LineLength);
        if (at + kBase64LineLength <= encoded.size())
            lines += kCRLF;
    }
    return lines;
}

std::string BuildAttachmentPart(const std::string& fileName)
{
    if (!IsExistingFile(fileName))
        return {};
    const std::string name = AttachmentName(ReportOptions(), fileName, ReportFileState());
    std::string extension = ExtractFileExt(fileName);
    for (char& c : extension)
        c = char(std::toupper(uint8_t(c)));
    const std::string type = extension == ".PNG" ? "image/png" : "application/octet-stream";
    std::string part = std::string(kCRLF) + "--" + kMIMEBoundary + kCRLF;
    part += "Content-Type: " + type + ";" + kCRLF;
    part += "        name=\"" + name + "\"" + kCRLF;
    part += std::string("Content-Transfer-Encoding: base64") + kCRLF;
    part += std::string("Content-Disposition: attachment;") + kCRLF;
    part += "        filename=\"" + name + "\"" + kCRLF;
    part += kCRLF;
    part += EncodeFileBase64Lines(fileName);
    if (!part.ends_with(kCRLF))
        part += kCRLF;
    return part;
}

std::string BuildAttachmentParts(std::span<const std::string> extraFiles, const std::vector<std::string>& files)
{
    std::string parts;
    for (const std::string& fileName : files)
        parts += BuildAttachmentPart(fileName);
    for (const std::string& fileName : extraFiles)
        parts += BuildAttachmentPart(fileName);
    return parts;
}

std::string BuildSMTPMessage(const std::string& headerSender, const std::string& subject, const std::string& to,
                             const std::string& body, std::span<const std::string> extraFiles,
                             const std::vector<std::string>& files)
{
    const std::string boundary = kMIMEBoundary;
    std::string message;
    message += "Date: " + DateTimeToRFC822(NowDateTime()) + kCRLF;
    message += "From: " + headerSender + kCRLF;
    message += "Subject: " + FlattenControlChars(subject) + kCRLF;
    message += "To: <" + FlattenControlChars(to) + ">" + kCRLF;
    message += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\";" + kCRLF;
    message += std::string("MIME-Version: 1.0") + kCRLF;
    message += "Message-ID: <" + std::to_string(TickCount()) + "@" + kMessageIDDomain + ">" + kCRLF;
    message += kCRLF;
    message += std::string("This is a multi-part message in MIME format") + kCRLF;
    message += kCRLF;
    message += "--" + boundary + kCRLF;
    message += std::string("Content-Type: text/plain") + kCRLF;
    message += std::string("Content-Transfer-Encoding: 7bit") + kCRLF;
    message += kCRLF;
    message += SMTPBodyLines(body) + kCRLF;
    message += BuildAttachmentParts(extraFiles, files);
    message += "--" + boundary + "--" + kCRLF;
    message += ".";
    return message;
}

// --- SMTP ---

bool SendSMTPMessage(const std::string& from, const std::string& host, std::span<const std::string> extraFiles,
                     const std::vector<std::string>& files, const std::string& body, const std::string& subject,
                     const std::string& to, const std::string& password, const std::string& user, uint16_t port)
{
    try {
        SetSendDialogStatus(Text(mtSendDialog_Connecting));
        TCrashboxClientSMTP smtp(host, port, true, MailSettings().SMTPTimeout);
        PumpSendDialogMessages();
        smtp.Open();
        PumpSendDialogMessages();

        const std::string headerSender = SMTPHeaderSender(from);
        const std::string envelope = SMTPEnvelopeAddress(headerSender);
        const bool authenticate = !user.empty() || !password.empty();
        SetSendDialogStatus(Text(mtSendDialog_Connected));
        SMTPGreet(smtp, authenticate ? "EHLO" : "HELO");
        SMTPCommand(smtp, "RSET", {250});
        if (authenticate) {
            // A server that does not offer AUTH LOGIN (500, 502) gets the mail unauthenticated.
            SMTPCommand(smtp, "AUTH LOGIN", {334, 500, 502});
            SMTPCommand(smtp, Base64EncodeStr(user), {334, 500, 502});
            SMTPCommand(smtp, Base64EncodeStr(password), {235, 500, 502});
        }
        SMTPCommand(smtp, "MAIL FROM:<" + envelope + ">", {250});

        SetSendDialogStatus(Text(mtSendDialog_Sending));
        SMTPCommand(smtp, "RCPT TO:<" + to + ">", {250, 251});
        SMTPCommand(smtp, "DATA", {354});
        HookSocketProgress(smtp);
        SMTPCommand(smtp, BuildSMTPMessage(headerSender, subject, to, body, extraFiles, files), {250});
        UnhookSocketProgress(smtp);
        return true;
    } catch (...) {
        LogStepWarning(eeEmailSMTPError, "SMTP");
        return false;
    }
}

bool SendEmailBySMTP(bool serverMode, const std::string& from, const std::string& host,
                     std::span<const std::string> extraFiles, const std::vector<std::string>& files,
                     const std::string& body, const std::string& subject, const std::string& addresses,
                     const std::string& password, const std::string& user, uint16_t port)
{
    bool result = false;
    const TMailSettings settings = MailSettings();
    if (serverMode)
        port = settings.MXPort;
    try {
        const std::string expandedSubject = ExpandVariables(subject);
        const std::string expandedBody = ExpandVariables(body);
        const std::vector<std::string> recipients = SplitAddresses(addresses);
        for (std::size_t i = 0; i < recipients.size(); ++i) {
            SetSendCounters(int32_t(i + 1), int32_t(recipients.size()));
            SetSendDialogProgress(0);
            std::string server = host, serverUser = user, serverPassword = password;
            if (serverMode) {
                SetSendDialogStatus(Text(mtSendDialog_Resolving));
                // A domain without a mail exchanger fails for its recipient only.
                try {
                    ResolveMXHost(recipients[i], settings.SMTPTimeout, server);
                } catch (...) {
                    LogStepWarning(eeEmailSMTPError, "SMTP");
                    continue;
                }
                serverUser.clear();
                serverPassword.clear();
            }
            if (SendSMTPMessage(from, server, extraFiles, files, expandedBody, expandedSubject, recipients[i],
                                serverPassword, serverUser, port))
                result = true;
        }
    } catch (...) {
        result = false;
        LogStepWarning(eeEmailSMTPError, "SMTP");
    }
    CloseSendDialog();
    return result;
}

} // namespace cv
