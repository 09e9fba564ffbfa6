#include "crashreport/send/smtp_client.h"

#include <algorithm>

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

void TCrashboxClientSMTP::Open()
{
    TCrashboxClientSocket::Open();
    if (!GetText({220}))
        RaiseError(FLog);
}

bool TCrashboxClientSMTP::GetText(std::span<const uint16_t> codes)
{
    std::string reply;
    ReceiveFullText(reply);
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
