#include "crashreport/send/mail/smtp_client.h"

#include <algorithm>
#include <cctype>

namespace cv {

int32_t SMTPReplyCode(std::string_view reply)
{
    int32_t code = 0;
    std::size_t digits = 0;
    for (; digits < reply.size() && reply[digits] >= '0' && reply[digits] <= '9'; ++digits) {
        if (digits == 9)
            return -1;
        code = code * 10 + (reply[digits] - '0');
    }
    return digits == 0 ? -1 : code;
}

bool SMTPReplyIsWhole(std::string_view reply)
{
    if (!reply.ends_with('\n'))
        return false;
    reply.remove_suffix(1);
    if (reply.ends_with('\r'))
        reply.remove_suffix(1);
    const std::size_t lineStart = reply.rfind('\n');
    const std::string_view line = lineStart == std::string_view::npos ? reply : reply.substr(lineStart + 1);
    const bool code = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                      std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
    return !(code && line[3] == '-');
}

void TCrashboxClientSMTP::Open()
{
    TCrashboxClientSocket::Open();
    if (!GetText({220}))
        RaiseError(FLog);
}

bool TCrashboxClientSMTP::GetText(std::span<const uint16_t> codes)
{
    std::string reply;
    ReceiveReply(reply, SMTPReplyIsWhole, kMaxSMTPReply);
    const int32_t code = SMTPReplyCode(reply);
    return code >= 0 && std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool TCrashboxClientSMTP::SendCommand(std::string command, std::span<const uint16_t> codes)
{
    if (command.empty())
        return false;
    if (!command.ends_with("\r\n"))
        command += "\r\n";
    bool accepted = false;
    if (SendText(command) == int32_t(command.size())) {
        FLog += command;
        FErrorLog.clear();
        accepted = GetText(codes);
    }
    if (!accepted)
        RaiseError(FLog);
    return true;
}

} // namespace cv
