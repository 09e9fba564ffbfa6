#include "crashreport/send/context/send_context.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/options/crashbox_options.h"

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
    TSendDialogStarter starter;
    uint64_t lastTicket = 0;
    uint64_t pendingTicket = 0; // the start waiting for its dialog (0: none)
    int startLimitMs = kSendDialogStartLimitMs;
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

namespace {

void BindLocked(TSendState& s, TSendDialogServices services)
{
    s.dialogUp = services.SetText || services.SetPosition || services.Close || services.Pump;
    s.dialog = std::move(services);
    s.current = s.total = s.position = 0;
}

} // namespace

std::unique_ptr<TCrashboxModuleOptions> PrivateOptionsCopy(const TCrashboxModuleOptions& options)
{
    // Made without a module handle, so it is never taken for the options
    // the process publishes.
    auto copy = std::make_unique<TCrashboxModuleOptions>(std::string());
    copy->BeginUpdate();
    copy->Assign(&options);
    copy->SetModuleName(options.ModuleName());
    copy->EndUpdate();
    return copy;
}

void SetSendDialogServices(TSendDialogServices services)
{
    std::lock_guard lock(State().lock);
    BindLocked(State(), std::move(services));
}

void SetSendDialogStarter(TSendDialogStarter starter)
{
    std::lock_guard lock(State().lock);
    State().starter = std::move(starter);
}

bool BindSendDialogServices(uint64_t ticket, TSendDialogServices services)
{
    std::lock_guard lock(State().lock);
    TSendState& s = State();
    if (ticket == 0 || ticket != s.pendingTicket)
        return false;
    s.pendingTicket = 0;
    BindLocked(s, std::move(services));
    return true;
}

void SetSendDialogStartLimit(int milliseconds)
{
    std::lock_guard lock(State().lock);
    State().startLimitMs = milliseconds;
}

void StartSendDialog(bool modal)
{
    TSendDialogStarter starter;
    uint64_t ticket = 0;
    {
        std::lock_guard lock(State().lock);
        TSendState& s = State();
        BindLocked(s, {});
        s.pendingTicket = 0;
        starter = s.starter;
    }
    const TCrashboxModuleOptions& options = ReportOptions();
    TExceptionDialogState& dialogState = ExceptionDialogState();
    if (!options.CommonSendOptions().Contains(sndShowSendDialog) || !SendMethodConfigured(options) || !starter ||
        dialogState.DialogFailed) {
        dialogState.DialogPainted = true;
        return;
    }
    int limit = 0;
    {
        std::lock_guard lock(State().lock);
        ticket = State().pendingTicket = ++State().lastTicket;
        limit = State().startLimitMs;
    }
    if (!starter(modal, ticket)) {
        std::lock_guard lock(State().lock);
        if (State().pendingTicket == ticket)
            State().pendingTicket = 0;
        dialogState.DialogPainted = true;
        return;
    }
    // The dialog may live on another thread: wait until it is up, but never
    // for ever (its thread may not be serving events).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    for (;;) {
        {
            std::lock_guard lock(State().lock);
            if (State().pendingTicket != ticket)
                return;
            if (std::chrono::steady_clock::now() >= deadline) {
                State().pendingTicket = 0;
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
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
    // The dialog ends: what the send tells it from now on goes nowhere.
    TSendDialogServices dialog;
    {
        std::lock_guard lock(State().lock);
        dialog = std::move(State().dialog);
        State().dialog = {};
        State().dialogUp = false;
    }
    if (dialog.Close)
        dialog.Close();
}

void DestroyModelessSendDialog()
{
    TSendDialogServices dialog;
    {
        std::lock_guard lock(State().lock);
        if (State().dialog.DestroyModeless) {
            dialog = std::move(State().dialog);
            State().dialog = {};
            State().dialogUp = false;
        }
    }
    if (dialog.DestroyModeless)
        dialog.DestroyModeless();
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
