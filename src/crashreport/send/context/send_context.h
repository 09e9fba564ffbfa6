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
#include <memory>
#include <string>

#include "crashreport/core/report/report_files.h"

namespace cv {

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
// A copy of options that outlives them (for a send thread, a dialog): every
// option, filter and text, and the module's name; never published.
std::unique_ptr<TCrashboxModuleOptions> PrivateOptionsCopy(const TCrashboxModuleOptions& options);

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

// --- Starting the dialog ---

// Shows the dialog for a send step: modal (centred, kept in front of the
// program's windows) or modeless (at the bottom-right corner of the work
// area, serving its events when the sender pumps). The dialog binds its
// services with BindSendDialogServices(ticket, ...) once it is up, on
// whatever thread it lives. False: no dialog can be shown.
using TSendDialogStarter = std::function<bool(bool modal, uint64_t ticket)>;
// The dialogs library registers its starter; none: sends go without a dialog.
void SetSendDialogStarter(TSendDialogStarter starter);
// Binds the services of the dialog started with this ticket. False when
// that start was given up or overtaken: the dialog then ends itself.
bool BindSendDialogServices(uint64_t ticket, TSendDialogServices services);
// How long a start waits for its dialog to come up before the send goes on
// without it (the GUI thread may not be serving its events).
inline constexpr int kSendDialogStartLimitMs = 5000;
void SetSendDialogStartLimit(int milliseconds);
// Before each SMTP or web step: zeroes the dialog's state (unbinding any
// dialog still bound); when the report's options show the dialog, a send
// method is chosen, a starter is registered and no dialog failed for this
// exception, starts it and waits (in 50 ms sleeps) until it is up.
void StartSendDialog(bool modal);

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
// A dialog shown modeless on the sending thread: unbinds and destroys it
// (once the message has gone); nothing for any other dialog.
void DestroyModelessSendDialog();
// Progress of an HTTP or FTP transfer: 0 connecting, 1 connected, 2 sending
// (sent of total bytes).
void ReportWebTransferState(int32_t state, int64_t total, int64_t sent);

} // namespace cv
