#pragma once
// What the transports share with the send step and its progress dialog:
// - the report being sent (its module's options and its file state), set by
//   the send step for the time of a send;
// - the send-progress dialog's operations. The dialog lives in a library
//   above this one and binds them with SetSendDialogServices while it is up;
//   without a dialog every operation does nothing (the remembered progress
//   of AdvanceSendDialogProgress still counts).
//
// The counters and the remembered progress are one per process, like the
// dialog: sends never overlap (the send step serialises them).

#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/core/report_files.h"

namespace cv {

class TCrashboxClientSocket;

struct TReportBeingSent {
    // The options of the module whose exception is reported; null: those of
    // the calling module (CurrentCrashboxOptions), or defaults when crash
    // reporting was never switched on.
    const TCrashboxModuleOptions* Options = nullptr;
    TReportFileState State;
};
void SetReportBeingSent(TReportBeingSent report);
void ClearReportBeingSent();
// The options of the report being sent (never null, see above).
const TCrashboxModuleOptions& ReportOptions();
TReportFileState ReportFileState();

struct TSendDialogServices {
    // The status line and the progress bar (0..100).
    std::function<void(const std::string& text)> SetText;
    std::function<void(int percent)> SetPosition;
    // Ends the dialog.
    std::function<void()> Close;
    // A dialog shown modeless on the sending thread: serves its pending events.
    std::function<void()> Pump;
    // A dialog shown modeless on the sending thread: destroys it once the
    // message has gone (unset otherwise).
    std::function<void()> DestroyModeless;
};
// Binds the dialog; an empty set unbinds it. Binding resets the counters
// and the remembered progress.
void SetSendDialogServices(TSendDialogServices services);
bool SendDialogExists();

// The recipient being served (1-based) and the number of recipients; they
// make the status line's prefix.
void SetSendCounters(int32_t current, int32_t total);
// "Message 1/2: " (the options' mtSendDialog_Message text) + text.
void SetSendDialogStatus(const std::string& text);
void SetSendDialogText(const std::string& text);
// Moves the bar; never backwards.
void SetSendDialogProgress(int32_t percent);
void AdvanceSendDialogProgress(int32_t step);
// Takes the remembered progress back to 0 (a new web connection starts the bar again).
void ResetSendDialogProgress();
void CloseSendDialog();
void PumpSendDialogMessages();
// While the dialog exists, the socket's sends move the bar (sent * 100 div total).
void HookSocketProgress(TCrashboxClientSocket& socket);
void UnhookSocketProgress(TCrashboxClientSocket& socket);
// Progress of an HTTP or FTP transfer: 0 connecting, 1 connected, 2 sending
// (sent of total bytes).
void ReportWebTransferState(int32_t state, int64_t total, int64_t sent);

} // namespace cv
