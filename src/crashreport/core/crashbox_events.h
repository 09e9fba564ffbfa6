#pragma once
// The procedure cells of the crash-report events: one plain procedure per
// event, process-wide, none at first. A program puts its handlers here (the
// tool's own are in exception_handling_unit.h); the core calls the cell of
// an event after the other receivers of that event.
//
// The handlers run on the thread that raised the exception, one exception
// at a time; they get the exception's record by reference and may change
// its CurrentModuleOptions for the rest of the handling.

#include <cstdint>

#include "crashreport/core/crashbox_records.h"

namespace cv {

// What the core is about to do, or has done, for an exception: the action
// codes of the action and error events.
enum TCrashboxAction : uint8_t {
    caShowing = 0,       // before showing the exception
    caShown = 1,         // after showing it
    caSavingLog = 2,     // before saving the log file
    caSavedLog = 3,      // after saving it (to the error event: the save failed)
    caSendingEmail = 4,  // before sending by e-mail
    caSentEmail = 5,     // after sending by e-mail (to the error event: the send failed)
    caSendingWeb = 6,    // before sending by web
    caSentWeb = 7,       // after sending by web (to the error event: the send failed)
    caTerminating = 8    // the user asked to terminate or restart the program
};

// Handled: clear it to leave the exception to the runtime.
using TExceptionNotifyProc = void (*)(TCrashboxExceptionRecord& record, bool& handled);
// Execute: clear it to skip the action.
using TExceptionActionNotifyProc = void (*)(TCrashboxExceptionRecord& record, uint8_t action, bool& execute);
// Retry: set it to try the failed action again.
using TExceptionErrorNotifyProc = void (*)(TCrashboxExceptionRecord& record, uint8_t action, bool& retry);

void SetExceptionNotify(TExceptionNotifyProc procedure);
TExceptionNotifyProc ExceptionNotify();
void SetExceptionActionNotify(TExceptionActionNotifyProc procedure);
TExceptionActionNotifyProc ExceptionActionNotify();
void SetExceptionErrorNotify(TExceptionErrorNotifyProc procedure);
TExceptionErrorNotifyProc ExceptionErrorNotify();

} // namespace cv
