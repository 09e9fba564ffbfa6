#include "crashreport/send/send_context.h"

#include <cmath>
#include <memory>
#include <mutex>

#include "crashreport/core/crashbox_options.h"
#include "crashreport/send/client_socket.h"

namespace cv {

namespace {

struct TSendState {
    std::mutex lock;
    TReportBeingSent report;
    TSendDialogServices dialog;
    bool dialogUp = false;
    int32_t current = 0;
    int32_t total = 0;
    int32_t position = 0;
};

TSendState& State()
{
    static TSendState state;
    return state;
}

TSendDialogServices Dialog()
{
    std::lock_guard lock(State().lock);
    return State().dialog;
}

const TCrashboxModuleOptions& DefaultOptions()
{
    static const auto options = std::make_unique<TCrashboxModuleOptions>(std::string());
    return *options;
}

} // namespace

void SetReportBeingSent(TReportBeingSent report)
{
    std::lock_guard lock(State().lock);
    State().report = std::move(report);
}

void ClearReportBeingSent() { SetReportBeingSent({}); }

const TCrashboxModuleOptions& ReportOptions()
{
    {
        std::lock_guard lock(State().lock);
        if (State().report.Options)
            return *State().report.Options;
    }
    return CrashboxActivated() ? CurrentCrashboxOptions() : DefaultOptions();
}

TReportFileState ReportFileState()
{
    std::lock_guard lock(State().lock);
    return State().report.State;
}

void SetSendDialogServices(TSendDialogServices services)
{
    std::lock_guard lock(State().lock);
    TSendState& s = State();
    s.dialogUp = services.SetText || services.SetPosition || services.Close || services.Pump;
    s.dialog = std::move(services);
    s.current = s.total = s.position = 0;
}

bool SendDialogExists()
{
    std::lock_guard lock(State().lock);
    return State().dialogUp;
}

void SetSendCounters(int32_t current, int32_t total)
{
    std::lock_guard lock(State().lock);
    State().current = current;
    State().total = total;
}

void PumpSendDialogMessages()
{
    const TSendDialogServices dialog = Dialog();
    if (!dialog.Pump)
        return;
    try {
        dialog.Pump();
    } catch (...) {
        // A failing event handler of the dialog must not stop the send.
    }
}

void SetSendDialogText(const std::string& text)
{
    const TSendDialogServices dialog = Dialog();
    if (dialog.SetText)
        dialog.SetText(text);
}

void SetSendDialogStatus(const std::string& text)
{
    if (!SendDialogExists())
        return;
    int32_t current, total;
    {
        std::lock_guard lock(State().lock);
        current = State().current;
        total = State().total;
    }
    PumpSendDialogMessages();
    SetSendDialogText(ReportOptions().GetExpandedText(mtSendDialog_Message) + " " + std::to_string(current) + "/" +
                      std::to_string(total) + ": " + text);
    PumpSendDialogMessages();
}

void SetSendDialogProgress(int32_t percent)
{
    TSendDialogServices dialog;
    {
        std::lock_guard lock(State().lock);
        if (!State().dialogUp || percent < State().position)
            return;
        State().position = percent;
        dialog = State().dialog;
    }
    if (dialog.SetPosition)
        dialog.SetPosition(percent);
}

void AdvanceSendDialogProgress(int32_t step)
{
    int32_t position;
    {
        std::lock_guard lock(State().lock);
        position = State().position += step;
    }
    SetSendDialogProgress(position);
}

void ResetSendDialogProgress()
{
    std::lock_guard lock(State().lock);
    State().position = 0;
}

void CloseSendDialog()
{
    const TSendDialogServices dialog = Dialog();
    if (dialog.Close)
        dialog.Close();
}

void HookSocketProgress(TCrashboxClientSocket& socket)
{
    if (!SendDialogExists())
        return;
    socket.FOnSent = [](TCrashboxClientSocket&, int32_t sent, int32_t total) {
        if (total > 0)
            SetSendDialogProgress(int32_t(int64_t(sent) * 100 / total));
    };
}

void UnhookSocketProgress(TCrashboxClientSocket& socket)
{
    const TSendDialogServices dialog = Dialog();
    if (dialog.DestroyModeless)
        dialog.DestroyModeless();
    socket.FOnSent = nullptr;
}

void ReportWebTransferState(int32_t state, int64_t total, int64_t sent)
{
    switch (state) {
    case 0:
        SetSendDialogProgress(0);
        SetSendDialogStatus(ReportOptions().GetExpandedText(mtSendDialog_Connecting));
        break;
    case 1:
        SetSendDialogStatus(ReportOptions().GetExpandedText(mtSendDialog_Connected));
        break;
    case 2:
        SetSendDialogStatus(ReportOptions().GetExpandedText(mtSendDialog_Sending));
        if (total > 0)
            SetSendDialogProgress(int32_t(std::llround(double(sent) / double(total) * 100.0)));
        break;
    default:
        break;
    }
}

} // namespace cv
