#include "crashreport/core/handler/dialog_state.h"

namespace cv {

TExceptionDialogState& ExceptionDialogState()
{
    static TExceptionDialogState state;
    return state;
}

bool SendMethodConfigured(const TCrashboxModuleOptions& options)
{
    return options.EMailSendMode() != esmNoSend || options.WebSendMode() != wsmNoSend;
}

bool ComputeSendOptionShown(const TCrashboxModuleOptions& options, bool duplicateInLog)
{
    return SendMethodConfigured(options) && !duplicateInLog &&
           options.ExceptionDialogOptions().Contains(edoShowSendErrorReportOption);
}

std::string ReplaceReportItemValue(std::string_view text, std::string_view number, std::string_view value)
{
    const std::string marker = "\r\n  " + std::string(number) + " ";
    const auto item = text.find(marker);
    if (item == std::string_view::npos)
        return std::string(text);
    const auto colon = text.find(": ", item + marker.size());
    if (colon == std::string_view::npos)
        return std::string(text);
    const auto start = colon + 2;
    auto end = text.find("\r\n", start);
    if (end == std::string_view::npos)
        end = text.size();
    std::string replaced(text.substr(0, start));
    replaced += value;
    replaced += text.substr(end);
    return replaced;
}

bool LooksLikeEmailAddress(std::string_view address)
{
    return address.find('@') != std::string_view::npos && address.find('.') != std::string_view::npos;
}

} // namespace cv
