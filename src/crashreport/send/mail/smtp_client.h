#pragma once
// The command and reply layer of the report's SMTP client: one command line
// sent, its reply awaited and judged by the reply code the caller expects.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "crashreport/send/mail/client_socket.h"

namespace cv {

class TCrashboxClientSMTP : public TCrashboxClientSocket {
public:
    using TCrashboxClientSocket::TCrashboxClientSocket;

    // Connects and reads the greeting, which must be 220.
    void Open() override;
    // Waits for a reply (until it is whole, SMTPReplyIsWhole, within the
    // time-out; at most kMaxSMTPReply bytes); true when it begins with one
    // of the codes.
    bool GetText(std::span<const uint16_t> codes);
    bool GetText(std::initializer_list<uint16_t> codes) { return GetText(std::span(codes.begin(), codes.size())); }
    // Sends the command as one line (CR LF added when missing) and raises,
    // with the conversation as the message, unless the reply is expected.
    // An empty command sends nothing and answers false.
    bool SendCommand(std::string command, std::span<const uint16_t> codes);
    bool SendCommand(std::string command, std::initializer_list<uint16_t> codes)
    {
        return SendCommand(std::move(command), std::span(codes.begin(), codes.size()));
    }
};

// The reply code: the decimal digits at the start of the reply; -1 when it
// does not start with a digit (or the number is absurdly long).
int32_t SMTPReplyCode(std::string_view reply);
// A reply is whole when it ends with a line break and its last line is not
// a code followed by "-" (such a line says more lines follow).
bool SMTPReplyIsWhole(std::string_view reply);
// The longest reply taken from a server (a flood ends the dialogue).
inline constexpr std::size_t kMaxSMTPReply = 64 * 1024;

} // namespace cv
