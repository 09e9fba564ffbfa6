#pragma once
// The e-mail transports of a report:
// - the user's mail program, through the mail-client command of the mail
//   settings (xdg-email: recipients, subject, body and attachments), with a
//   mailto address opened by the mailto command as the fallback;
// - our own SMTP client, through a configured server, or straight to each
//   recipient's mail exchanger (found by ResolveMXHost) on the MX port.
//
// Each transport answers true or false. A failure is recorded as the
// library's internal warning (eeEmailMAPIError, eeEmailShellError or
// eeEmailSMTPError) and never raised to the caller.
//
// Recipients are separated by "," or ";". Texts are UTF-8. The send dialog
// hears of the progress through send_context.h.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// The fixed boundary between the parts of a report's message.
inline constexpr const char* kMIMEBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";
// The domain part of our Message-IDs.
inline constexpr const char* kMessageIDDomain = "crashbox.localhost";

// The most a mail program is handed as one argument (the system refuses an
// argument of 128 KiB or more), with room for what a command puts around it.
inline constexpr std::size_t kMaxMailArgument = 120 * 1024;
// Text cut, at the start of a character, so that its encoding (each byte
// counted as `encodedSize` says: 1 as it is, 3 for "%XX") followed by the
// note fits in `limit` bytes; the text as it is when it fits.
std::string CutTextToFit(std::string_view text, std::size_t limit, std::string_view note,
                         std::size_t (*encodedSize)(unsigned char byte));
// What a cut body says at its end: where the rest of the report is.
inline constexpr const char* kBodyCutToAttachment =
    "\r\n\r\n[The report is cut here: it is too long to hand to the mail program whole. The attached files hold all of it.]";
inline constexpr const char* kBodyCutToLog =
    "\r\n\r\n[The report is cut here: it is too long to hand to the mail program whole. All of it is in the error log: ";

// The mail program: the ExtraFiles, then the Files, that exist are attached;
// a body longer than kMaxMailArgument is cut (kBodyCutToAttachment).
bool SendMAPIMessage(const std::string& addresses, const std::string& subject, const std::string& body,
                     std::span<const std::string> extraFiles, const std::vector<std::string>& files);
// FileNames separated by "," or ";" (the internal error log's use).
bool SendEmailByMAPI(const std::string& addresses, const std::string& subject, const std::string& body,
                     const std::string& fileNames);
// Opens "mailto:<addresses>?Subject=...&Body=..." with the mailto command
// and waits for it to end; the body carries the report's text, cut (with
// kBodyCutToLog and the log's name) so that the address stays within
// kMaxMailArgument.
bool SendEmailByMailto(const std::string& addresses, const std::string& subject, const std::string& message);

// One connection per recipient; true when at least one recipient got the
// mail. In server mode each recipient's mail exchanger is the host, on the
// MX port, without authentication.
bool SendEmailBySMTP(bool serverMode, const std::string& from, const std::string& host,
                     std::span<const std::string> extraFiles, const std::vector<std::string>& files,
                     const std::string& body, const std::string& subject, const std::string& addresses,
                     const std::string& password, const std::string& user, uint16_t port);
// The SMTP dialogue with one server for one recipient (authenticated by
// AUTH LOGIN when a user or a password is given; a server that does not
// offer it gets the mail unauthenticated).
bool SendSMTPMessage(const std::string& from, const std::string& host, std::span<const std::string> extraFiles,
                     const std::vector<std::string>& files, const std::string& body, const std::string& subject,
                     const std::string& to, const std::string& password, const std::string& user, uint16_t port);

// --- The message ---

// The sender of the "From:" header: a bare address gets the sender's
// display name in double quotes before it in angle brackets.
std::string SMTPHeaderSender(const std::string& from);
// The address for "MAIL FROM:" out of the header sender.
std::string SMTPEnvelopeAddress(const std::string& headerSender);
// Everything sent after "DATA" but the final line break: the header, the
// body (line breaks made CR LF, lines that start with "." get another ".")
// and the attachments, ending with the "." line.
std::string BuildSMTPMessage(const std::string& headerSender, const std::string& subject, const std::string& to,
                             const std::string& body, std::span<const std::string> extraFiles,
                             const std::vector<std::string>& files);
// Body lines as SMTP carries them: CR LF line breaks, leading dots doubled.
std::string SMTPBodyLines(std::string_view body);
// The Files' parts, then the ExtraFiles'.
std::string BuildAttachmentParts(std::span<const std::string> extraFiles, const std::vector<std::string>& files);
// One attachment part; empty for an empty name or a missing file.
std::string BuildAttachmentPart(const std::string& fileName);
// The file in Base64, in lines of 80 characters each ended by CR LF but a
// shorter last one; empty for an empty name or a missing file.
std::string EncodeFileBase64Lines(const std::string& fileName);

// "-", digits and ASCII letters and bytes from 128 stay; every other byte becomes "%XX".
std::string URLEncodeA(std::string_view text);
// The owner's full name, else the user's login name.
std::string GetSenderDisplayName();
std::string GetLocalHostNameA();
// The arguments of a command line: blanks separate them, double quotes group
// (a doubled quote inside quotes is one quote).
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

} // namespace cv
